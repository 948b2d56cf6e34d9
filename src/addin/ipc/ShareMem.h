// The named memory block through which the help editor answers a program
// that asked it for a topic: the reply text at offset 0, then a zero byte.
#pragma once

#include "Exception.h"

#include <QString>

#include <cstdint>
#include <memory>

class ESharedMemoryError : public Exception {
public:
    explicit ESharedMemoryError(const QString &message, QString reason = {})
        : Exception(message), FReason(std::move(reason))
    {
    }
    // The platform's words for what went wrong; may be empty.
    const QString &Reason() const { return FReason; }

private:
    QString FReason;
};

class TSharedMemory {
public:
    // Creates the block, or opens it when it exists, and maps all of it.
    TSharedMemory(const QString &name, int32_t size);
    // Releases what Close did not; errors are lost here, as a destructor
    // cannot throw safely: call Close to see them.
    ~TSharedMemory();
    TSharedMemory(const TSharedMemory &) = delete;
    TSharedMemory &operator=(const TSharedMemory &) = delete;

    // Unmaps the view and closes the handle; ESharedMemoryError on failure.
    void Close();

    int Handle = 0; // the block's descriptor + 1; 0 when none
    void *Memory = nullptr;
    int32_t Size = 0;
};

class TSHmemcom {
public:
    static constexpr int32_t BlockSize = 32000;
    static QString BlockName() { return QStringLiteral("ShareMem Unique"); }

    TSHmemcom();
    ~TSHmemcom();
    TSHmemcom(const TSHmemcom &) = delete;
    TSHmemcom &operator=(const TSHmemcom &) = delete;

    // Places S at the start of the block: at most 31999 bytes of its text
    // (Windows-1252 when it fits, else UTF-8, never cut inside a
    // character) and a zero byte. The bytes after the zero stay as they were.
    void Write(const QString &S);
    // Frees the text holder, then unmaps and closes the block, with errors.
    void Close();

    std::unique_ptr<TSharedMemory> FMemFile;
    // The text holder the reply passes through (no length limit for text
    // the program sets).
    std::unique_ptr<QString> FPosBueno;
};
