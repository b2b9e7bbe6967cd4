#include "engine/ready_pieces.h"

#include "engine/list_outputs.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>

ReadyPieces::ReadyPieces() : secret_(std::size_t(QRandomGenerator::system()->generate64()))
{}

int ReadyPieces::listIndex(const QByteArray &path)
{
    for (int i = 0; i < listCount_; ++i) {
        if (lists_[std::size_t(i)].path == path)
            return i;
    }
    if (listCount_ == kMostReadyLists)
        return -1;
    lists_[std::size_t(listCount_)].path = path;
    return listCount_++;
}

std::size_t ReadyPieces::placeKey(const QByteArray &dir) const
{
    return qHash(dir, secret_);
}

quint64 ReadyPieces::gapDigest(QByteArrayView bytes) const
{
    // Another seed than the places': a heading's digest says nothing of a folder's key.
    const quint64 digest = qHash(bytes, ~secret_);
    return digest != 0 ? digest : 1;
}

bool ReadyPieces::reusable(int list, const ReadyFolder &folder, std::size_t place,
                           ReadyPiece *piece) const
{
    if (folder.place != place)
        return false;
    const PackedPiece &kept = folder.pieces[std::size_t(list)];
    const quint32 committedBy = lists_[std::size_t(list)].run;
    if (committedBy == 0 || kept.run() != committedBy)
        return false;
    *piece = kept.unpacked();
    return true;
}

void ReadyPieces::record(int list, ReadyFolder &folder, std::size_t place, const ReadyPiece &piece)
{
    if (folder.place != place) {
        // Met somewhere else: what the other lists kept of it there is not for here.
        for (PackedPiece &old : folder.pieces)
            old.forget();
        folder.place = place;
    }
    ReadyPiece now = piece;
    now.run = run_;
    folder.pieces[std::size_t(list)].pack(now);
}

void ReadyPieces::committed(int list, const ReplacingFile::Committed &file, qint64 flatStart)
{
    List &kept = lists_[std::size_t(list)];
    kept.file = file;
    kept.run = file.size >= 0 ? run_ : 0;
    kept.flatStart = flatStart;
}

const ReplacingFile::Committed *ReadyPieces::lastWritten(int list) const
{
    const List &kept = lists_[std::size_t(list)];
    return kept.run != 0 ? &kept.file : nullptr;
}

void ReadyPieces::clear()
{
    for (List &list : lists_)
        list.run = 0;
}

void ReadyPieces::forgetFile(const FileIdentity &file)
{
    for (List &list : lists_) {
        if (list.file.file == file)
            list.run = 0;
    }
}

void PieceWriter::begin(ReadyPieces *pieces, const QByteArray &path, ReplacingFile *file)
{
    file_ = file;
    error_ = 0;
    pieces_ = nullptr;
    lastOpened_ = false;
    recording_ = false;
    copying_ = false;
    copyLength_ = 0;
    window_ = QByteArray();
    windowAt_ = 0;
    holding_ = false;
    beginGap();
    list_ = pieces ? pieces->listIndex(path) : -1;
    if (list_ >= 0)
        pieces_ = pieces;
}

int PieceWriter::write(const char *data, qsizetype size)
{
    if (pieces_ && !recording_ && gapKnown_) {
        // Headings are a few hundred bytes; a longer gap is compared as it comes.
        constexpr qsizetype kLongestGap = 8 * 1024;
        if (gap_.size() + size <= kLongestGap) {
            gap_.append(data, size);
            if (holding_)
                return error_;
        } else {
            settleGap();
            forgetGap();
        }
    }
    return writeNow(data, size);
}

int PieceWriter::writeNow(const char *data, qsizetype size)
{
    if (copying_) {
        if (followsInLast(copyAt_ + copyLength_, data, size)) {
            copyLength_ += size;
            return sendSome();
        }
        flush();
    }
    if (error_ == 0 && file_->isOpen())
        error_ = file_->write(data, size);
    return error_;
}

int PieceWriter::append(const WrittenList &from, qint64 at, qint64 length)
{
    flush();
    if (!recording_)
        forgetGap();
    if (error_ == 0 && file_->isOpen())
        error_ = file_->append(from, at, length);
    return error_;
}

