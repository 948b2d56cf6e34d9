// Sequential reading of a file into the caller's buffer, without a buffer of
// its own: scanners stream large files through one fixed buffer.
#pragma once

#include <QString>

#include <cstdint>
#include <sys/types.h>

// What opening a file for reading found, without waiting for a pipe's
// writer. handle >= 0: a regular file, open for blocking reads, of size
// bytes. Otherwise error holds errno of a failed open, or is 0 when the
// entry is no regular file, and mode says what it is.
struct TOpenedFile {
    int handle = -1;
    int error = 0;
    mode_t mode = 0;
    int64_t size = 0;
};
TOpenedFile OpenForReading(const QString &fileName);

class TFileReader {
public:
    TFileReader() = default;
    ~TFileReader(); // closes the file
    TFileReader(const TFileReader &) = delete;
    TFileReader &operator=(const TFileReader &) = delete;

    // Opens a regular file for reading; false when it does not exist.
    // Anything else that is not a readable regular file (a folder, a named
    // pipe, a device, a socket, no permission) throws EInOutError naming the
    // file and the reason, without waiting for a pipe's writer.
    bool Open(const QString &fileName);
    // Length in bytes, taken when the file was opened.
    int64_t Size() const { return FSize; }
    // Reads up to count bytes; 0 at the end of the file. Throws EInOutError
    // on a read error.
    int64_t Read(char *buffer, int64_t count);
    void Close();
    bool IsOpen() const { return FHandle >= 0; }

private:
    int FHandle = -1;
    int64_t FSize = 0;
    QString FFileName;
};
