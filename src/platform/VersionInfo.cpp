#include "VersionInfo.h"

#include "FileReader.h"
#include "VersionTree.h"

#include <QStringList>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

uint16_t U16(const uchar *at)
{
    return qFromLittleEndian<uint16_t>(at);
}

uint32_t U32(const uchar *at)
{
    return qFromLittleEndian<uint32_t>(at);
}

// The bytes of a file or of a file image in memory. Read gives all count
// bytes at offset or fails; nothing is read past the end.
class TSource {
public:
    explicit TSource(uint64_t size) : FSize(size) {}
    virtual ~TSource() = default;
    bool Holds(uint64_t offset, uint64_t count) const
    {
        return offset <= FSize && count <= FSize - offset;
    }
    bool Read(uint64_t offset, void *into, size_t count) const
    {
        return Holds(offset, count) && Fetch(offset, static_cast<uchar *>(into), count);
    }

private:
    virtual bool Fetch(uint64_t offset, uchar *into, size_t count) const = 0;
    uint64_t FSize;
};

class TFileSource final : public TSource {
public:
    TFileSource(int handle, uint64_t size) : TSource(size), FHandle(handle) {}
    ~TFileSource() override { ::close(FHandle); }
    TFileSource(const TFileSource &) = delete;
    TFileSource &operator=(const TFileSource &) = delete;

private:
    bool Fetch(uint64_t offset, uchar *into, size_t count) const override
    {
        while (count > 0) {
            const ssize_t got = ::pread(FHandle, into, count, off_t(offset));
            if (got < 0 && errno == EINTR)
                continue;
            // A file that shrank since it was opened ends early.
            if (got <= 0)
                return false;
            into += got;
            offset += uint64_t(got);
            count -= size_t(got);
        }
        return true;
    }
    int FHandle;
};

class TMemorySource final : public TSource {
public:
    explicit TMemorySource(const QByteArray &bytes) : TSource(uint64_t(bytes.size())), FBytes(bytes) {}

private:
    bool Fetch(uint64_t offset, uchar *into, size_t count) const override
    {
        std::memcpy(into, FBytes.constData() + offset, count);
        return true;
    }
    const QByteArray &FBytes;
};

// PE layout (offsets into the structures).
constexpr uint16_t DosMagic = 0x5A4D;          // "MZ"
constexpr uint32_t PeMagic = 0x00004550;       // "PE\0\0"
constexpr uint64_t DosNewHeaderAt = 0x3C;      // e_lfanew
constexpr size_t CoffHeaderSize = 24;          // signature and file header
constexpr uint16_t Pe32Magic = 0x10B;
constexpr uint16_t Pe32PlusMagic = 0x20B;
constexpr size_t Pe32RvaCountAt = 92;          // NumberOfRvaAndSizes
constexpr size_t Pe32PlusRvaCountAt = 108;
constexpr uint32_t ResourceDirectory = 2;
constexpr size_t SectionHeaderSize = 40;
constexpr uint32_t RtVersion = 16;
constexpr uint32_t RtString = 6;
constexpr uint32_t HighBit = 0x80000000;
// More is no version resource but a damaged entry.
constexpr uint32_t MaxResourceSize = 1 << 20;
// Entries of the type directory are read this many at a time.
constexpr uint32_t EntryChunk = 64;

struct TSection {
    uint32_t VirtualAddress;
    uint32_t Extent; // bytes of the section that come from the file
    uint32_t PointerToRawData;
};

// A PE file's sections, to turn relative virtual addresses into file offsets.
class TImage {
public:
    explicit TImage(const TSource &source) : FSource(source) {}

    // Reads the headers; false when this is no PE file.
    bool Open(uint32_t &resourceRva);

    // The file offset of count bytes at rva, all in one section's file data.
    bool Map(uint64_t rva, uint64_t count, uint64_t &offset) const
    {
        for (const TSection &s : FSections) {
            if (rva < s.VirtualAddress)
                continue;
            const uint64_t into = rva - s.VirtualAddress;
            if (into > s.Extent || count > s.Extent - into)
                continue;
            offset = uint64_t(s.PointerToRawData) + into;
            return FSource.Holds(offset, count);
        }
        return false;
    }

    bool ReadRva(uint64_t rva, void *into, size_t count) const
    {
        uint64_t offset;
        return Map(rva, count, offset) && FSource.Read(offset, into, count);
    }

private:
    const TSource &FSource;
    std::vector<TSection> FSections;
};

