#include "FileReader.h"

#include <QFile>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

TFileReader::~TFileReader()
{
    Close();
}

bool TFileReader::Open(const QString &fileName)
{
    Close();
    if (fileName.isEmpty())
        return false;
    const QByteArray path = QFile::encodeName(fileName);
    int handle;
    do
        handle = ::open(path.constData(), O_RDONLY | O_CLOEXEC);
    while (handle < 0 && errno == EINTR);
    if (handle < 0)
        return false;
    struct stat info;
    if (::fstat(handle, &info) != 0 || S_ISDIR(info.st_mode)) {
        ::close(handle);
        return false;
    }
    FHandle = handle;
    FRegular = S_ISREG(info.st_mode);
    FSize = FRegular ? int64_t(info.st_size) : 0;
    return true;
}

int64_t TFileReader::Read(char *buffer, int64_t count)
{
    if (FHandle < 0)
        return -1;
    for (;;) {
        const ssize_t got = ::read(FHandle, buffer, size_t(count));
        if (got >= 0)
            return got;
        if (errno != EINTR)
            return -1;
    }
}

void TFileReader::Close()
{
    if (FHandle >= 0) {
        ::close(FHandle);
        FHandle = -1;
    }
    FSize = 0;
    FRegular = false;
}
