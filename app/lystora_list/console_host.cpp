#include "console_host.h"

#include "cli_texts.h"
#include "platform/interrupt.h"
#include "platform/lossless_text.h"
#include "platform/terminal.h"

#include <QDateTime>

#include <cstdio>
#include <unistd.h>

namespace {

// At most ten progress lines a second.
constexpr qint64 kProgressIntervalMs = 100;

bool isYes(const QString &answer)
{
    const QString word = answer.trimmed().toLower();
    return word.startsWith(QLatin1Char('y')) || word.startsWith(QLatin1Char('o'));
}

} // namespace

QString shownOnTerminal(const QString &text)
{
    QString shown = text;
    for (QChar &c : shown) {
        const char16_t u = c.unicode();
        // The raw bytes 0x80 to 0x9F of a name that is not UTF-8 too: some terminals take them
        // for controls of their own.
        if (u < 0x20 || (u >= 0x7F && u <= 0x9F) || (u >= 0xDC80 && u <= 0xDC9F))
            c = QLatin1Char('?');
    }
    return shown;
}

QString errorLine(const QString &message)
{
    QString line = QStringLiteral("lystora-list:");
    for (const QString &part : message.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
        const QString piece = shownOnTerminal(part.trimmed());
        if (piece.isEmpty())
            continue;
        const bool sentenceEnded = line.endsWith(QLatin1Char('.')) ||
                                   line.endsWith(QLatin1Char('!')) ||
                                   line.endsWith(QLatin1Char('?'));
        line += sentenceEnded || line.endsWith(QLatin1Char(':')) ? QStringLiteral(" ")
                                                                 : QStringLiteral(": ");
        line += piece;
    }
    return line + QLatin1Char('\n');
}

void printText(FILE *stream, const QString &text)
{
    QString lines = text;
    lines.replace(QLatin1String("\r\n"), QLatin1String("\n"));
    const QByteArray bytes = losslessBytes(lines);
    std::fwrite(bytes.constData(), 1, std::size_t(bytes.size()), stream);
    std::fflush(stream);
}

ConsoleHost::ConsoleHost(const QByteArray &targetDir, const QString &targetName, int langue,
                         bool oneList)
    : QuietListingWindow(targetDir, targetName), langue_(langue), oneList_(oneList),
      showProgress_(isTerminal(STDERR_FILENO))
{
    dir1_.onChange = [this] { file1_.setPath(dir1_.path()); };
}

int ConsoleHost::MsgBox(const QString &text, int style, const QString &)
{
    clearProgress();
    if (style == kStyleInformation) {
        // Standard output is for the list itself ("-"): what the run says goes to stderr.
        if (quiet_)
            return kAnswerOk;
        QStringList lines = text.split(QStringLiteral("\r\n"));
        for (QString &line : lines)
            line = shownOnTerminal(line);
        printText(stderr, lines.join(QLatin1Char('\n')) + QLatin1Char('\n'));
        return kAnswerOk;
    }
    if (style != kStyleYesNoExclamation) {
        const QString line = errorLine(text);
        if (!oneList_ && line == lastTold_)
            return kAnswerOk;
        lastTold_ = oneList_ ? QString() : line;
        if (onMessage)
            onMessage(line.chopped(1));
        else
            printText(stderr, line);
        return kAnswerOk;
    }
    if (!isTerminal(STDIN_FILENO)) {
        printText(stderr,
                  errorLine(text + QLatin1Char('\n') + cliText(CliText::NotReplaced, langue_)));
        return kAnswerNo;
    }
    printText(stderr,
              text + QLatin1Char(' ') + cliText(CliText::YesNo, langue_) + QLatin1Char(' '));
    char line[256];
    if (!std::fgets(line, sizeof line, stdin))
        return kAnswerNo; // end of input, or interrupted
    return isYes(QString::fromLocal8Bit(line)) ? kAnswerYes : kAnswerNo;
}

void ConsoleHost::runProgress(qint64 filesWritten, const SourceDirList &at)
{
    if (!showProgress_ || quiet_)
        return;
    if (sinceProgress_.isValid() && sinceProgress_.elapsed() < kProgressIntervalMs)
        return;
    sinceProgress_.start();
    QString line = cliCountText(CliText::Progress, CliText::ProgressOne, filesWritten, langue_)
                       .arg(shownOnTerminal(losslessText(at.path())));
    const int room = terminalColumns(STDERR_FILENO) - 1;
    if (line.size() > room)
        line = line.left(room);
    printText(stderr, QLatin1String("\r\x1b[K") + line);
    progressShown_ = true;
}

void ConsoleHost::clearProgress()
{
    if (!progressShown_)
        return;
    printText(stderr, QStringLiteral("\r\x1b[K"));
    progressShown_ = false;
}

bool ConsoleHost::cancelRequested()
{
    return pendingInterrupt() != 0;
}

void ConsoleHost::listInPlace()
{
    if (oneList_)
        setInterruptExitStatus(0);
}
