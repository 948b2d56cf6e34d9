// Services handed to tools under test: the given host, the dialogs the test
// installed (looked up when used), the registered data directory, and one
// shared writer that a FailWrites scope makes fail.
#pragma once

#include "core/AddinServices.h"

#include "SafeFile.h"

class TestWriter final : public TFileWriter {
public:
    // Counted, so scopes nest.
    int failing = 0;
    int writes = 0;
    void Write(const QString &path, const QByteArray &bytes) override;
};

TestWriter &SharedTestWriter();

// While alive, every write through SharedTestWriter() fails with a disk-full
// error and leaves the old file as it was.
class FailWrites {
public:
    FailWrites() { ++SharedTestWriter().failing; }
    ~FailWrites() { --SharedTestWriter().failing; }
    FailWrites(const FailWrites &) = delete;
    FailWrites &operator=(const FailWrites &) = delete;
};

TAddinServices TestServices(TIToolServices *host = nullptr);
