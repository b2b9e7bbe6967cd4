// lystora-list: the command-line list maker, for servers and timer jobs. Same engine, same
// bytes as the window's "Make the list !".

#include "cli_options.h"
#include "cli_texts.h"
#include "console_host.h"
#include "engine/engines.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "platform/interrupt.h"
#include "platform/messages_language.h"
#include "platform/settings_backend.h"
#include "service.h"
#include "settings/registry.h"

#include <QStringList>

#include <cstdio>

namespace {

enum ExitStatus { kWritten = 0, kStopped = 1, kError = 2 };

} // namespace

int main(int argc, char **argv)
{
    const int langue = messagesLanguage();
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);

    const std::unique_ptr<SettingsBackend> backend = makeSettingsBackend();
    Registry store(*backend);
    const CliOptions options = parseCommandLine(arguments, langue, store);
    if (options.help) {
        printText(stdout, cliText(CliText::Usage, langue));
        return kWritten;
    }
    if (options.version) {
        printText(stdout, QStringLiteral("lystora-list (") + productName() + QStringLiteral(")\n"));
        return kWritten;
    }
    if (!options.error.isEmpty()) {
        printText(stderr, QStringLiteral("lystora-list: ") + options.error + QLatin1Char('\n') +
                              cliText(CliText::TryHelp, langue) + QLatin1Char('\n'));
        return kError;
    }

    installInterruptHandlers();
    reportFileSizeLimitAsError();
    ListingSettings settings = options.settings;
    ConsoleHost console(options.targetDir, options.targetName, langue);
    console.file1().setPattern(options.pattern);
    console.dir1().setPath(options.sourceDir);
    Engines engines(settings, console.host());
    if (options.every > 0 || options.watch)
        serve(engines, console, options, store);
    engines.Command1_Click();
    console.clearProgress();

    if (const int signal = pendingInterrupt())
        endByInterrupt(signal);
    switch (engines.outcome.end) {
    case RunEnd::Written:
        // With --force no end message is shown, but skipped folders must still be told.
        if (settings.AutoUpdate && engines.outcome.unreadableDirs > 0)
            printText(stderr, messageText(Message::UnreadableFolders, langue)
                                      .arg(engines.outcome.unreadableDirs) +
                                  QLatin1Char('\n'));
        return kWritten;
    case RunEnd::Stopped:
        return kStopped;
    default:
        return kError;
    }
}