bool PieceWriter::take(const FolderFiles &folder, ReadyPiece *now)
{
    recording_ = false;
    if (!pieces_ || !folder.ready)
        return false;
    ReadyPiece kept;
    if (!pieces_->reusable(list_, *folder.ready, folder.place, &kept))
        return false;
    const ReadyPiece *piece = &kept;
    if (!lastOpened_) {
        lastOpened_ = true;
        const ReplacingFile::Committed *last = pieces_->lastWritten(list_);
        if (!last || !last_.open(*last))
            pieces_->clearList(list_);
    }
    if (!last_.isOpen())
        return false;
    const quint64 gap = gapDigest();
    // What was written since the last piece taken, the same as what the list last written
    // held between that piece and this one: copied along with them, not read back to compare.
    if (holding_ && gap != 0 && piece->gap == gap &&
        copyAt_ + copyLength_ + gap_.size() == piece->at) {
        copyLength_ += gap_.size();
        holding_ = false;
    }
    settleGap();
    *now = *piece;
    now->at = written();
    now->gap = gap;
    if (copying_ && copyAt_ + copyLength_ != piece->at)
        flush();
    if (!copying_) {
        copying_ = true;
        copyAt_ = piece->at;
    }
    copyLength_ += piece->length;
    sendSome();
    beginGap();
    holding_ = true;
    return true;
}

bool PieceWriter::mayTake(const FolderFiles &folder) const
{
    ReadyPiece kept;
    return pieces_ && folder.ready && pieces_->reusable(list_, *folder.ready, folder.place, &kept);
}

void PieceWriter::record(const FolderFiles &folder, const ReadyPiece &piece)
{
    if (pieces_ && folder.ready)
        pieces_->record(list_, *folder.ready, folder.place, piece);
}

void PieceWriter::beginPiece(const FolderFiles &folder)
{
    settleGap();
    recording_ = pieces_ && folder.ready;
    pieceGap_ = recording_ ? gapDigest() : 0;
    pieceFolder_ = folder.ready;
    piecePlace_ = folder.place;
    pieceAt_ = written();
}

void PieceWriter::endPiece(ReadyPiece piece, bool fits)
{
    if (!recording_)
        return;
    recording_ = false;
    beginGap();
    const qint64 length = written() - pieceAt_;
    // A list given up meanwhile keeps nothing of it.
    if (!fits || length > qint64(UINT32_MAX) || !file_->isOpen())
        return;
    piece.at = pieceAt_;
    piece.length = quint32(length);
    piece.gap = pieceGap_;
    pieces_->record(list_, *pieceFolder_, piecePlace_, piece);
}

bool PieceWriter::followsInLast(qint64 at, const char *data, qsizetype size)
{
    const ReplacingFile::Committed *last = pieces_->lastWritten(list_);
    const qint64 end = last ? last->size : -1;
    if (at + size > end)
        return false;
    // Read a window at a time: the places compared come in the file's order, most of them
    // next to each other (a gap no piece follows) and the others far apart (pieces copied
    // between them), where a large window would be read for a few bytes.
    if (at < windowAt_ || at + size > windowAt_ + window_.size()) {
        constexpr qint64 kWindow = 16 * 1024;
        windowAt_ = at;
        window_.resize(0);
        if (last_.read(at, std::min(end - at, std::max<qint64>(kWindow, size)), &window_) != 0) {
            window_.resize(0);
            return false;
        }
    }
    return std::memcmp(window_.constData() + (at - windowAt_), data, std::size_t(size)) == 0;
}

int PieceWriter::sendSome()
{
    // Handed on as it grows, not only once it ends: the system copies it while the walk goes on.
    constexpr qint64 kStep = 8 << 20;
    return copyLength_ >= kStep ? handOn() : error_;
}

int PieceWriter::handOn()
{
    const qint64 length = copyLength_;
    copyLength_ = 0;
    if (length > 0 && error_ == 0 && file_->isOpen())
        error_ = file_->append(last_, copyAt_, length);
    copyAt_ += length;
    return error_;
}

int PieceWriter::flush()
{
    settleGap();
    copying_ = false;
    return handOn();
}

void PieceWriter::settleGap()
{
    if (!holding_)
        return;
    holding_ = false;
    if (!gap_.isEmpty())
        writeNow(gap_.constData(), gap_.size());
}

void PieceWriter::beginGap()
{
    gap_.resize(0);
    gapKnown_ = true;
}

void PieceWriter::forgetGap()
{
    gap_.clear();
    gapKnown_ = false;
}

void PieceWriter::committed(qint64 flatStart)
{
    release();
    if (pieces_)
        pieces_->committed(list_, file_->committed(), flatStart);
}

void PieceWriter::release()
{
    last_.close();
    lastOpened_ = false;
}
