// Sequential reading of a file into the caller's buffer, without a buffer of
// its own: scanners stream large files through one fixed buffer.
#pragma once

#include <QString>

#include <cstdint>

class TFileReader {
public:
    TFileReader() = default;
    ~TFileReader(); // closes the file
    TFileReader(const TFileReader &) = delete;
    TFileReader &operator=(const TFileReader &) = delete;

    // Opens a regular file for reading; false when it is missing, a
    // directory or unreadable.
    bool Open(const QString &fileName);
    // Length in bytes, taken when the file was opened (0 for a device or
    // pipe, whose length is not known).
    int64_t Size() const { return FSize; }
    bool IsRegular() const { return FRegular; }
    // Reads up to count bytes; 0 at the end of the file, -1 on a read error.
    int64_t Read(char *buffer, int64_t count);
    void Close();
    bool IsOpen() const { return FHandle >= 0; }

private:
    int FHandle = -1;
    int64_t FSize = 0;
    bool FRegular = false;
};
