#pragma once

#include <QString>

#include <vector>

// The file list's pattern: wildcard patterns separated by ";" ("*.mp3;*.aac"), blanks around each
// ignored. "*" stands for any run of characters and "?" for one; every other character, "[" too,
// stands for itself. A name matches when one pattern matches the whole of it, without regard to
// case. A pattern text with no pattern in it matches every name.
class FilePattern
{
public:
    explicit FilePattern(const QString &text = QString());

    const QString &text() const { return text_; }
    bool matches(const QString &name) const;
    // The same for a name as the file system holds it (UTF-8): an ASCII name is matched as it
    // is, without a string made of it.
    bool matches(const char *name, std::size_t length) const;

private:
    QString text_;
    std::vector<std::u32string> patterns_; // case-folded
};
