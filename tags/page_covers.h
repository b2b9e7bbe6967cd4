#pragma once

#include "engine/list_outputs.h"
#include "platform/path_kind.h"
#include "tags/tag_readers.h"

#include <QByteArray>

#include <memory>
#include <unordered_map>
#include <vector>

// The pictures of a page's folders: thumbnails, two sizes ("-s.jpg", at most 128 pixels on a
// side, for the list; "-l.jpg", 512, for a lock screen), in a folder beside the page named
// after it ("index.covers/" for "index.html"). A folder's picture file, or the first picture
// embedded in one of its tracks, is someone's upload: it is decoded and scaled in a tag reader
// of its own (see TagReaders), never here. Each thumbnail is named by what it was made from (a
// digest of the picture file's identity, size and times, or of the embedded picture's bytes),
// put in place as a whole, and made again only when that changes. Once the page is in place,
// the thumbnails it no longer names go: only names of this form, never anything else there.
// The folder is refused when it is a link, not a folder, or another user's: the page has no
// pictures then, and says nothing of them.
class PageCovers : public CoverSource
{
public:
    // A thumbnail's digits (see page_covers.cpp), the kinds of it that are there, a bit each,
    // and those of them the page being written uses.
    struct Thumbnail {
        quint64 digits;
        quint8 kinds;
        quint8 used;
    };
    // The thumbnails a folder held when last read, kept from one list to the next by the
    // sources (a watching lystora-list writes the page again at each change): read again only
    // once the folder has changed.
    struct Known {
        QByteArray path;
        FolderStamp stamp;
        std::vector<Thumbnail> present;
    };

    PageCovers(const QByteArray &pagePath, const TagBudget &budget,
               const std::shared_ptr<Known> &known = nullptr);
    ~PageCovers() override;

    QByteArray fromFile(const std::function<QByteArray()> &path, QByteArrayView version) override;
    QByteArray fromTrack(const QByteArray &path, const QByteArray &digest) override;
    void finish(bool pageWritten) override;
    QString problem() const override;

    // The sources for lystora-list and the window: none for "-" or a trial.
    static CoverSources sources(const TagBudget &budget, bool dryRun);

private:
    QByteArray made(quint64 digits, const std::function<QByteArray()> &path, char kind);
    // Once present_ is filled: none of it used yet, and what finds an entry by its digits.
    void index();
    // Its index in present_, or -1.
    qsizetype present(quint64 digits) const;

    QByteArray folderPath_;
    QByteArray folderName_;
    QByteArray addressStart_; // the folder's, in a page's addresses
    bool usable_ = false;
    TagBudget budget_;
    std::unique_ptr<TagReaders> readers_; // started at the first picture to make
    quint64 ticket_ = 0;
    // Thumbnails in the folder when the list began, sorted by their digits; those this list
    // made (true) or found none for.
    std::vector<Thumbnail> present_;
    std::vector<quint32> firstOf_; // the first of present_ whose digits begin with each number
    int shift_ = 63;               // what leaves that number of a thumbnail's digits
    std::unordered_map<quint64, bool> made_;
};
