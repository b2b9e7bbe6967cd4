#pragma once

#include "engine/ready_folder.h"
#include "platform/replacing_file.h"

#include <QByteArray>
#include <QtGlobal>

#include <array>
#include <cstddef>

// What each folder's files gave each list the last time the lists were written, kept by a
// watching lystora-list so that a list is mostly copied, not formatted again: a folder read from
// the same reading as then (see SourceFileList::ready) gives the same bytes, which are taken
// from the list written then, inside the system. The text itself is never held here: only where
// it is in that list (a few dozen bytes a folder and a list), kept with the folder's reading.
//
// A list's pieces are used only while the file last committed is still there as it was
// (WrittenList), and only those of the run that committed it: a run that fails leaves the old
// list in place, and its pieces with it.
class ReadyPieces
{
public:
    ReadyPieces();

    // The list at that path: its index here, or -1 when there is no room for more.
    int listIndex(const QByteArray &path);

    // A run begins: what its lists record is told apart from what earlier runs did.
    void beginRun() { ++run_; }

    // What tells the folder at dir (below the source) from the others: keyed by a secret of
    // this process, so that no one naming folders can make two places share one.
    std::size_t placeKey(const QByteArray &dir) const;
    // What tells the bytes between two pieces from others, keyed by the same secret: never 0
    // (a gap not known).
    quint64 gapDigest(QByteArrayView bytes) const;
    // Whether the piece of list `list` of that reading of the folder at `place` can be taken
    // again (written there by the run that committed the list last): then *piece is it.
    bool reusable(int list, const ReadyFolder &folder, std::size_t place, ReadyPiece *piece) const;
    // What this run wrote there from that reading.
    void record(int list, ReadyFolder &folder, std::size_t place, const ReadyPiece &piece);

    // The list was committed by this run: from now on its pieces of this run are the ones.
    // `flatStart` is where its second part begins.
    void committed(int list, const ReplacingFile::Committed &file, qint64 flatStart);
    const ReplacingFile::Committed *lastWritten(int list) const;
    qint64 flatStart(int list) const { return lists_[std::size_t(list)].flatStart; }

    // Nothing of that list can be taken again (the file last written changed).
    void clearList(int list) { lists_[std::size_t(list)].run = 0; }
    // Nothing of any list.
    void clear();
    // Nothing of the list last committed as that file (changed since, in place).
    void forgetFile(const FileIdentity &file);

private:
    struct List {
        QByteArray path;
        ReplacingFile::Committed file;
        quint32 run = 0; // the run that committed it; 0: none usable
        qint64 flatStart = 0;
    };

    std::array<List, kMostReadyLists> lists_;
    int listCount_ = 0;
    quint32 run_ = 0;
    std::size_t secret_;
};

// One list written into a ReplacingFile, with the files of a folder read as last time taken
// again from the list written then: what the page, the playlist, the JSON and the classic list
// share. Bytes asked to be written that the list last written holds next (what comes between
// two folders' files, most often) lengthen the copy in progress instead. Those between two
// pieces taken again are known by their digest, kept with the second piece: the list last
// written is read back only where a piece does not follow them.
class PieceWriter
{
public:
    // The list at `path`, into `file`. Without pieces (null), everything is written.
    void begin(ReadyPieces *pieces, const QByteArray &path, ReplacingFile *file);
    bool taking() const { return pieces_ != nullptr; }
    // Bytes of the list so far, those still to copy included.
    qint64 written() const
    {
        return (file_ ? file_->size() : 0) + copyLength_ + (holding_ ? gap_.size() : 0);
    }
    // 0, or the first failure: nothing is written after it.
    int write(const char *data, qsizetype size);
    // length bytes of `from` from `at` on, as write() would put them.
    int append(const WrittenList &from, qint64 at, qint64 length);

    // The piece of a folder read from the same reading as when the list last written was
    // made: its bytes queued for copying, and true with *now the piece as it stands in this
    // list, for the caller to record() once it has put in it what it keeps of its own. False
    // when it cannot be taken: the caller then writes the folder's files between beginPiece()
    // and endPiece().
    bool take(const struct FolderFiles &folder, ReadyPiece *now);
    // Whether take() may take it.
    bool mayTake(const struct FolderFiles &folder) const;
    void record(const struct FolderFiles &folder, const ReadyPiece &piece);
    void beginPiece(const struct FolderFiles &folder);
    bool recording() const { return recording_; }
    // What was written since beginPiece() recorded as the folder's piece, with what the caller
    // counted of it in `piece`; nothing when `fits` is false (what the caller counted is too
    // big for the piece's numbers) or the piece itself is: the folder is formatted again.
    void endPiece(ReadyPiece piece, bool fits = true);
    // Where the pieces were taken from (once take() has given one), and where its second
    // part begins.
    const WrittenList &last() const { return last_; }
    qint64 lastFlatStart() const { return pieces_->flatStart(list_); }

    // What is queued, copied: 0, or the first failure.
    int flush();
    // The list was committed: its pieces are the ones to take from now on.
    void committed(qint64 flatStart);
    // The list last written let go: once another has taken its place, it is removed, and its
    // room on the disk is free only when nothing holds it open.
    void release();

private:
    // What is queued of the copy in progress handed on (all of it, or once it is large).
    int handOn();
    int sendSome();
    // Written, or copied where the list last written holds them next.
    int writeNow(const char *data, qsizetype size);
    // Whether the list last written holds these bytes at `at`.
    bool followsInLast(qint64 at, const char *data, qsizetype size);
    // The bytes held back since the last piece taken, written (or copied) now: no piece of the
    // list last written follows them there.
    void settleGap();
    // A piece ended: what comes next is the gap before the next one.
    void beginGap();
    // The gap is longer than is kept, or holds bytes that did not go through write(): its
    // digest cannot be told.
    void forgetGap();
    quint64 gapDigest() const { return gapKnown_ ? pieces_->gapDigest(gap_) : 0; }

    ReadyPieces *pieces_ = nullptr;
    int list_ = -1;
    ReplacingFile *file_ = nullptr;
    int error_ = 0;
    WrittenList last_;
    bool lastOpened_ = false;
    // A copy from the list last written going on: what of it is still to hand on, pieces next
    // to each other in one.
    bool copying_ = false;
    qint64 copyAt_ = 0;
    qint64 copyLength_ = 0;
    QByteArray window_; // of the list last written, from windowAt_ on
    qint64 windowAt_ = 0;
    // The bytes written since the last piece, while they are few and all went through write();
    // held back (not yet written nor copied) right after a piece taken, until it is known
    // whether the next piece follows them in the list last written too.
    QByteArray gap_;
    bool gapKnown_ = true;
    bool holding_ = false;
    // The folder whose files are being written, for its piece.
    bool recording_ = false;
    ReadyFolder *pieceFolder_ = nullptr;
    std::size_t piecePlace_ = 0;
    qint64 pieceAt_ = 0;
    quint64 pieceGap_ = 0;
};
