#include "SafeFile.h"

#include "Exception.h"

#include <QCoreApplication>
#include <QFile>
#include <QSaveFile>

#include <atomic>

namespace {
std::atomic<int> failWrites{0};

QString reason(const QString &path, const QString &what)
{
    return QStringLiteral("Cannot write %1: %2").arg(path, what);
}
} // namespace

void WriteFileAtomically(const QString &path, const QByteArray &bytes)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        throw EInOutError(reason(path, file.errorString()));
    if (file.write(bytes) != bytes.size()) {
        const QString why = file.errorString();
        file.cancelWriting();
        throw EInOutError(reason(path, why));
    }
    if (failWrites.load() > 0) {
        file.cancelWriting();
        throw EInOutError(reason(path, QStringLiteral("No space left on device")));
    }
    if (!file.commit())
        throw EInOutError(reason(path, file.errorString()));
}

QByteArray ReadWholeFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        throw EInOutError(QStringLiteral("Cannot open file %1").arg(path));
    QByteArray data = file.readAll();
    if (file.error() != QFile::NoError)
        throw EInOutError(QStringLiteral("Cannot read %1: %2").arg(path, file.errorString()));
    return data;
}

namespace SafeFileTesting {
FailWrites::FailWrites() { ++failWrites; }
FailWrites::~FailWrites() { --failWrites; }
} // namespace SafeFileTesting
