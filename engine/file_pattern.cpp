#include "engine/file_pattern.h"

#include <QList>
#include <QStringView>
#include <QVarLengthArray>

#include <iterator>

namespace {

template <typename Out> void appendFolded(Out &out, QStringView text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t c = text[i].unicode();
        if (text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate()) {
            c = QChar::surrogateToUcs4(text[i], text[i + 1]);
            ++i;
        }
        out.push_back(QChar::toCaseFolded(c));
    }
}

// Whole-name match, "*" backtracking to the last star only: linear for the usual patterns.
bool wildcardMatch(const std::u32string &pattern, const char32_t *name, qsizetype size)
{
    const std::size_t none = std::size_t(-1);
    std::size_t p = 0;
    std::size_t star = none;
    qsizetype n = 0;
    qsizetype starName = 0;
    while (n < size) {
        // A star of the pattern is a wildcard whatever it faces, a "*" of the name too.
        if (p < pattern.size() && pattern[p] == U'*') {
            star = p++;
            starName = n;
        } else if (p < pattern.size() && (pattern[p] == U'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (star != none) {
            p = star + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == U'*')
        ++p;
    return p == pattern.size();
}

} // namespace

FilePattern::FilePattern(const QString &text) : text_(text)
{
    for (const QStringView piece : QStringView(text).split(QLatin1Char(';'))) {
        const QStringView trimmed = piece.trimmed();
        if (trimmed.isEmpty())
            continue;
        std::u32string folded;
        appendFolded(folded, trimmed);
        patterns_.push_back(std::move(folded));
    }
}

bool FilePattern::matches(const QString &name) const
{
    if (patterns_.empty())
        return true;
    QVarLengthArray<char32_t, 256> folded;
    appendFolded(folded, name);
    for (const std::u32string &pattern : patterns_) {
        if (wildcardMatch(pattern, folded.constData(), folded.size()))
            return true;
    }
    return false;
}

bool FilePattern::matches(const char *name, std::size_t length) const
{
    if (patterns_.empty())
        return true;
    char32_t folded[256];
    if (length > std::size(folded))
        return matches(QString::fromUtf8(name, qsizetype(length)));
    for (std::size_t i = 0; i < length; ++i) {
        const auto c = static_cast<unsigned char>(name[i]);
        if (c >= 0x80)
            return matches(QString::fromUtf8(name, qsizetype(length)));
        folded[i] = c >= 'A' && c <= 'Z' ? c + ('a' - 'A') : c;
    }
    for (const std::u32string &pattern : patterns_) {
        if (wildcardMatch(pattern, folded, qsizetype(length)))
            return true;
    }
    return false;
}
