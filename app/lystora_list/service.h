#pragma once

#include <QString>

#include <cstddef>
#include <functional>

class ConsoleHost;
class Engines;
class Registry;
struct CliOptions;

// How long the service waits for what, and how many folders it may watch. The program uses
// the defaults; tests shorten them.
struct ServiceTiming {
    qint64 minuteMs = 60000;
    // Changes settle this long before the list is made again, so that an album copied in gives
    // one rewrite, not one per file; a tree that never settles is listed this often anyway.
    qint64 settleMs = 2000;
    qint64 longestWaitMs = 30000;
    // While the source is gone, it is looked for this often.
    qint64 sourcePollMs = 1000;
    std::size_t watchLimit = 0; // the system's
};

// The list made again and again, for a server: every options.every minutes, and (--watch)
// whenever a name appears, vanishes or moves below the source, once the changes have settled.
// Each rewrite replaces the list without asking and logs one line (unless --quiet). A failed
// rewrite is logged, keeps the old list and is tried again every minute until it succeeds; a
// list deleted or replaced by someone else is made again. A source that goes away (removed,
// moved, its disk unmounted) is waited for, and watched and listed again once it is back, each
// change of state logged once.
//
// What the service tells as it goes.
struct ServiceEvents {
    std::function<void(const QString &line)> log;
    // Nothing is due and nothing waits to be read: the service sleeps until a change or a signal.
    std::function<void()> idle;
    // A name the kernel said changed (path in the tree), before the service judges it: what
    // came before it has been seen too.
    std::function<void(const QByteArray &path)> seen;
};

// Returns when `stop` becomes readable; in the program nothing writes to it, and an interrupt
// ends the process from its handler (see interrupt.h), its temporary file removed.
void serve(Engines &engines, ConsoleHost &console, const CliOptions &options, Registry &store,
           const ServiceTiming &timing, int stop, const ServiceEvents &events);
