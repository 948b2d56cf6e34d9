// Named shared memory: the block NAME is the POSIX shared memory object
// "/NAME", mode 0600, sized on creation, mapped read/write and never
// unlinked, so it keeps its bytes between users. Every call returns 0 or
// an errno, with the reason in words where it helps.
#pragma once

#include <QByteArray>
#include <QString>

// "/" + name, in the file system's encoding. $QUORBEL_SHM_PREFIX, when set,
// goes before the name, so that tests running side by side each have blocks
// of their own.
QByteArray SharedMemoryName(const QString &name);

// Creates the block, or opens the existing one, and makes it at least size
// bytes long (bytes already there are kept). A block that belongs to another
// user or is open to group or others is refused (EPERM), as is one that is
// no regular object.
int OpenSharedMemory(const QString &name, qint64 size, int &fd, QString *reason = nullptr);
// Maps size bytes of an open block for reading and writing.
int MapSharedMemory(int fd, qint64 size, void *&address);
int UnmapSharedMemory(void *address, qint64 size);
int CloseSharedMemory(int fd);
// Removes the name; blocks already open stay usable. For tests and tools.
int UnlinkSharedMemory(const QString &name);
