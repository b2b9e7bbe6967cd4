#pragma once

// Interruption by the user or the system (SIGINT, SIGTERM, SIGHUP): the handler only records the
// signal, so that a run can stop between two pieces and clean up after itself.
void installInterruptHandlers();
int pendingInterrupt(); // the signal received, or 0
// Becomes readable when a signal arrives, for a program that waits in poll().
int interruptDescriptor();
// A write past the process's file size limit fails with an error the run reports, instead of
// ending the process with SIGXFSZ halfway through a list.
void reportFileSizeLimitAsError();
// Ends the process the way the signal would have, once the clean-up is done.
[[noreturn]] void endByInterrupt(int signal);
