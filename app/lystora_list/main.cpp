// lystora-list: the command-line list maker, for servers and timer jobs. Same engine, same
// bytes as the window's "Make the list !".

#include "cli_options.h"
#include "cli_texts.h"
#include "console_host.h"
#include "engine/engines.h"
#include "engine/file_output.h"
#include "engine/messages.h"
#include "engine/product.h"
#include "platform/interrupt.h"
#include "platform/lossless_text.h"
#include "platform/messages_language.h"
#include "platform/settings_backend.h"
#include "service.h"
#include "settings/registry.h"
#include "tags/page_covers.h"
#include "tags/tag_cache.h"

#include <QStringList>

#include <cstdio>

namespace {

enum ExitStatus { kWritten = 0, kStopped = 1, kError = 2 };

void printError(const QString &text)
{
    printText(stderr, errorLine(text));
}

} // namespace

int main(int argc, char **argv)
{
    const int langue = messagesLanguage();
    // The arguments' own bytes: a path need not be UTF-8.
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments << losslessText(QByteArray(argv[i]));

    const std::unique_ptr<SettingsBackend> backend = makeSettingsBackend();
    Registry store(*backend);
    const CliOptions options = parseCommandLine(arguments, langue, store);
    if (options.help) {
        printText(stdout, cliText(CliText::Usage, langue));
        return kWritten;
    }
    if (options.version) {
        printText(stdout, versionText(QStringLiteral("lystora-list")));
        return kWritten;
    }
    if (store.problem().kind != StoreProblem::None)
        printError(store.location() + QStringLiteral(": ") +
                   storeProblemText(store.problem(), langue));
    if (!options.error.isEmpty()) {
        printError(options.error + QLatin1Char('\n') + cliText(CliText::TryHelp, langue));
        return kError;
    }

    // Stopped at any moment, even inside a folder of a million names, the program ends at once:
    // the old list stays and its temporary file goes.
    installInterruptHandlers(OnInterrupt::EndAtOnce);
    reportFileSizeLimitAsError();
    ListingSettings settings = options.settings;
    const bool service = options.every > 0 || options.watch;
    ConsoleHost console(options.targetDir, options.targetName, langue, !service);
    console.setQuiet(options.quiet);
    console.file1().setPattern(options.pattern);
    console.dir1().setPath(options.sourceDir);
    Engines engines(settings, console.host());
    engines.classicList = options.classicList;
    engines.outputs = options.outputs;
    engines.dryRun = options.dryRun;
    engines.replaceForeign = options.force;
    const CoverSources covers =
        settings.Covers ? PageCovers::sources(options.tagBudget, options.dryRun) : CoverSources();
    engines.covers = &covers;
    if (!options.quiet && baseUrlLacksSlash(settings))
        printError(cliText(CliText::BaseUrlSlash, langue)
                       .arg(settings.BaseUrl, linkBaseUrl(settings.BaseUrl)));
    std::unique_ptr<TagCache> tags;
    if (settings.ReadTags) {
        tags = std::make_unique<TagCache>(options.tagBudget, options.forgetUnreadable);
        engines.trackInfo = tags.get();
    }
    if (service) {
        ServiceEvents events;
        events.log = [](const QString &line) { printText(stderr, line + QLatin1Char('\n')); };
        serve(engines, console, options, store, ServiceTiming(), -1, events);
        return kError; // only a signal ends a service
    }
    engines.Command1_Click();
    console.clearProgress();

    if (!options.quiet) {
        for (const RunOutcome::Written &list : engines.outcome.written) {
            if (list.path == "-")
                continue;
            printText(
                stderr,
                QStringLiteral("lystora-list: ") +
                    cliText(options.dryRun ? CliText::WouldBeWritten : CliText::Written, langue)
                        .arg(shownOnTerminal(losslessText(list.path)),
                             cliCountText(CliText::Files, CliText::FileOne, list.files, langue)) +
                    QLatin1Char('\n'));
        }
    }
    switch (engines.outcome.end) {
    case RunEnd::Written:
        // With --force no end message is shown, but skipped folders must still be told.
        if (settings.AutoUpdate && engines.outcome.unreadableDirs > 0)
            printError(messageText(Message::UnreadableFolders, langue)
                           .arg(engines.outcome.unreadableDirs));
        if (settings.AutoUpdate && engines.outcome.unreadableTags > 0)
            printError(unreadableTagsText(engines.outcome.unreadableTags, langue));
        if (settings.AutoUpdate && !engines.outcome.readerProblem.isEmpty())
            printError(engines.outcome.readerProblem);
        return engines.outcome.refusedLists > 0 ? kStopped : kWritten;
    case RunEnd::Stopped:
        return kStopped;
    default:
        return kError;
    }
}
