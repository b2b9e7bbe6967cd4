#include "engine/entry_lines.h"

#include "engine/file_output.h"
#include "platform/fast_append.h"

#include <algorithm>

namespace {

bool isControl(char16_t c)
{
    return c < 0x20 || (c >= 0x7F && c <= 0x9F);
}

// Text as a name is shown: composed, controls replaced, and escaped for HTML.
void appendShown(QString &out, const QString &name, bool html)
{
    if (html) {
        appendHtmlEscaped(out, shownText(name));
        return;
    }
    appendText(out, shownText(name));
}

} // namespace

void appendHtmlEscaped(QByteArray &out, QByteArrayView text)
{
    qsizetype plain = 0; // where the characters that stand for themselves start
    for (qsizetype i = 0; i < text.size(); ++i) {
        QByteArrayView entity;
        switch (text[i]) {
        case '&':
            entity = "&amp;";
            break;
        case '<':
            entity = "&lt;";
            break;
        case '>':
            entity = "&gt;";
            break;
        case '"':
            entity = "&quot;";
            break;
        default:
            continue;
        }
        appendBytes(out, text.sliced(plain, i - plain));
        appendBytes(out, entity);
        plain = i + 1;
    }
    appendBytes(out, text.sliced(plain));
}

QString shownText(const QString &name)
{
    // Decomposed accents ("e" then U+0301, as macOS and some copy tools write names) would each
    // be two characters, the second one unknown to Windows-1252. Combining marks start at
    // U+0300: one look tells that a name needs neither composing nor controls replaced, as most
    // do not.
    if (std::none_of(name.cbegin(), name.cend(),
                     [](QChar c) { return c.unicode() >= 0x0300 || isControl(c.unicode()); }))
        return name;
    const bool mayCompose =
        std::any_of(name.cbegin(), name.cend(), [](QChar c) { return c.unicode() >= 0x0300; });
    return withoutControls(mayCompose ? name.normalized(QString::NormalizationForm_C) : name);
}

QString withoutControls(const QString &name)
{
    const auto control =
        std::find_if(name.cbegin(), name.cend(), [](QChar c) { return isControl(c.unicode()); });
    if (control == name.cend())
        return name; // the usual case, and no copy
    QString shown = name;
    for (QChar &c : shown) {
        if (isControl(c.unicode()))
            c = QLatin1Char('?');
    }
    return shown;
}

QString displayedName(const QString &name, bool incExt)
{
    if (incExt)
        return shownText(name);
    // The dot is looked for from the last-but-one character back to the first: a final dot is
    // never taken for the one before the extension.
    for (qsizetype i = name.size() - 2; i >= 0; --i) {
        if (name[i] == QLatin1Char('.'))
            return shownText(name.left(i));
    }
    return shownText(name);
}

void appendHtmlEscaped(QString &out, const QString &text)
{
    const QChar *data = text.constData();
    const qsizetype size = text.size();
    qsizetype plain = 0; // where the characters that stand for themselves start
    for (qsizetype i = 0; i < size; ++i) {
        QLatin1String entity;
        switch (data[i].unicode()) {
        case '&':
            entity = QLatin1String("&amp;");
            break;
        case '<':
            entity = QLatin1String("&lt;");
            break;
        case '>':
            entity = QLatin1String("&gt;");
            break;
        case '"':
            entity = QLatin1String("&quot;");
            break;
        default:
            continue;
        }
        appendText(out, data + plain, i - plain);
        appendText(out, entity);
        plain = i + 1;
    }
    appendText(out, data + plain, size - plain);
}

void appendPercentEncoded(QString &out, QByteArrayView bytes)
{
    static const char hex[] = "0123456789ABCDEF";
    const qsizetype at = out.size();
    out.resize(at + 3 * bytes.size()); // at most
    QChar *to = out.data() + at;
    for (const char byte : bytes) {
        const unsigned char b = static_cast<unsigned char>(byte);
        const bool unreserved = (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z') ||
                                (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' ||
                                b == '~';
        if (unreserved) {
            *to++ = QLatin1Char(char(b));
        } else {
            *to++ = QLatin1Char('%');
            *to++ = QLatin1Char(hex[b >> 4]);
            *to++ = QLatin1Char(hex[b & 0xF]);
        }
    }
    out.truncate(to - out.constData());
}

void putDirectoryLine(QString &out, const ListingSettings &settings, const QString &name)
{
    out.resize(0);
    if (settings.ListingType == 2)
        appendText(out, settings.HTML ? QLatin1String("</p><p>&nbsp;&nbsp;&nbsp; ")
                                      : QLatin1String("\r\n\r\n\t"));
    else
        appendText(out, settings.HTML ? QLatin1String("<br>") : QLatin1String("\r\n"));
    appendShown(out, name, settings.HTML);
}

void putEntryLine(QString &out, const ListingSettings &settings, const QString &urlPath,
                  const ListedName &name, const QString &displayed)
{
    out.resize(0);
    if (!settings.HTML) {
        appendText(out, QLatin1String("\r\n"));
        appendText(out, displayed);
        return;
    }
    if (!settings.DownAllow) {
        appendText(out, QLatin1String("<br>"));
        appendHtmlEscaped(out, displayed);
        return;
    }
    appendText(out, QLatin1String("<br><a href=\""));
    appendText(out, settings.BaseUrl);
    appendText(out, urlPath);
    appendPercentEncoded(out, name.bytes);
    appendText(out, QLatin1String("\">"));
    appendHtmlEscaped(out, displayed);
    appendText(out, QLatin1String("</a>"));
}

bool isPlainName(QByteArrayView name)
{
    if (name.isEmpty())
        return false;
    // Bytes from 0x20 to 0x7E are those whose value less 0x20 is below 0x5F, as unsigned.
    return std::all_of(name.begin(), name.end(),
                       [](char c) { return static_cast<unsigned char>(c - 0x20) < 0x5F; });
}

QByteArrayView plainDisplayedName(QByteArrayView name, bool incExt)
{
    if (!incExt) {
        for (qsizetype i = name.size() - 2; i >= 0; --i) {
            if (name[i] == '.')
                return name.first(i);
        }
    }
    return name;
}

void appendPlainEntryLine(QByteArray &out, const ListingSettings &settings,
                          QByteArrayView linkStart, QByteArrayView name, QByteArrayView *displayed)
{
    const QByteArrayView shown = plainDisplayedName(name, settings.IncExt);
    *displayed = shown;
    if (!settings.HTML) {
        appendBytes(out, "\r\n");
        appendBytes(out, shown);
        return;
    }
    if (!settings.DownAllow) {
        appendBytes(out, "<br>");
        appendHtmlEscaped(out, shown);
        return;
    }
    appendBytes(out, linkStart);
    appendPercentEncoded(out, name, false);
    appendBytes(out, "\">");
    appendHtmlEscaped(out, shown);
    appendBytes(out, "</a>");
}