bool TImage::Open(uint32_t &resourceRva)
{
    uchar dos[64];
    if (!FSource.Read(0, dos, sizeof dos) || U16(dos) != DosMagic)
        return false;
    const uint64_t peAt = U32(dos + DosNewHeaderAt);
    uchar coff[CoffHeaderSize];
    if (!FSource.Read(peAt, coff, sizeof coff) || U32(coff) != PeMagic)
        return false;
    const uint32_t sectionCount = U16(coff + 6);
    const uint32_t optionalSize = U16(coff + 20);

    // Only the optional header's start is needed: up to the resource entry.
    uchar optional[Pe32PlusRvaCountAt + 4 + 8 * (ResourceDirectory + 1)];
    const size_t have = std::min<size_t>(optionalSize, sizeof optional);
    if (have < 2 || !FSource.Read(peAt + CoffHeaderSize, optional, have))
        return false;
    size_t countAt;
    switch (U16(optional)) {
    case Pe32Magic:
        countAt = Pe32RvaCountAt;
        break;
    case Pe32PlusMagic:
        countAt = Pe32PlusRvaCountAt;
        break;
    default:
        return false;
    }
    const size_t entryAt = countAt + 4 + 8 * ResourceDirectory;
    if (have < entryAt + 8 || U32(optional + countAt) <= ResourceDirectory)
        return false;
    resourceRva = U32(optional + entryAt);
    if (resourceRva == 0 || U32(optional + entryAt + 4) == 0)
        return false;

    const uint64_t tableAt = peAt + CoffHeaderSize + optionalSize;
    const uint64_t tableSize = uint64_t(sectionCount) * SectionHeaderSize;
    // Checked before the table is taken, so a tiny file cannot make it big.
    if (sectionCount == 0 || !FSource.Holds(tableAt, tableSize))
        return false;
    std::vector<uchar> table(tableSize);
    if (!FSource.Read(tableAt, table.data(), table.size()))
        return false;
    FSections.reserve(sectionCount);
    for (uint32_t i = 0; i < sectionCount; ++i) {
        const uchar *s = table.data() + size_t(i) * SectionHeaderSize;
        const uint32_t virtualSize = U32(s + 8);
        const uint32_t rawSize = U32(s + 16);
        // Bytes past the virtual size are not loaded; some linkers leave
        // the virtual size 0 and mean the raw size.
        const uint32_t extent = virtualSize == 0 ? rawSize : std::min(virtualSize, rawSize);
        FSections.push_back({U32(s + 12), extent, U32(s + 20)});
    }
    return true;
}

// The version resource's place in the file.
struct TSpan {
    uint64_t Offset = 0;
    uint32_t Length = 0;
};

// The data offset of the type directory's entry with id, read in chunks.
bool FindIdEntry(const TImage &image, uint64_t entriesRva, uint32_t named, uint32_t ids,
                 uint32_t id, uint32_t &data)
{
    uchar chunk[EntryChunk * 8];
    for (uint32_t done = 0; done < ids;) {
        const uint32_t count = std::min(EntryChunk, ids - done);
        if (!image.ReadRva(entriesRva + uint64_t(named + done) * 8, chunk, size_t(count) * 8))
            return false;
        for (uint32_t i = 0; i < count; ++i) {
            if (U32(chunk + i * 8) == id) {
                data = U32(chunk + i * 8 + 4);
                return true;
            }
        }
        done += count;
    }
    return false;
}

// A resource's data in the file.
struct TResourceData {
    uint64_t Offset = 0;
    uint32_t Size = 0;
};

// The resource of type whose name is the id nameId (0: the first name or
// id), in its first language: three directory levels and then a data
// entry, never a directory twice. The data must lie whole in the file.
bool FindResourceData(const TSource &source, uint32_t type, uint32_t nameId, uint32_t maxSize,
                      TResourceData &found)
{
    TImage image(source);
    uint32_t rootRva;
    if (!image.Open(rootRva))
        return false;
    uint32_t at = 0; // from the root directory
    uint32_t visited[3];
    for (int level = 0; level < 3; ++level) {
        if (std::find(visited, visited + level, at) != visited + level)
            return false;
        visited[level] = at;
        uchar directory[16];
        const uint64_t directoryRva = uint64_t(rootRva) + at;
        if (!image.ReadRva(directoryRva, directory, sizeof directory))
            return false;
        const uint32_t named = U16(directory + 12);
        const uint32_t ids = U16(directory + 14);
        uint32_t data;
        const uint32_t wanted = level == 0 ? type : level == 1 ? nameId : 0;
        if (wanted != 0) {
            if (!FindIdEntry(image, directoryRva + 16, named, ids, wanted, data))
                return false;
        } else {
            uchar first[8];
            if (named + ids == 0 || !image.ReadRva(directoryRva + 16, first, sizeof first))
                return false;
            data = U32(first + 4);
        }
        const bool isDirectory = (data & HighBit) != 0;
        if (isDirectory != (level < 2))
            return false;
        at = data & ~HighBit;
    }

    uchar entry[16];
    if (!image.ReadRva(uint64_t(rootRva) + at, entry, sizeof entry))
        return false;
    const uint32_t dataRva = U32(entry);
    found.Size = U32(entry + 4);
    return found.Size <= maxSize && image.Map(dataRva, found.Size, found.Offset);
}

