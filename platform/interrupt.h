#pragma once

// Interruption by the user or the system: SIGINT (Ctrl+C), SIGTERM, SIGHUP (the session ends).
//
// The handler records the signal and makes interruptDescriptor() readable, so that a program
// waiting in poll() or in an event loop learns of it there. A program may also ask to end at
// once, from the handler itself, whatever it is doing (reading a folder of a million names, say):
// the temporary files registered below are removed first, so that nothing partial is left, and
// the process ends the way the signal asks, or with the status set by setInterruptExitStatus()
// once its work is safely done.
enum class OnInterrupt {
    Record,    // only record it: the program closes in its own time
    EndAtOnce, // clean up and end from the handler
};
void installInterruptHandlers(OnInterrupt what);
int pendingInterrupt(); // the signal received, or 0
// Readable once a signal has arrived; a reader may drain it.
int interruptDescriptor();
// Whether a signal arrived that no reader has drained from interruptDescriptor() yet: an end
// asked for and not handled.
bool interruptWaiting();
// From now on an interrupt that ends the process at once ends it with this status (0: its work
// is done, say) instead of by the signal; -1 goes back to ending by the signal.
void setInterruptExitStatus(int status);
// Ends the process the way the signal would have, once the clean-up is done.
[[noreturn]] void endByInterrupt(int signal);

// A write past the process's file size limit fails with an error the run reports, instead of
// ending the process with SIGXFSZ halfway through a list.
void reportFileSizeLimitAsError();

// A write to a connection whose other end is gone (the X server stopped, a reader that died)
// fails with EPIPE instead of ending the process with SIGPIPE: the window's display going away
// is then seen by Qt, whose exit still runs the closing save. A handler, not SIG_IGN, so that
// the programs it starts get the usual SIGPIPE back at their exec.
void reportBrokenPipeAsError();

// A file an immediate end removes: its folder (a descriptor kept open meanwhile) and its name
// in it. Returns a slot for unregisterTemporaryFile, or -1 when none is free (then the next run
// removes the file, see ReplacingFile).
int registerTemporaryFile(int dirFd, const char *name);
void unregisterTemporaryFile(int slot);

// Holds the interrupt signals back while it lives, for a few steps that must be done together
// (the two calls that put a finished list in its place).
class InterruptsHeld
{
public:
    InterruptsHeld();
    ~InterruptsHeld();
    InterruptsHeld(const InterruptsHeld &) = delete;
    InterruptsHeld &operator=(const InterruptsHeld &) = delete;

private:
    unsigned long long old_[16]; // the signal mask before, as the system keeps it
};
