// Inside window messages: the socket calls, the per-class lock and the
// helpers the listener and the senders share. Only WindowMessages' own
// sources include this.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>

#include <sys/uio.h>
#include <sys/un.h>

namespace WindowMessages::Sockets {

QByteArray Native(const QString &path);

// False when path does not fit a socket address.
bool FillAddress(const QString &path, sockaddr_un &addr);

// Waits in poll, not in recv: a thread asleep in recv is woken each time
// the listener reads from the socket, one in poll only when the reply is
// there. A time-out leaves errno EAGAIN.
bool ReadReply(int fd, char *buffer, size_t size, int timeoutMs);

// Writes the pieces with as few calls as the socket allows: a frame sent in
// one call reaches the listener whole, in one wake-up.
bool WriteAll(int fd, iovec *pieces, int count);

QString LockPath(const QString &socketPath);
int OpenLock(const QString &socketPath);
bool Lock(int fd);

// The lock a listener holds for as long as it listens; whoever gets it
// knows that no live process answers on the socket.
int TakeLock(const QString &socketPath);

// Whether fd is still the file at path (not one removed meanwhile).
bool IsFileAt(int fd, const QString &path);

// Removes the socket file when no listener holds its lock.
void RemoveIfStale(const QString &socketPath);

// For writing; the wait for a reply has its own time-out (ReadReply).
void SetSendTimeout(int fd, int timeoutMs);

} // namespace WindowMessages::Sockets
