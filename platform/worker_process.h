#pragma once

#include <QByteArray>
#include <QList>

#include <memory>

// A helper program of the project run in a process of its own, to which open files are handed
// one request at a time: whatever a file's contents make the helper do (crash, loop, eat
// memory) ends that process, never the one that asked. The two speak over a socket pair:
//
//   parent                                  helper (see worker_side.h)
//   WorkerProcess::start(program, ...)      starts; sets its limits; says it is ready
//   send(fd, "request bytes")  ---------->  receiveRequest(&fd, &bytes)
//                              <----------  sendReply("reply bytes")
//   readReply(&bytes)                       ... and the next request
//
// A request is a few bytes and at most one descriptor; a reply any number of bytes. The helper
// is started with posix_spawn (a fork of a threaded program could inherit a lock held by another
// thread), its socket as descriptor 3, nothing else of the parent's open.
class WorkerProcess
{
public:
    // How the process ended, once it has.
    struct Ending {
        bool ended = false;
        int signal = 0;     // the signal that ended it, 0 when it exited
        int exitStatus = 0; // its status when it exited
    };

    // The program started with these arguments (the program's name not included); null, and
    // the system's reason, when it cannot be. extraEnvironment adds NAME=value entries.
    static std::unique_ptr<WorkerProcess> start(const QByteArray &program,
                                                const QList<QByteArray> &arguments,
                                                const QList<QByteArray> &extraEnvironment,
                                                int *error);
    ~WorkerProcess(); // killed if still running, and reaped
    WorkerProcess(const WorkerProcess &) = delete;
    WorkerProcess &operator=(const WorkerProcess &) = delete;

    // Readable (for poll()) when a reply, or the end of the process, waits.
    int descriptor() const { return socket_; }
    int pid() const { return pid_; }

    // Hands over the request with the descriptor (-1: none), which stays the caller's. False
    // when the helper is gone.
    bool send(int fd, const QByteArray &request);
    // What a read of the socket gave.
    enum class Read {
        Reply,   // *reply holds one whole reply
        Nothing, // no whole reply yet
        Closed,  // the helper is gone (or broke the protocol): see end()
    };
    // Reads what waits without blocking: at most one reply per call.
    Read readReply(QByteArray *reply);
    // CPU time the process has used so far, in milliseconds (-1 when it cannot be told).
    qint64 cpuTimeMs() const;
    // Ends the process at once (SIGKILL) and waits for it.
    void kill();
    // How the process ended: waits for it once its socket is closed.
    Ending end();

private:
    WorkerProcess(int pid, int socket) : pid_(pid), socket_(socket) {}

    int pid_;
    int socket_;
    QByteArray received_; // bytes of replies not yet whole
    Ending ending_;
};

// Where a helper program of the project is: beside the running program (a build tree), else
// in ../libexec/lystora/ from it (an installed system). Empty when it is in neither.
QByteArray helperProgram(const QByteArray &name);
