#pragma once

#include "engine/list_outputs.h"
#include "engine/ready_pieces.h"

#include <cstring>

// An output written into a file replaced as a whole: what the page, the playlist and the JSON
// document share. Writes go through a buffer; the first failure is kept and told at finish().
class FileOutput : public ListOutput
{
public:
    explicit FileOutput(const OutputRequest &request) : request_(request) {}

    const OutputRequest &request() const override { return request_; }
    int begin(const OutputContext &context) override;
    void endList() override;
    int finish() override;
    void discard() override { file_.discard(); }
    const ReplacingFile::Committed &committed() const override { return file_.committed(); }
    bool filesBegin(const FolderFiles &folder) override;
    void filesEnd(bool keep) override;
    bool mayTake(const FolderFiles &folder) const override { return pieces_.mayTake(folder); }

protected:
    // What the list counts of the files so far, and what it adds when it takes a folder's
    // files again from a piece (their bytes are already written then).
    struct Counted {
        qint64 files = 0;
        qint64 size = 0;
    };
    virtual Counted counted() const { return {}; }
    // `tags`, when tags are read: what the files' tags added to the totals.
    virtual void replayed(const ReadyPiece &, const ReadyTags *tags) { (void)tags; }
    // Whether what the folder's files just gave can be taken again as it is.
    virtual bool keepsPiece() const { return true; }
    // A list in two parts (the JSON's tree and its flat list): where the next folder's piece
    // of the second part begins, where it stands now, and a piece of the last list's second
    // part taken again (its new start returned). Where the second part begins in the file is
    // told by secondPartStart() once it is written.
    virtual qint64 flatMark() const { return 0; }
    virtual qint64 flatSize() const { return 0; }
    virtual qint64 replayFlat(const WrittenList &, qint64, qint64) { return 0; }
    void secondPartStarts() { flatStart_ = written(); }
    // Bytes of the list so far.
    qint64 written() const { return pieces_.written(); }

    // The format's own beginning and end.
    virtual void writeStart() = 0;
    virtual void writeEnd() = 0;

    void write(const QByteArray &bytes) { write(bytes.constData(), bytes.size()); }
    void write(const char *text) { write(text, qsizetype(std::strlen(text))); }
    void write(const char *data, qsizetype size);
    // length bytes of `from` from `at` on, as write() would put them.
    void append(const WrittenList &from, qint64 at, qint64 length);
    // A failure of the output's own (a temporary file of its own, say), told at finish().
    void fail(int error)
    {
        if (error_ == 0)
            error_ = error;
    }

    const OutputContext &context() const { return context_; }
    // The output's own folder, absolute: relative links start there.
    const QByteArray &folder() const { return folder_; }
    // The relative way from the list's folder to a folder below the source (dir, "" for the
    // source itself), ending in "/" unless it is the list's own folder: what goes before the
    // names of its files.
    QByteArray wayTo(const QByteArray &dir) const;

private:
    OutputRequest request_;
    OutputContext context_;
    QByteArray folder_;
    ReplacingFile file_;
    PieceWriter pieces_;
    int error_ = 0;
    qint64 flatStart_ = 0;
    bool ended_ = false; // its end written (endList)
    // Where the folder whose files are being written began, for its piece.
    struct Recording {
        qint64 flatAt = 0;
        Counted before;
    } recording_;
};

// Helpers of the writers.

// The path from folder `from` to `to` (both absolute), by names alone: "Album/x.mp3",
// "../music/x.mp3".
QByteArray relativePath(const QByteArray &from, const QByteArray &to);
// Percent-encodes every byte but the unreserved "A-Z a-z 0-9 - . _ ~" and, when keepSlashes,
// the "/" between names.
QByteArray percentEncoded(const QByteArray &bytes, bool keepSlashes);
void appendPercentEncoded(QByteArray &out, QByteArrayView bytes, bool keepSlashes);
// Text as UTF-8, as QString::toUtf8() writes it, without a string of its own when it is ASCII.
void appendUtf8(QByteArray &out, QStringView text);
// A number in a base from 2 to 36, as QByteArray::number writes it, without a string of its own.
void appendNumber(QByteArray &out, qint64 value, int base = 10);
// A file's absolute path.
QByteArray absolutePath(const OutputContext &context, const OutputFile &file);
// "3:45", "1:02:03".
QString durationText(qint64 milliseconds);
// "850 B", "4.2 MB" / "4,2 Mo", in the list language.
QString sizeText(qint64 bytes, int langue);
// The same in UTF-8, `space` between the number and its unit.
void appendSizeText(QByteArray &out, qint64 bytes, int langue, QByteArrayView space);
// The name a file is shown by where no title is known: the classic list's (extension or not).
const QString &shownName(const OutputContext &context, const OutputFile &file);
// The same as bytes, when the file's name is plain (see isPlainName), as most are: ASCII, it is
// then its own UTF-8, and needs no more than HTML's escaping. False when it is not plain.
bool plainShownName(const OutputContext &context, const OutputFile &file, QByteArrayView *shown);

// The base URL as the page and the playlist put it before a path: with a "/" at its end when it
// has none and no query ("http://host/music" leads to "http://host/music/"). The classic list
// keeps it as typed.
QString linkBaseUrl(const QString &baseUrl);
// Whether links are made and the base URL lacks that "/": worth a word to the user.
bool baseUrlLacksSlash(const ListingSettings &settings);