// Type RT_VERSION, its first name or id, that one's first language.
bool FindVersionResource(const TSource &source, TSpan &span)
{
    TResourceData data;
    if (!FindResourceData(source, RtVersion, 0, MaxResourceSize, data))
        return false;
    span.Offset = data.Offset;
    // The whole resource must be in the file, though only the tree is read:
    // its root gives its length in 16 bits, so no read passes 64 KiB.
    uchar length[2];
    if (!source.Read(span.Offset, length, sizeof length))
        return false;
    const uint32_t treeLength = U16(length);
    if (treeLength < 6 || treeLength > data.Size)
        return false;
    span.Length = treeLength;
    return true;
}

// Finds the resource and reads at most maxBytes of it.
bool ReadFrom(const TSource &source, uint32_t maxBytes, QByteArray &data)
{
    TSpan span;
    if (!FindVersionResource(source, span))
        return false;
    QByteArray bytes(qsizetype(std::min(maxBytes, span.Length)), Qt::Uninitialized);
    if (!source.Read(span.Offset, bytes.data(), size_t(bytes.size())))
        return false;
    data = bytes;
    return true;
}

// nullptr when the file cannot hold version information.
std::unique_ptr<TFileSource> OpenSource(const QString &fileName)
{
    const TOpenedFile opened = OpenForReading(fileName);
    if (opened.handle < 0)
        return nullptr;
    return std::make_unique<TFileSource>(opened.handle, uint64_t(opened.size));
}

using namespace VersionTree;

bool KeyIs(const QByteArray &tree, const TNode &node, const QString &key)
{
    return node.KeyUnits == key.size()
        && Utf16At(tree, node.KeyStart, node.KeyUnits).compare(key, Qt::CaseInsensitive) == 0;
}

TFixedFileInfo FixedAt(const uchar *at)
{
    TFixedFileInfo info;
    uint32_t *fields[] = {&info.Signature,       &info.StrucVersion,    &info.FileVersionMS,
                          &info.FileVersionLS,   &info.ProductVersionMS, &info.ProductVersionLS,
                          &info.FileFlagsMask,   &info.FileFlags,       &info.FileOS,
                          &info.FileType,        &info.FileSubtype,     &info.FileDateMS,
                          &info.FileDateLS};
    for (uint32_t *field : fields) {
        *field = U32(at);
        at += 4;
    }
    return info;
}

constexpr qsizetype FixedFileInfoSize = 13 * 4;

// A block of 16 strings, each a 16-bit length and that many UTF-16 units:
// 16 of the longest strings at most.
constexpr uint32_t MaxStringBlockSize = 16 * (2 + 2 * 0xFFFF);

// A compiled resource file starts with an empty entry: no data, a 32-byte
// header, type 0 and name 0 as ids.
constexpr uchar ResFileStart[16] = {0, 0, 0, 0, 0x20, 0, 0, 0, 0xFF, 0xFF, 0, 0, 0xFF, 0xFF, 0, 0};
constexpr uint32_t ResEntryHeaderMin = 32;
constexpr uint32_t ResEntryHeaderMax = 64 * 1024;

bool IsResFile(const TSource &source)
{
    uchar start[sizeof ResFileStart];
    return source.Read(0, start, sizeof start)
        && std::memcmp(start, ResFileStart, sizeof start) == 0;
}

// A type or name field of an entry header: 0xFFFF and a 16-bit id, or a
// NUL-ended UTF-16 name (id 0 here). false when it runs past the header.
bool ResField(const std::vector<uchar> &header, size_t &at, uint32_t &id)
{
    if (header.size() < at + 2)
        return false;
    if (U16(header.data() + at) == 0xFFFF) {
        if (header.size() < at + 4)
            return false;
        id = U16(header.data() + at + 2);
        at += 4;
        return true;
    }
    id = 0;
    for (; header.size() >= at + 2; at += 2) {
        if (U16(header.data() + at) == 0) {
            at += 2;
            return true;
        }
    }
    return false;
}

