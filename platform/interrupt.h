#pragma once

// Interruption by the user or the system (SIGINT, SIGTERM, SIGHUP): the handler only records the
// signal, so that a run can stop between two pieces and clean up after itself.
void installInterruptHandlers();
int pendingInterrupt(); // the signal received, or 0
// Ends the process the way the signal would have, once the clean-up is done.
[[noreturn]] void endByInterrupt(int signal);
