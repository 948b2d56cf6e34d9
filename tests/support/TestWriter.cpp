#include "TestWriter.h"

#include "Exception.h"

void TestWriter::Write(const QString &path, const QByteArray &bytes)
{
    ++writes;
    if (failing > 0)
        throw EInOutError(QStringLiteral("Cannot write %1: No space left on device").arg(path));
    AtomicFileWriter().Write(path, bytes);
}

TestWriter &SharedTestWriter()
{
    static TestWriter writer;
    return writer;
}
