#pragma once

#include <QByteArray>

// The helper's half of a WorkerProcess (see worker_process.h): its socket is descriptor 3.

// Waits for the next request: its bytes and its descriptor (-1 when none came), the caller's to
// close. False when the parent is gone or broke the protocol: the helper should end.
bool receiveRequest(int *fd, QByteArray *request);
bool sendReply(const QByteArray &reply);

// What holds for the whole process from now on: at most this much address space (0: no bound),
// and no core file when it is ended by one of the limits.
void limitProcess(qint64 addressSpaceBytes);
// At most this much more CPU time, from now on: past it the system ends the process (SIGXCPU).
void limitCpuFromNow(int seconds);
// From now on the process may do nothing but use the descriptors it holds (read, seek, write,
// close), its memory and its CPU limit: it cannot open a file, start a process or reach a
// network. False when the system cannot filter what a process asks of it.
bool enterSandbox();
