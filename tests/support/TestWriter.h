// The writer tests hand to whatever saves: it writes atomically until told
// to fail, and then fails as a full disk would, leaving the old file whole.
#pragma once

#include "SafeFile.h"

class TestWriter final : public TFileWriter {
public:
    // Counted, so scopes nest.
    int failing = 0;
    int writes = 0;
    void Write(const QString &path, const QByteArray &bytes) override;
};

TestWriter &SharedTestWriter();

// While alive, every write through SharedTestWriter() fails.
class FailWrites {
public:
    FailWrites() { ++SharedTestWriter().failing; }
    ~FailWrites() { --SharedTestWriter().failing; }
    FailWrites(const FailWrites &) = delete;
    FailWrites &operator=(const FailWrites &) = delete;
};
