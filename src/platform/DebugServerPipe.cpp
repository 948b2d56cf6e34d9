#include "DebugServerPipe.h"

#include <QFile>
#include <QSocketNotifier>
#include <QtEndian>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr qsizetype HeaderBytes = 1 + 4 + 4; // version, message type, length
constexpr qsizetype MessageHead = 4 + 8 + 4; // type, time stamp, text size
// A frame larger than this is taken as a broken stream, not buffered.
constexpr qint32 MaxFrame = 1 << 20;

} // namespace

TDebugServerPipe::TDebugServerPipe(THandler handler, QObject *parent)
    : QObject(parent), FHandler(std::move(handler))
{
}

TDebugServerPipe::~TDebugServerPipe() { Stop(); }

QString TDebugServerPipe::DefaultPath()
{
    QString dir;
    for (const char *name : {"TEMP", "TMP", "TMPDIR"}) {
        dir = qEnvironmentVariable(name);
        if (!dir.isEmpty())
            break;
    }
    if (dir.isEmpty())
        dir = QStringLiteral("/tmp");
    if (!dir.endsWith(QLatin1Char('/')))
        dir += QLatin1Char('/');
    return dir + QStringLiteral("fpcdebugserver");
}

bool TDebugServerPipe::Serve(const QString &path)
{
    if (Serving())
        return true;
    const QByteArray native = QFile::encodeName(path);
    struct stat st {};
    if (::lstat(native.constData(), &st) == 0) {
        if (!S_ISFIFO(st.st_mode) || st.st_uid != ::geteuid())
            return false;
        // A writer can open the FIFO only while someone reads it.
        const int probe = ::open(native.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
        if (probe >= 0) {
            ::close(probe);
            return false;
        }
        if (errno != ENXIO || ::unlink(native.constData()) != 0)
            return false;
    }
    const mode_t old = ::umask(077);
    const int made = ::mkfifo(native.constData(), 0600);
    ::umask(old);
    if (made != 0)
        return false;
    // Read and write, so the FIFO never reports the end when a writer leaves.
    const int fd = ::open(native.constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISFIFO(st.st_mode)) {
        if (fd >= 0)
            ::close(fd);
        return false;
    }
    FPath = path;
    FFd = fd;
    FInode = st.st_ino;
    FNotifier = new QSocketNotifier(qintptr(fd), QSocketNotifier::Read, this);
    connect(FNotifier, &QSocketNotifier::activated, this, [this] { ReadAvailable(); });
    return true;
}

void TDebugServerPipe::Stop()
{
    if (!Serving())
        return;
    delete FNotifier;
    FNotifier = nullptr;
    // Removed only while it is still the FIFO this server made.
    struct stat st {};
    const QByteArray native = QFile::encodeName(FPath);
    if (::lstat(native.constData(), &st) == 0 && st.st_ino == FInode)
        ::unlink(native.constData());
    ::close(FFd);
    FFd = -1;
    FBuffer.clear();
}

void TDebugServerPipe::ReadAvailable()
{
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(FFd, chunk, sizeof chunk);
        // Taken apart chunk by chunk, so a writer that never pauses does
        // not grow the buffer past one frame and one chunk.
        if (n > 0) {
            Feed(chunk, n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        break;
    }
}

bool TDebugServerPipe::Feed(const char *bytes, qsizetype size)
{
    FBuffer.append(bytes, size);
    return Parse();
}

bool TDebugServerPipe::Parse()
{
    qsizetype at = 0;
    while (FBuffer.size() - at >= HeaderBytes) {
        const char *frame = FBuffer.constData() + at;
        const qint32 length = qFromLittleEndian<qint32>(frame + 5);
        if (length < 0 || length > MaxFrame) {
            FBuffer.clear(); // out of step: drop what is buffered
            return false;
        }
        if (FBuffer.size() - at < HeaderBytes + length)
            break;
        const char *body = frame + HeaderBytes;
        if (length >= MessageHead) {
            const qint32 type = qFromLittleEndian<qint32>(body);
            const qint32 size = qFromLittleEndian<qint32>(body + 12);
            if (size >= 0 && size <= length - MessageHead && FHandler)
                FHandler(type, QByteArray(body + MessageHead, size));
        }
        at += HeaderBytes + length;
    }
    FBuffer.remove(0, at);
    return true;
}
