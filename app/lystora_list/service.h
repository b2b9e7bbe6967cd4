#pragma once

class ConsoleHost;
class Engines;
class Registry;
struct CliOptions;

// The list made again and again, for a server: every options.every minutes, and (--watch)
// whenever a name appears, vanishes or moves below the source, once the changes have settled.
// Each rewrite replaces the list without asking and logs one line on stderr (unless --quiet); a
// failed rewrite is logged and the next one still comes. Returns only through a signal, which
// ends the program between two runs or stops the current one, its temporary file removed.
[[noreturn]] void serve(Engines &engines, ConsoleHost &console, const CliOptions &options,
                        Registry &store);
