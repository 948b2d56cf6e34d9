#include "ShareMem.h"

#include "CodePage.h"
#include "SharedMemory.h"

#include <cstring>

TSharedMemory::TSharedMemory(const QString &name, int32_t size) : Size(size)
{
    int fd = -1;
    QString reason;
    if (OpenSharedMemory(name, size, fd, &reason) != 0)
        throw ESharedMemoryError(QStringLiteral("Error de comparticion de memoria"), reason);
    Handle = fd + 1;
    if (const int error = MapSharedMemory(fd, size, Memory)) {
        CloseSharedMemory(fd);
        Handle = 0;
        throw ESharedMemoryError(QStringLiteral("Error al mapear memoria"),
                                 QString::fromLocal8Bit(std::strerror(error)));
    }
}

TSharedMemory::~TSharedMemory()
{
    try {
        Close();
    } catch (const ESharedMemoryError &) {
    }
}

void TSharedMemory::Close()
{
    if (Memory) {
        const int error = UnmapSharedMemory(Memory, Size);
        if (error != 0)
            throw ESharedMemoryError(QStringLiteral("Error de Fichero de memoria"),
                                     QString::fromLocal8Bit(std::strerror(error)));
        Memory = nullptr;
    }
    if (Handle) {
        const int fd = Handle - 1;
        Handle = 0; // a failed close leaves nothing to close again
        if (const int error = CloseSharedMemory(fd))
            throw ESharedMemoryError(QStringLiteral("Error al cerrar fichero de memoria"),
                                     QString::fromLocal8Bit(std::strerror(error)));
    }
}

TSHmemcom::TSHmemcom()
    : FMemFile(std::make_unique<TSharedMemory>(BlockName(), BlockSize)), FPosBueno(std::make_unique<QString>())
{
}

TSHmemcom::~TSHmemcom() = default;

void TSHmemcom::Write(const QString &S)
{
    *FPosBueno = S;
    const QByteArray bytes = EncodeText(*FPosBueno, BlockSize - 1);
    char *block = static_cast<char *>(FMemFile->Memory);
    std::memcpy(block, bytes.constData(), size_t(bytes.size()));
    block[bytes.size()] = '\0';
}

void TSHmemcom::Close()
{
    FPosBueno.reset();
    if (FMemFile)
        FMemFile->Close();
    FMemFile.reset();
}
