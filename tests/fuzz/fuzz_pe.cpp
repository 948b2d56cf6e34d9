// Arbitrary bytes as a whole program file (or compiled .res) and as version
// information, both through the code the file functions use; string table
// lookups on the same bytes. The reader finds a resource or
// none without reading out of bounds; whatever it finds lies in the file
// and fits the version tree's 16-bit length; every query answers within the
// bytes it was given.
#include "VersionInfo.h"

#include <QStringList>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

void Violated(const char *what)
{
    std::fprintf(stderr, "property violated: %s\n", what);
    std::abort();
}

const QStringList &Queries()
{
    static const QStringList queries = {
        QStringLiteral("\\"),
        QStringLiteral("\\\\VarFileInfo\\\\Translation"),
        QStringLiteral("\\\\StringFileInfo\\\\040904E4\\CompanyName"),
        QStringLiteral("\\StringFileInfo\\040904E4\\OriginalFileName"),
        QStringLiteral("\\StringFileInfo\\0C0A04B0\\LegalCopyright"),
        QStringLiteral("\\StringFileInfo"),
    };
    return queries;
}

void Query(const QByteArray &data)
{
    for (const QString &path : Queries()) {
        TVerValue value;
        if (!VerQueryValue(data, path, value))
            continue;
        if (value.Bytes.size() > data.size())
            Violated("a value is longer than the data");
        if (value.Text.size() * 2 > value.Bytes.size())
            Violated("a text is longer than its value");
        if (!value.IsText && !value.Text.isEmpty())
            Violated("a binary value has a text");
        const bool root = path == QStringLiteral("\\");
        if (root != value.Fixed.has_value())
            Violated("the fixed record comes with another path or not with the root");
        if (root && value.Fixed->Signature != TFixedFileInfo::SignatureValue)
            Violated("a fixed record without its signature");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray image(reinterpret_cast<const char *>(data), qsizetype(size));
    QByteArray resource;
    if (ReadVersionResource(image, resource)) {
        if (resource.size() < 6 || resource.size() > 0xFFFF)
            Violated("a resource of impossible length");
        if (!image.contains(resource))
            Violated("a resource that is not in the file");
        Query(resource);
    }
    Query(image);
    // Ids at block starts and ends, the first block and the last possible.
    for (uint32_t id : {0u, 15u, 16u, 1000u, 1015u, 0xFFEFu, 0xFFFFu}) {
        const std::optional<QString> text = LoadStringFromImage(image, id);
        if (text && text->size() * 2 > image.size())
            Violated("a string longer than the file");
    }
    return 0;
}
