#include "engine/ready_pieces.h"

int ReadyPieces::listIndex(const QByteArray &path)
{
    for (int i = 0; i < listCount_; ++i) {
        if (lists_[std::size_t(i)].path == path)
            return i;
    }
    if (listCount_ == kMostLists)
        return -1;
    lists_[std::size_t(listCount_)].path = path;
    return listCount_++;
}

const ReadyPieces::Piece *ReadyPieces::reusable(int list, const QByteArray &dir,
                                                const std::shared_ptr<const void> &reading)
{
    const auto found = folders_.find(dir);
    if (found == folders_.end() || !reading || found->second.reading.lock() != reading)
        return nullptr;
    const Piece &piece = found->second.pieces[std::size_t(list)];
    const quint32 committedBy = lists_[std::size_t(list)].run;
    return committedBy != 0 && piece.run == committedBy ? &piece : nullptr;
}

void ReadyPieces::record(int list, const QByteArray &dir,
                         const std::shared_ptr<const void> &reading, const Piece &piece)
{
    Folder &folder = folders_[dir];
    if (folder.reading.lock() != reading) {
        // Read anew: what the other lists kept of the older reading is no longer so.
        for (Piece &old : folder.pieces)
            old.run = 0;
        folder.reading = reading;
    }
    folder.seen = run_;
    folder.pieces[std::size_t(list)] = piece;
    folder.pieces[std::size_t(list)].run = run_;
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

void ReadyPieces::prune()
{
    for (auto it = folders_.begin(); it != folders_.end();) {
        if (it->second.seen != run_)
            it = folders_.erase(it);
        else
            ++it;
    }
}

void ReadyPieces::clear()
{
    folders_.clear();
    for (List &list : lists_)
        list.run = 0;
}
