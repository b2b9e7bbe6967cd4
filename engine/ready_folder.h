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
};

constexpr int kMostReadyLists = 4;

// One reading's pieces in each list, kept with the reading itself (see
// SourceFileList::ready): a folder read anew has none. The place they were written for is
// told too, by its key (see ReadyPieces::placeKey): a reading met elsewhere gives other bytes
// there. A key, not the place's name: a watched tree of 100,000 folders would hold every
// folder's path once more for it.
struct ReadyFolder {
    std::size_t place = 0;
    std::array<ReadyPiece, kMostReadyLists> pieces;
};
