#include "platform/ini_text.h"

#include <QList>

namespace {

const QByteArray kByteOrderMark = "\xEF\xBB\xBF";

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

QByteArray withoutCr(const QByteArray &line)
{
    return line.endsWith('\r') ? line.chopped(1) : line;
}

bool isSectionLine(const QByteArray &line, QByteArray *name = nullptr)
{
    const QByteArray trimmed = withoutCr(line).trimmed();
    if (!trimmed.startsWith('[') || !trimmed.endsWith(']'))
        return false;
    if (name)
        *name = trimmed.mid(1, trimmed.size() - 2).trimmed();
    return true;
}

// The value when the line sets name, else nothing.
std::optional<QByteArray> valueOfLine(const QByteArray &line, const QByteArray &name)
{
    const qsizetype equals = line.indexOf('=');
    if (equals < 0 || line.left(equals).trimmed().compare(name, Qt::CaseInsensitive) != 0)
        return std::nullopt;
    QByteArray value = withoutCr(line.mid(equals + 1));
    if (equals > 0 && isBlank(line[equals - 1]))
        value = value.trimmed();
    return value;
}

struct Place {
    qsizetype valueLine = -1;  // the line setting the name
    qsizetype sectionEnd = -1; // the line after the section's last non-empty line
    bool sectionFound = false;
};

// The file's lines, the byte-order mark left out (bomOut tells whether there was one).
QList<QByteArray> linesOf(const QByteArray &text, bool *bomOut = nullptr)
{
    const bool bom = text.startsWith(kByteOrderMark);
    if (bomOut)
        *bomOut = bom;
    return (bom ? text.mid(kByteOrderMark.size()) : text).split('\n');
}

Place find(const QList<QByteArray> &lines, const QByteArray &section, const QByteArray &name)
{
    Place place;
    bool inSection = false;
    for (qsizetype i = 0; i < lines.size(); ++i) {
        QByteArray sectionName;
        if (isSectionLine(lines[i], &sectionName)) {
            inSection = sectionName.compare(section, Qt::CaseInsensitive) == 0;
            if (inSection && !place.sectionFound) {
                place.sectionFound = true;
                place.sectionEnd = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        if (place.valueLine < 0 && valueOfLine(lines[i], name))
            place.valueLine = i;
        if (!withoutCr(lines[i]).trimmed().isEmpty())
            place.sectionEnd = i + 1;
    }
    return place;
}

} // namespace

std::optional<QByteArray> iniValue(const QByteArray &text, const QByteArray &section,
                                   const QByteArray &name)
{
    const QList<QByteArray> lines = linesOf(text);
    const Place place = find(lines, section, name);
    if (place.valueLine < 0)
        return std::nullopt;
    return valueOfLine(lines[place.valueLine], name);
}

QByteArray iniWithValue(const QByteArray &text, const QByteArray &section, const QByteArray &name,
                        const QByteArray &value)
{
    bool bom = false;
    QList<QByteArray> lines = linesOf(text, &bom);
    if (!lines.isEmpty() && lines.back().isEmpty())
        lines.removeLast(); // the final line end
    // New lines take the file's own line ends, so that a CR LF file stays one.
    const QByteArray end = !lines.isEmpty() && lines.front().endsWith('\r') ? "\r" : "";
    const QByteArray line = name + '=' + value + end;
    const Place place = find(lines, section, name);
    if (place.valueLine >= 0) {
        lines[place.valueLine] = line;
    } else if (place.sectionFound) {
        lines.insert(place.sectionEnd, line);
    } else {
        if (!lines.isEmpty() && !withoutCr(lines.back()).trimmed().isEmpty())
            lines << end;
        lines << '[' + section + ']' + end << line;
    }
    return (bom ? kByteOrderMark : QByteArray()) + lines.join('\n') + '\n';
}