// The entries of a .res file, in order, until type and name match.
bool FindResFileData(const TSource &source, uint32_t type, uint32_t nameId, uint32_t maxSize,
                     TResourceData &found)
{
    for (uint64_t at = 0;;) {
        uchar sizes[8];
        if (!source.Read(at, sizes, sizeof sizes))
            return false;
        const uint32_t dataSize = U32(sizes);
        const uint32_t headerSize = U32(sizes + 4);
        if (headerSize < ResEntryHeaderMin || headerSize > ResEntryHeaderMax)
            return false;
        std::vector<uchar> header(headerSize);
        if (!source.Read(at, header.data(), header.size()))
            return false;
        size_t field = 8;
        uint32_t entryType, entryName;
        if (!ResField(header, field, entryType) || !ResField(header, field, entryName))
            return false;
        const uint64_t dataAt = at + headerSize;
        if (entryType == type && entryName == nameId) {
            found = {dataAt, dataSize};
            return dataSize <= maxSize && source.Holds(dataAt, dataSize);
        }
        // Each entry moves on by its header at least, so the walk ends.
        at = (dataAt + uint64_t(dataSize) + 3) & ~uint64_t(3);
    }
}

} // namespace

uint32_t GetFileVersionInfoSize(const QString &fileName, uint32_t &handle)
{
    handle = 0;
    const auto source = OpenSource(fileName);
    TSpan span;
    if (!source || !FindVersionResource(*source, span))
        return 0;
    return span.Length;
}

bool GetFileVersionInfo(const QString &fileName, uint32_t handle, uint32_t size, QByteArray &data)
{
    const auto source = OpenSource(fileName);
    return source && size > 0 && ReadFrom(*source, size, data);
}

bool ReadVersionResource(const QByteArray &image, QByteArray &data)
{
    return ReadFrom(TMemorySource(image), UINT32_MAX, data);
}

bool VerQueryValue(const QByteArray &data, const QString &subBlock, TVerValue &value)
{
    value = TVerValue();
    TNode node;
    if (!ReadNode(data, 0, data.size(), node))
        return false;
    const QStringList keys = subBlock.split(QLatin1Char('\\'), Qt::SkipEmptyParts);
    for (const QString &key : keys) {
        bool found = false;
        // Each child is at least a header long, so the walk always ends.
        for (qsizetype at = node.ChildrenStart;;) {
            TNode child;
            if (!ReadNode(data, at, node.End, child))
                break;
            if (KeyIs(data, child, key)) {
                node = child;
                found = true;
                break;
            }
            at = Align4(child.End);
        }
        if (!found)
            return false;
    }

    value.Bytes = data.mid(node.ValueStart, node.ValueBytes);
    value.IsText = node.IsText;
    if (node.IsText) {
        qsizetype units = 0;
        const auto *bytes = reinterpret_cast<const uchar *>(data.constData()) + node.ValueStart;
        while (units < node.ValueBytes / 2 && U16(bytes + 2 * units) != 0)
            ++units;
        value.Text = Utf16At(data, node.ValueStart, units);
    }
    if (keys.isEmpty()) {
        if (node.ValueBytes < FixedFileInfoSize) {
            value = TVerValue();
            return false;
        }
        const TFixedFileInfo fixed =
            FixedAt(reinterpret_cast<const uchar *>(data.constData()) + node.ValueStart);
        if (fixed.Signature != TFixedFileInfo::SignatureValue) {
            value = TVerValue();
            return false;
        }
        value.Fixed = fixed;
    }
    return true;
}

namespace {

std::optional<QString> LoadStringFrom(const TSource &source, uint32_t id)
{
    const uint32_t block = (id >> 4) + 1;
    if (block > 0xFFFF)
        return std::nullopt;
    TResourceData data;
    const bool found = IsResFile(source)
        ? FindResFileData(source, RtString, block, MaxStringBlockSize, data)
        : FindResourceData(source, RtString, block, MaxStringBlockSize, data);
    if (!found)
        return std::nullopt;
    uint64_t at = data.Offset;
    const uint64_t end = data.Offset + data.Size;
    for (uint32_t index = 0;; ++index) {
        uchar length[2];
        if (end - at < 2 || !source.Read(at, length, sizeof length))
            return std::nullopt;
        const uint32_t units = U16(length);
        at += 2;
        if (end - at < uint64_t(units) * 2)
            return std::nullopt;
        if (index == (id & 15)) {
            QByteArray bytes(qsizetype(units) * 2, Qt::Uninitialized);
            if (!source.Read(at, bytes.data(), size_t(bytes.size())))
                return std::nullopt;
            return Utf16At(bytes, 0, units);
        }
        at += uint64_t(units) * 2;
    }
}

} // namespace

std::optional<QString> LoadStringResource(const QString &fileName, uint32_t id)
{
    const auto source = OpenSource(fileName);
    if (!source)
        return std::nullopt;
    return LoadStringFrom(*source, id);
}

std::optional<QString> LoadStringFromImage(const QByteArray &image, uint32_t id)
{
    return LoadStringFrom(TMemorySource(image), id);
}
