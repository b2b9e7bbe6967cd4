#pragma once

#include <QtGlobal>

#include <array>
#include <cstddef>

// Where one folder's files are in one list, and what the list counted of them.
struct ReadyPiece {
    qint64 at = 0;
    qint64 flatAt = 0; // in a list's second part (the JSON's flat list of tracks)
    quint32 length = 0;
    quint32 flatLength = 0;
    quint32 files = 0;
    quint32 run = 0; // the run that wrote it
    qint64 size = 0; // of the files, for the lists that total them
    // What the list held between the piece before and this one (a folder's heading, most
    // often), by its digest (see ReadyPieces::gapDigest); 0 when it is not known.
    quint64 gap = 0;
};

constexpr int kMostReadyLists = 4;

// A piece as a folder keeps it, in 40 bytes instead of 48: the places in the lists in 40 bits
// (a list of a terabyte), the size in 48. One that does not fit is not kept (see pack): the
// folder is then formatted again.
class PackedPiece
{
public:
    // Whether the piece fits; the one kept is then that piece.
    bool pack(const ReadyPiece &piece)
    {
        constexpr qint64 kPlaces = qint64(1) << 40;
        constexpr qint64 kSizes = qint64(1) << 48;
        if (piece.at < 0 || piece.at >= kPlaces || piece.flatAt < 0 || piece.flatAt >= kPlaces ||
            piece.size < 0 || piece.size >= kSizes) {
            *this = PackedPiece();
            return false;
        }
        const quint64 size = quint64(piece.size);
        at_ = quint64(piece.at) | (size & 0xFFFFFF) << 40;
        flatAt_ = quint64(piece.flatAt) | (size >> 24) << 40;
        lengths_ = piece.length | quint64(piece.flatLength) << 32;
        counts_ = piece.files | quint64(piece.run) << 32;
        gap_ = piece.gap;
        return true;
    }
    ReadyPiece unpacked() const
    {
        constexpr quint64 kPlace = (quint64(1) << 40) - 1;
        ReadyPiece piece;
        piece.at = qint64(at_ & kPlace);
        piece.flatAt = qint64(flatAt_ & kPlace);
        piece.size = qint64((at_ >> 40) | (flatAt_ >> 40) << 24);
        piece.length = quint32(lengths_);
        piece.flatLength = quint32(lengths_ >> 32);
        piece.files = quint32(counts_);
        piece.run = quint32(counts_ >> 32);
        piece.gap = gap_;
        return piece;
    }
    quint32 run() const { return quint32(counts_ >> 32); }
    void forget() { counts_ &= 0xFFFFFFFF; }

private:
    quint64 at_ = 0;     // and the size's low 24 bits
    quint64 flatAt_ = 0; // and the size's high 24 bits
    quint64 lengths_ = 0;
    quint64 counts_ = 0; // the files, and the run
    quint64 gap_ = 0;
};

// One reading's pieces in each list, kept with the reading itself (see
// SourceFileList::ready): a folder read anew has none. The place they were written for is
// told too, by its key (see ReadyPieces::placeKey): a reading met elsewhere gives other bytes
// there. A key, not the place's name: a watched tree of 100,000 folders would hold every
// folder's path once more for it.
struct ReadyFolder {
    std::size_t place = 0;
    std::array<PackedPiece, kMostReadyLists> pieces;
};

// What a folder's tags added to the lists' totals when its pieces were last recorded, kept
// with the reading only where tags are read: a piece taken again adds it as its files did.
struct ReadyTags {
    qint64 durationMs = 0; // of the tracks whose tags were read
    bool asked = false;    // some file's tags were asked for
};
