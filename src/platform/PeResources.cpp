#include "PeResources.h"

#include "FileReader.h"
#include "SafeFile.h"
#include "VersionTree.h"

#include <QFile>
#include <QFileInfo>
#include <QtEndian>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <set>
#include <unistd.h>
#include <vector>

namespace {

uint16_t U16(const QByteArray &b, uint64_t at)
{
    return qFromLittleEndian<uint16_t>(b.constData() + at);
}

uint32_t U32(const QByteArray &b, uint64_t at)
{
    return qFromLittleEndian<uint32_t>(b.constData() + at);
}

void Put16(QByteArray &b, uint64_t at, uint16_t v)
{
    qToLittleEndian<uint16_t>(v, b.data() + at);
}

void Put32(QByteArray &b, uint64_t at, uint32_t v)
{
    qToLittleEndian<uint32_t>(v, b.data() + at);
}

void Append16(QByteArray &b, uint16_t v)
{
    char bytes[2];
    qToLittleEndian<uint16_t>(v, bytes);
    b.append(bytes, 2);
}

void Append32(QByteArray &b, uint32_t v)
{
    char bytes[4];
    qToLittleEndian<uint32_t>(v, bytes);
    b.append(bytes, 4);
}

void AppendUtf16(QByteArray &b, const QString &text)
{
    for (QChar c : text)
        Append16(b, c.unicode());
}

void PadTo(QByteArray &b, qsizetype alignment)
{
    while (b.size() % alignment != 0)
        b.append('\0');
}

uint64_t AlignUp(uint64_t value, uint64_t alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

QString Hex(uint64_t value)
{
    return QStringLiteral("0x") + QString::number(value, 16).toUpper();
}

[[noreturn]] void Refuse(const QString &why)
{
    throw EPeFileError(why);
}

// ---- The version tree ----

using VersionTree::Align4;
using VersionTree::TextType;
constexpr qsizetype FixedSize = 13 * 4;

// A node with its key read out: the writer compares and copies keys.
struct TNode : VersionTree::TNode {
    QString Key;
};

bool ReadNode(const QByteArray &tree, qsizetype start, qsizetype limit, TNode &node)
{
    if (!VersionTree::ReadNode(tree, start, limit, node))
        return false;
    node.Key = VersionTree::Utf16At(tree, node.KeyStart, node.KeyUnits);
    return true;
}

template <typename F>
void ForEachChild(const QByteArray &tree, const TNode &parent, F &&f)
{
    // Each child is at least a header long, so the walk ends.
    for (qsizetype at = parent.ChildrenStart;;) {
        TNode child;
        if (!ReadNode(tree, at, parent.End, child))
            return;
        f(child);
        at = Align4(child.End);
    }
}

QString TextOf(const QByteArray &tree, const TNode &node)
{
    QString text;
    for (qsizetype i = 0; i + 1 < node.ValueBytes; i += 2) {
        const uint16_t unit = U16(tree, node.ValueStart + i);
        if (unit == 0)
            break;
        text.append(QChar(unit));
    }
    return text;
}

QByteArray NodeBytes(const QString &key, bool isText, const QByteArray &value, uint16_t valueLength,
                     const QList<QByteArray> &children)
{
    QByteArray b;
    Append16(b, 0);
    Append16(b, valueLength);
    Append16(b, isText ? TextType : 0);
    AppendUtf16(b, key);
    Append16(b, 0);
    PadTo(b, 4);
    b.append(value);
    for (const QByteArray &child : children) {
        PadTo(b, 4);
        b.append(child);
    }
    if (b.size() > 0xFFFF)
        Refuse(QStringLiteral("the version information would be larger than 64 KiB"));
    Put16(b, 0, uint16_t(b.size()));
    return b;
}

QByteArray TextValue(const QString &text)
{
    QByteArray b;
    AppendUtf16(b, text);
    Append16(b, 0);
    return b;
}

QByteArray FixedBytes(const TFixedFileInfo &f)
{
    QByteArray b;
    for (uint32_t v : {f.Signature, f.StrucVersion, f.FileVersionMS, f.FileVersionLS, f.ProductVersionMS,
                       f.ProductVersionLS, f.FileFlagsMask, f.FileFlags, f.FileOS, f.FileType, f.FileSubtype,
                       f.FileDateMS, f.FileDateLS})
        Append32(b, v);
    return b;
}

// ---- The PE file ----

constexpr uint32_t HighBit = 0x80000000;
constexpr uint32_t RtVersion = 16;
constexpr uint32_t ResourceEntry = 2;
constexpr uint32_t SecurityEntry = 4;
constexpr uint64_t SectionHeaderSize = 40;
// A bound on the tree: more entries than any real program holds.
constexpr size_t MaxResourceEntries = 1 << 16;

struct TSectionHeader {
    QString Name;
    uint64_t HeaderAt = 0;
    uint32_t VirtualSize = 0, VirtualAddress = 0, RawSize = 0, RawPointer = 0;
    // Bytes of the section that come from the file, as the reader counts them.
    uint32_t Extent() const { return VirtualSize == 0 ? RawSize : std::min(VirtualSize, RawSize); }
    uint64_t MemorySize() const { return std::max(VirtualSize, RawSize); }
};

struct TPeLayout {
    uint64_t CoffAt = 0, OptionalAt = 0, DirectoriesAt = 0, TableAt = 0;
    uint32_t RvaCount = 0, FileAlignment = 0, SectionAlignment = 0, SizeOfHeaders = 0;
    uint16_t Characteristics = 0;
    std::vector<TSectionHeader> Sections;
    uint64_t RawEnd = 0; // where the last section's file data ends

    uint64_t DirectoryAt(uint32_t index) const { return DirectoriesAt + 8 * uint64_t(index); }
};

bool IsPowerOfTwo(uint32_t v)
{
    return v != 0 && (v & (v - 1)) == 0;
}

TPeLayout ReadLayout(const QByteArray &image)
{
    const uint64_t size = uint64_t(image.size());
    if (size < 64 || U16(image, 0) != 0x5A4D)
        Refuse(QStringLiteral("not a Windows program file (no MZ header)"));
    TPeLayout pe;
    const uint64_t peAt = U32(image, 0x3C);
    if (peAt > size || size - peAt < 24 || U32(image, peAt) != 0x00004550)
        Refuse(QStringLiteral("not a Windows program file (no PE header)"));
    pe.CoffAt = peAt + 4;
    const uint32_t sectionCount = U16(image, pe.CoffAt + 2);
    const uint32_t optionalSize = U16(image, pe.CoffAt + 16);
    pe.Characteristics = U16(image, pe.CoffAt + 18);
    pe.OptionalAt = peAt + 24;
    if (size - pe.OptionalAt < optionalSize || optionalSize < 2)
        Refuse(QStringLiteral("the file is cut inside its headers"));
    const uint16_t magic = U16(image, pe.OptionalAt);
    uint64_t countAt;
    if (magic == 0x10B)
        countAt = 92;
    else if (magic == 0x20B)
        countAt = 108;
    else
        Refuse(QStringLiteral("not a PE32 or PE32+ file (optional header magic %1)").arg(Hex(magic)));
    if (optionalSize < countAt + 4)
        Refuse(QStringLiteral("the optional header is too short"));
    pe.RvaCount = U32(image, pe.OptionalAt + countAt);
    pe.DirectoriesAt = pe.OptionalAt + countAt + 4;
    if (pe.RvaCount <= ResourceEntry || (optionalSize - countAt - 4) / 8 < ResourceEntry + 1)
        Refuse(QStringLiteral("the optional header has no entry for resources"));
    pe.RvaCount = std::min<uint32_t>(pe.RvaCount, uint32_t((optionalSize - countAt - 4) / 8));
    pe.SectionAlignment = U32(image, pe.OptionalAt + 32);
    pe.FileAlignment = U32(image, pe.OptionalAt + 36);
    pe.SizeOfHeaders = U32(image, pe.OptionalAt + 60);
    if (!IsPowerOfTwo(pe.SectionAlignment) || !IsPowerOfTwo(pe.FileAlignment)
        || pe.FileAlignment > (1u << 16) || pe.SectionAlignment > (1u << 28))
        Refuse(QStringLiteral("the file's section or file alignment is invalid"));

    pe.TableAt = pe.OptionalAt + optionalSize;
    if (sectionCount == 0)
        Refuse(QStringLiteral("the file has no sections"));
    if (size - pe.TableAt < sectionCount * SectionHeaderSize)
        Refuse(QStringLiteral("the file is cut inside its section table"));
    pe.RawEnd = std::min<uint64_t>(pe.SizeOfHeaders, size);
    pe.RawEnd = std::max(pe.RawEnd, pe.TableAt + sectionCount * SectionHeaderSize);
    for (uint32_t i = 0; i < sectionCount; ++i) {
        TSectionHeader s;
        s.HeaderAt = pe.TableAt + i * SectionHeaderSize;
        const QByteArray name = image.mid(qsizetype(s.HeaderAt), 8);
        s.Name = QString::fromLatin1(name.left(name.indexOf('\0') < 0 ? 8 : name.indexOf('\0')));
        s.VirtualSize = U32(image, s.HeaderAt + 8);
        s.VirtualAddress = U32(image, s.HeaderAt + 12);
        s.RawSize = U32(image, s.HeaderAt + 16);
        s.RawPointer = U32(image, s.HeaderAt + 20);
        if (s.RawSize > 0) {
            const uint64_t end = uint64_t(s.RawPointer) + s.RawSize;
            if (end > size)
                Refuse(QStringLiteral("the file is cut: section %1 needs bytes up to %2, the file has %3")
                           .arg(s.Name)
                           .arg(end)
                           .arg(size));
            pe.RawEnd = std::max(pe.RawEnd, end);
        }
        if (uint64_t(s.VirtualAddress) + s.MemorySize() > 0xFFFFFFFFu)
            Refuse(QStringLiteral("section %1 lies past 4 GiB").arg(s.Name));
        pe.Sections.push_back(s);
    }
    // Sections follow each other in memory in table order, and none shares
    // file bytes with another.
    for (size_t i = 1; i < pe.Sections.size(); ++i) {
        const TSectionHeader &a = pe.Sections[i - 1], &b = pe.Sections[i];
        if (uint64_t(a.VirtualAddress) + a.MemorySize() > b.VirtualAddress)
            Refuse(QStringLiteral("sections %1 and %2 overlap in memory").arg(a.Name, b.Name));
    }
    std::vector<const TSectionHeader *> byFile;
    for (const TSectionHeader &s : pe.Sections)
        if (s.RawSize > 0)
            byFile.push_back(&s);
    std::sort(byFile.begin(), byFile.end(),
              [](const TSectionHeader *a, const TSectionHeader *b) { return a->RawPointer < b->RawPointer; });
    for (size_t i = 1; i < byFile.size(); ++i)
        if (uint64_t(byFile[i - 1]->RawPointer) + byFile[i - 1]->RawSize > byFile[i]->RawPointer)
            Refuse(QStringLiteral("sections %1 and %2 overlap in the file").arg(byFile[i - 1]->Name, byFile[i]->Name));
    if (!byFile.empty() && byFile.front()->RawPointer < pe.TableAt + sectionCount * SectionHeaderSize)
        Refuse(QStringLiteral("section %1 overlaps the headers").arg(byFile.front()->Name));
    return pe;
}

// ---- The resource tree ----

struct TResDir;

struct TResEntry {
    bool Named = false;
    uint32_t Id = 0;
    QString Name;
    std::unique_ptr<TResDir> Dir; // else a leaf:
    QByteArray Data;
    uint32_t CodePage = 0, Reserved = 0;
};

struct TResDir {
    uint32_t Characteristics = 0, TimeDateStamp = 0;
    uint16_t Major = 0, Minor = 0;
    std::vector<TResEntry> Entries;
};

class TTreeReader {
public:
    TTreeReader(const QByteArray &image, const TPeLayout &pe, uint32_t rootRva)
        : FImage(image), FPe(pe), FRoot(rootRva)
    {
    }

    std::unique_ptr<TResDir> Read() { return ReadDir(0, 0); }

private:
    // The file offset of count bytes at rva, all in one section's file data.
    uint64_t Map(uint64_t rva, uint64_t count, const char *what) const
    {
        for (const TSectionHeader &s : FPe.Sections) {
            if (rva < s.VirtualAddress || s.RawSize == 0)
                continue;
            const uint64_t into = rva - s.VirtualAddress;
            if (into > s.Extent() || count > s.Extent() - into)
                continue;
            return uint64_t(s.RawPointer) + into;
        }
        Refuse(QStringLiteral("the resource directory is damaged: %1 at %2 (%3 bytes) lies outside the "
                              "file's sections")
                   .arg(QLatin1String(what), Hex(rva))
                   .arg(count));
    }

    std::unique_ptr<TResDir> ReadDir(uint32_t offset, int level)
    {
        if (!FVisited.insert(offset).second)
            Refuse(QStringLiteral("the resource directory loops: the directory at %1 is reached twice")
                       .arg(Hex(offset)));
        const uint64_t at = Map(uint64_t(FRoot) + offset, 16, "a directory");
        auto dir = std::make_unique<TResDir>();
        dir->Characteristics = U32(FImage, at);
        dir->TimeDateStamp = U32(FImage, at + 4);
        dir->Major = U16(FImage, at + 8);
        dir->Minor = U16(FImage, at + 10);
        const uint32_t count = uint32_t(U16(FImage, at + 12)) + U16(FImage, at + 14);
        FEntries += count;
        if (FEntries > MaxResourceEntries)
            Refuse(QStringLiteral("the resource directory has more than %1 entries").arg(MaxResourceEntries));
        const uint64_t entriesAt = Map(uint64_t(FRoot) + offset + 16, uint64_t(count) * 8, "a directory's entries");
        dir->Entries.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            TResEntry &e = dir->Entries[i];
            const uint32_t name = U32(FImage, entriesAt + 8 * i);
            const uint32_t target = U32(FImage, entriesAt + 8 * i + 4);
            e.Named = (name & HighBit) != 0;
            if (e.Named) {
                const uint64_t nameRva = uint64_t(FRoot) + (name & ~HighBit);
                const uint64_t lengthAt = Map(nameRva, 2, "a name");
                const uint32_t units = U16(FImage, lengthAt);
                const uint64_t textAt = Map(nameRva + 2, uint64_t(units) * 2, "a name");
                for (uint32_t u = 0; u < units; ++u)
                    e.Name.append(QChar(U16(FImage, textAt + 2 * u)));
            } else {
                e.Id = name;
            }
            const bool isDir = (target & HighBit) != 0;
            if (isDir != (level < 2))
                Refuse(QStringLiteral("the resource directory is not three levels deep (type, name, language)"));
            if (isDir) {
                e.Dir = ReadDir(target & ~HighBit, level + 1);
            } else {
                const uint64_t entryAt = Map(uint64_t(FRoot) + target, 16, "a data entry");
                const uint32_t dataRva = U32(FImage, entryAt);
                const uint32_t dataSize = U32(FImage, entryAt + 4);
                e.CodePage = U32(FImage, entryAt + 8);
                e.Reserved = U32(FImage, entryAt + 12);
                FDataBytes += dataSize;
                // Data shared by many entries must not multiply the copy.
                if (FDataBytes > uint64_t(FImage.size()) + (uint64_t(64) << 20))
                    Refuse(QStringLiteral("the resource directory names more data than the file holds"));
                const uint64_t dataAt = dataSize == 0 ? 0 : Map(dataRva, dataSize, "a resource's data");
                e.Data = FImage.mid(qsizetype(dataAt), qsizetype(dataSize));
            }
        }
        return dir;
    }

    const QByteArray &FImage;
    const TPeLayout &FPe;
    uint32_t FRoot;
    std::set<uint32_t> FVisited;
    size_t FEntries = 0;
    uint64_t FDataBytes = 0;
};

// The tree as a resource section starting at baseRva: the directories
// breadth first, the data entries, the names, then each resource's data
// on an 8-byte boundary.
QByteArray TreeBytes(const TResDir &root, uint32_t baseRva)
{
    std::vector<const TResDir *> dirs{&root};
    for (size_t i = 0; i < dirs.size(); ++i)
        for (const TResEntry &e : dirs[i]->Entries)
            if (e.Dir)
                dirs.push_back(e.Dir.get());
    std::vector<uint32_t> dirAt;
    uint64_t at = 0;
    for (const TResDir *d : dirs) {
        dirAt.push_back(uint32_t(at));
        at += 16 + 8 * d->Entries.size();
    }
    std::vector<const TResEntry *> leaves, named;
    for (const TResDir *d : dirs)
        for (const TResEntry &e : d->Entries) {
            if (!e.Dir)
                leaves.push_back(&e);
            if (e.Named)
                named.push_back(&e);
        }
    const uint64_t entriesAt = at;
    at += 16 * leaves.size();
    std::vector<uint32_t> nameAt;
    for (const TResEntry *e : named) {
        nameAt.push_back(uint32_t(at));
        at += 2 + 2 * uint64_t(e->Name.size());
    }
    at = AlignUp(at, 8);
    std::vector<uint32_t> dataAt;
    for (const TResEntry *e : leaves) {
        dataAt.push_back(uint32_t(at));
        at = AlignUp(at + uint64_t(e->Data.size()), 8);
    }
    if (uint64_t(baseRva) + at > 0xFFFFFFFFu)
        Refuse(QStringLiteral("the resources would lie past 4 GiB"));

    std::map<const void *, uint32_t> placeOf; // each directory's offset
    for (size_t i = 0; i < dirs.size(); ++i)
        placeOf[dirs[i]] = dirAt[i];
    std::map<const TResEntry *, uint32_t> nameOf, entryOf;
    for (size_t i = 0; i < named.size(); ++i)
        nameOf[named[i]] = nameAt[i];
    for (size_t i = 0; i < leaves.size(); ++i)
        entryOf[leaves[i]] = uint32_t(entriesAt + 16 * i);

    QByteArray b(qsizetype(at), '\0');
    for (size_t d = 0; d < dirs.size(); ++d) {
        const TResDir *dir = dirs[d];
        uint64_t p = dirAt[d];
        Put32(b, p, dir->Characteristics);
        Put32(b, p + 4, dir->TimeDateStamp);
        Put16(b, p + 8, dir->Major);
        Put16(b, p + 10, dir->Minor);
        const auto namedCount = std::count_if(dir->Entries.begin(), dir->Entries.end(),
                                              [](const TResEntry &e) { return e.Named; });
        Put16(b, p + 12, uint16_t(namedCount));
        Put16(b, p + 14, uint16_t(dir->Entries.size() - size_t(namedCount)));
        p += 16;
        for (const TResEntry &e : dir->Entries) {
            uint32_t nameField = e.Id;
            if (e.Named)
                nameField = HighBit | nameOf[&e];
            const uint32_t target = e.Dir ? HighBit | placeOf[e.Dir.get()] : entryOf[&e];
            Put32(b, p, nameField);
            Put32(b, p + 4, target);
            p += 8;
        }
    }
    for (size_t i = 0; i < leaves.size(); ++i) {
        const uint64_t p = entriesAt + 16 * i;
        Put32(b, p, baseRva + dataAt[i]);
        Put32(b, p + 4, uint32_t(leaves[i]->Data.size()));
        Put32(b, p + 8, leaves[i]->CodePage);
        Put32(b, p + 12, leaves[i]->Reserved);
        std::copy(leaves[i]->Data.begin(), leaves[i]->Data.end(), b.begin() + qsizetype(dataAt[i]));
    }
    for (size_t i = 0; i < named.size(); ++i) {
        uint64_t p = nameAt[i];
        Put16(b, p, uint16_t(named[i]->Name.size()));
        for (QChar c : named[i]->Name) {
            p += 2;
            Put16(b, p, c.unicode());
        }
    }
    return b;
}

// The sum of 16-bit words with end-around carry, the field itself counted
// as 0, plus the length. Summed 32 bits at a time into 64: folding at the
// end gives the same one's-complement sum.
uint32_t PeChecksum(const QByteArray &image, uint64_t checksumAt)
{
    const auto *bytes = reinterpret_cast<const uchar *>(image.constData());
    const uint64_t size = uint64_t(image.size());
    uint64_t sum = 0;
    uint64_t i = 0;
    for (; i + 4 <= size; i += 4)
        sum += qFromLittleEndian<uint32_t>(bytes + i);
    for (; i < size; i += 2)
        sum += bytes[i] | (i + 1 < size ? uint32_t(bytes[i + 1]) << 8 : 0);
    // Taken out again as 16-bit words, which is the same modulo 0xFFFF
    // wherever the field lies.
    if (checksumAt + 4 <= size)
        sum += 2 * 0xFFFFull - qFromLittleEndian<uint16_t>(bytes + checksumAt)
            - qFromLittleEndian<uint16_t>(bytes + checksumAt + 2);
    while (sum >> 16)
        sum = (sum & 0xFFFF) + (sum >> 16);
    return uint32_t(sum + size);
}

QString BlockKey(uint16_t language, uint16_t codePage)
{
    return QStringLiteral("%1%2")
        .arg(language, 4, 16, QLatin1Char('0'))
        .arg(codePage, 4, 16, QLatin1Char('0'))
        .toUpper();
}

void SetString(TVersionStringBlock &block, const QString &name, const QString &value)
{
    for (auto &s : block.Strings)
        if (s.first.compare(name, Qt::CaseInsensitive) == 0) {
            s = {name, value};
            return;
        }
    block.Strings.append({name, value});
}

// The change applied to the file's record (or to a new one); language is
// set to the language of the block written.
void ApplyChange(TVersionRecord &record, const TVersionChange &change, bool isLibrary, uint16_t &language)
{
    if (!record.Fixed) {
        TFixedFileInfo f;
        f.Signature = TFixedFileInfo::SignatureValue;
        f.StrucVersion = 0x10000;
        f.FileFlagsMask = 0x3F;
        f.FileOS = 0x40004;            // VOS_NT_WINDOWS32
        f.FileType = isLibrary ? 2 : 1; // VFT_DLL, VFT_APP
        record.Fixed = f;
    }
    TFixedFileInfo &fixed = *record.Fixed;
    const auto version = [](const QString &text, uint32_t &ms, uint32_t &ls) {
        if (!ParseFileVersion(text, ms, ls))
            Refuse(QStringLiteral("%1 is no version (up to four numbers of 0 to 65535, as 1.2.3.4)").arg(text));
    };
    if (change.FileVersion)
        version(*change.FileVersion, fixed.FileVersionMS, fixed.FileVersionLS);
    if (change.ProductVersion)
        version(*change.ProductVersion, fixed.ProductVersionMS, fixed.ProductVersionLS);
    if (change.FileOS)
        fixed.FileOS = *change.FileOS;
    if (change.FileType)
        fixed.FileType = *change.FileType;
    if (change.FileFlags)
        fixed.FileFlags = *change.FileFlags;
    if (change.FileFlagsMask)
        fixed.FileFlagsMask = *change.FileFlagsMask;

    uint16_t lang = 0x0409, codePage = 1200;
    if (!record.Blocks.isEmpty())
        record.Blocks.first().LanguageAndCodePage(lang, codePage);
    else if (!record.Translations.isEmpty())
        std::tie(lang, codePage) = std::pair(record.Translations.first().first, record.Translations.first().second);
    lang = change.Language.value_or(lang);
    codePage = change.CodePage.value_or(codePage);
    const QString key = BlockKey(lang, codePage);
    TVersionStringBlock *block = nullptr;
    for (TVersionStringBlock &b : record.Blocks)
        if (b.Key.compare(key, Qt::CaseInsensitive) == 0)
            block = &b;
    if (!block) {
        record.Blocks.append({key, {}});
        block = &record.Blocks.last();
    }
    if (!record.Translations.contains(QPair<uint16_t, uint16_t>(lang, codePage)))
        record.Translations.append({lang, codePage});
    if (change.FileVersion)
        SetString(*block, QStringLiteral("FileVersion"), *change.FileVersion);
    if (change.ProductVersion)
        SetString(*block, QStringLiteral("ProductVersion"), *change.ProductVersion);
    for (const auto &s : change.Strings)
        SetString(*block, s.first, s.second);
    language = lang;
}

// A temporary file beside target, renamed over it once whole: the old file
// stays as it was until then. Not synced to disk first: a built file is
// made again by the next build, and a sync per file would cost more than
// all the rest of the work.
void WriteBuiltFile(const QString &target, const QByteArray &bytes, QFile::Permissions permissions)
{
    const QFileInfo info(target);
    // The rename would replace a file its owner made read-only.
    if (info.exists() && !info.isWritable())
        throw EInOutError(QStringLiteral("Cannot write %1: the file is read-only").arg(target));
    QByteArray pattern =
        QFile::encodeName(info.absolutePath() + QStringLiteral("/.") + info.fileName() + QStringLiteral("-XXXXXX"));
    const int handle = ::mkstemp(pattern.data());
    const auto fail = [&](int error) {
        throw EInOutError(QStringLiteral("Cannot write %1: %2").arg(target, QString::fromLocal8Bit(std::strerror(error))));
    };
    if (handle < 0)
        fail(errno);
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t wrote = ::write(handle, bytes.constData() + done, size_t(bytes.size() - done));
        if (wrote < 0 && errno == EINTR)
            continue;
        if (wrote <= 0) {
            const int error = wrote < 0 ? errno : ENOSPC;
            ::close(handle);
            ::unlink(pattern.constData());
            fail(error);
        }
        done += wrote;
    }
    if (::close(handle) != 0) {
        const int error = errno;
        ::unlink(pattern.constData());
        fail(error);
    }
    QFile::setPermissions(QFile::decodeName(pattern), permissions);
    if (::rename(pattern.constData(), QFile::encodeName(target).constData()) != 0) {
        const int error = errno;
        ::unlink(pattern.constData());
        fail(error);
    }
}

} // namespace

bool TVersionStringBlock::LanguageAndCodePage(uint16_t &language, uint16_t &codePage) const
{
    if (Key.size() != 8)
        return false;
    bool okLanguage = false, okCodePage = false;
    const uint16_t l = Key.left(4).toUShort(&okLanguage, 16);
    const uint16_t c = Key.mid(4).toUShort(&okCodePage, 16);
    if (!okLanguage || !okCodePage)
        return false;
    language = l;
    codePage = c;
    return true;
}

bool ParseVersionRecord(const QByteArray &data, TVersionRecord &record)
{
    record = TVersionRecord();
    TNode root;
    if (!ReadNode(data, 0, data.size(), root))
        return false;
    if (root.ValueBytes >= FixedSize && U32(data, root.ValueStart) == TFixedFileInfo::SignatureValue) {
        TFixedFileInfo f;
        uint32_t *fields[] = {&f.Signature,     &f.StrucVersion,    &f.FileVersionMS,    &f.FileVersionLS,
                              &f.ProductVersionMS, &f.ProductVersionLS, &f.FileFlagsMask, &f.FileFlags,
                              &f.FileOS,        &f.FileType,        &f.FileSubtype,      &f.FileDateMS,
                              &f.FileDateLS};
        for (int i = 0; i < 13; ++i)
            *fields[i] = U32(data, root.ValueStart + 4 * i);
        record.Fixed = f;
    }
    ForEachChild(data, root, [&](const TNode &child) {
        if (child.Key.compare(QLatin1String("StringFileInfo"), Qt::CaseInsensitive) == 0) {
            ForEachChild(data, child, [&](const TNode &table) {
                TVersionStringBlock block{table.Key, {}};
                ForEachChild(data, table, [&](const TNode &s) { block.Strings.append({s.Key, TextOf(data, s)}); });
                record.Blocks.append(block);
            });
        } else if (child.Key.compare(QLatin1String("VarFileInfo"), Qt::CaseInsensitive) == 0) {
            ForEachChild(data, child, [&](const TNode &var) {
                if (var.Key.compare(QLatin1String("Translation"), Qt::CaseInsensitive) != 0)
                    return;
                for (qsizetype i = 0; i + 3 < var.ValueBytes; i += 4)
                    record.Translations.append(
                        {U16(data, var.ValueStart + i), U16(data, var.ValueStart + i + 2)});
            });
        }
    });
    return true;
}

QByteArray VersionRecordBytes(const TVersionRecord &record)
{
    QList<QByteArray> children;
    if (!record.Blocks.isEmpty()) {
        QList<QByteArray> tables;
        for (const TVersionStringBlock &block : record.Blocks) {
            QList<QByteArray> strings;
            for (const auto &s : block.Strings)
                strings.append(NodeBytes(s.first, true, TextValue(s.second), uint16_t(s.second.size() + 1), {}));
            tables.append(NodeBytes(block.Key, true, {}, 0, strings));
        }
        children.append(NodeBytes(QStringLiteral("StringFileInfo"), true, {}, 0, tables));
    }
    if (!record.Translations.isEmpty()) {
        QByteArray pairs;
        for (const auto &t : record.Translations) {
            Append16(pairs, t.first);
            Append16(pairs, t.second);
        }
        if (pairs.size() > 0xFFFF)
            Refuse(QStringLiteral("the version information would be larger than 64 KiB"));
        const QByteArray var = NodeBytes(QStringLiteral("Translation"), false, pairs, uint16_t(pairs.size()), {});
        children.append(NodeBytes(QStringLiteral("VarFileInfo"), true, {}, 0, {var}));
    }
    const QByteArray fixed = record.Fixed ? FixedBytes(*record.Fixed) : QByteArray();
    return NodeBytes(QStringLiteral("VS_VERSION_INFO"), false, fixed, uint16_t(fixed.size()), children);
}

bool ParseFileVersion(const QString &text, uint32_t &ms, uint32_t &ls)
{
    QString plain = text;
    plain.remove(QLatin1Char(' '));
    plain.replace(QLatin1Char(','), QLatin1Char('.'));
    const QStringList parts = plain.split(QLatin1Char('.'));
    if (plain.isEmpty() || parts.size() > 4)
        return false;
    uint32_t n[4] = {0, 0, 0, 0};
    for (int i = 0; i < parts.size(); ++i) {
        bool ok = false;
        const uint v = parts[i].toUInt(&ok, 10);
        if (!ok || v > 0xFFFF || parts[i].startsWith(QLatin1Char('+')))
            return false;
        n[i] = v;
    }
    ms = n[0] << 16 | n[1];
    ls = n[2] << 16 | n[3];
    return true;
}

QString FileVersionText(uint32_t ms, uint32_t ls)
{
    return QStringLiteral("%1.%2.%3.%4").arg(ms >> 16).arg(ms & 0xFFFF).arg(ls >> 16).arg(ls & 0xFFFF);
}

QByteArray SetVersionInImage(QByteArray image, const TVersionChange &change, TVersionWriteReport *report)
{
    const TPeLayout pe = ReadLayout(image);
    TVersionWriteReport done;

    uint32_t rootRva = U32(image, pe.DirectoryAt(ResourceEntry));
    const uint32_t rootSize = U32(image, pe.DirectoryAt(ResourceEntry) + 4);
    if (rootSize == 0)
        rootRva = 0;
    std::unique_ptr<TResDir> root =
        rootRva == 0 ? std::make_unique<TResDir>() : TTreeReader(image, pe, rootRva).Read();

    // The leaf the reader finds: type 16, its first name, that one's first
    // language; made when missing.
    TResEntry *leaf = nullptr;
    auto type = std::find_if(root->Entries.begin(), root->Entries.end(),
                             [](const TResEntry &e) { return !e.Named && e.Id == RtVersion; });
    TVersionRecord record;
    if (type != root->Entries.end() && !type->Dir->Entries.empty() && !type->Dir->Entries.front().Dir->Entries.empty()) {
        leaf = &type->Dir->Entries.front().Dir->Entries.front();
        if (!ParseVersionRecord(leaf->Data, record))
            record = TVersionRecord();
    }
    uint16_t language = 0;
    ApplyChange(record, change, (pe.Characteristics & 0x2000) != 0, language);
    const QByteArray versionBytes = VersionRecordBytes(record);
    if (leaf) {
        leaf->Data = versionBytes;
    } else {
        if (type == root->Entries.end()) {
            // Named entries first, then ids in ascending order.
            auto at = std::find_if(root->Entries.begin(), root->Entries.end(),
                                   [](const TResEntry &e) { return !e.Named && e.Id > RtVersion; });
            type = root->Entries.insert(at, TResEntry());
            type->Id = RtVersion;
            type->Dir = std::make_unique<TResDir>();
        }
        TResDir &names = *type->Dir;
        if (names.Entries.empty()) {
            names.Entries.emplace_back();
            names.Entries.back().Id = 1;
            names.Entries.back().Dir = std::make_unique<TResDir>();
        }
        TResDir &languages = *names.Entries.front().Dir;
        languages.Entries.emplace_back();
        languages.Entries.back().Id = language;
        languages.Entries.back().Data = versionBytes;
    }

    // The signature covers the whole file: it cannot stay valid.
    uint64_t fileEnd = uint64_t(image.size());
    bool dropSignature = false;
    uint32_t certAt = 0, certSize = 0;
    if (pe.RvaCount > SecurityEntry) {
        certAt = U32(image, pe.DirectoryAt(SecurityEntry));
        certSize = U32(image, pe.DirectoryAt(SecurityEntry) + 4);
        if (certSize != 0) {
            if (!change.RemoveSignature)
                Refuse(QStringLiteral("the file is signed, and writing into it breaks the signature; give "
                                      "--remove-signature to write it unsigned"));
            dropSignature = true;
            // The certificates sit at the end of the file, outside every section.
            if (certAt >= pe.RawEnd && uint64_t(certAt) + certSize <= fileEnd
                && fileEnd - (uint64_t(certAt) + certSize) < 8)
                fileEnd = certAt;
        }
    }
    // What follows the sections (debug data, an installer's payload), moved behind the new end.
    const QByteArrayView overlay(image.constData() + pe.RawEnd, qsizetype(fileEnd - pe.RawEnd));

    // In place when the resources start the section that is last in memory
    // and in the file; else a new section after all others.
    const TSectionHeader *home = nullptr;
    for (const TSectionHeader &s : pe.Sections)
        if (rootRva != 0 && s.VirtualAddress == rootRva && s.RawSize > 0)
            home = &s;
    const TSectionHeader &last = pe.Sections.back();
    const bool inPlace = home == &last && uint64_t(last.RawPointer) + last.RawSize == pe.RawEnd;

    uint32_t va, rawPointer, oldRaw = 0;
    uint64_t headerAt;
    if (inPlace) {
        va = last.VirtualAddress;
        rawPointer = last.RawPointer;
        oldRaw = last.RawSize;
        headerAt = last.HeaderAt;
    } else {
        headerAt = pe.TableAt + pe.Sections.size() * SectionHeaderSize;
        uint64_t firstData = pe.RawEnd;
        for (const TSectionHeader &s : pe.Sections)
            if (s.RawSize > 0)
                firstData = std::min<uint64_t>(firstData, s.RawPointer);
        const bool free = headerAt + SectionHeaderSize <= std::min<uint64_t>(pe.SizeOfHeaders, firstData)
            && image.mid(qsizetype(headerAt), SectionHeaderSize).count('\0') == SectionHeaderSize;
        if (!free)
            Refuse(QStringLiteral("the resource section is not the last one and the headers have no room "
                                  "for another section"));
        if (pe.Sections.size() >= 0xFFFF)
            Refuse(QStringLiteral("the file has too many sections"));
        uint64_t end = U32(image, pe.OptionalAt + 56);
        for (const TSectionHeader &s : pe.Sections)
            end = std::max(end, uint64_t(s.VirtualAddress) + s.MemorySize());
        const uint64_t newVa = AlignUp(end, pe.SectionAlignment);
        const uint64_t newRaw = AlignUp(pe.RawEnd, pe.FileAlignment);
        if (newVa > 0xFFFFFFFFu || newRaw > 0xFFFFFFFFu)
            Refuse(QStringLiteral("the file has no room for another section below 4 GiB"));
        va = uint32_t(newVa);
        rawPointer = uint32_t(newRaw);
    }
    const QByteArray tree = TreeBytes(*root, va);
    const uint64_t rawSize = AlignUp(uint64_t(tree.size()), pe.FileAlignment);
    // The reader measures a section by the larger of its two sizes; a file
    // alignment above the section alignment makes the raw one the larger.
    const uint64_t memorySize = std::max(AlignUp(uint64_t(tree.size()), pe.SectionAlignment), rawSize);
    if (uint64_t(va) + memorySize > 0xFFFFFFFFu
        || uint64_t(rawPointer) + rawSize + uint64_t(overlay.size()) > uint64_t(MaxPeFileSize))
        Refuse(QStringLiteral("the resources would make the file too large"));

    // The new file in the old one's bytes: what precedes the section stays
    // where it is, what follows the sections moves behind the new section.
    const qsizetype kept = qsizetype(inPlace ? rawPointer : pe.RawEnd);
    const qsizetype overlayTo = qsizetype(rawPointer + rawSize);
    const qsizetype overlaySize = overlay.size();
    const int64_t moved = int64_t(overlayTo) - int64_t(pe.RawEnd);
    QByteArray out = std::move(image);
    if (overlayTo + overlaySize > out.size())
        out.resize(overlayTo + overlaySize);
    char *bytes = out.data();
    // The overlay first: the new section may cover where it was.
    std::memmove(bytes + overlayTo, bytes + pe.RawEnd, size_t(overlaySize));
    std::memset(bytes + kept, 0, size_t(qsizetype(rawPointer) - kept));
    std::memcpy(bytes + rawPointer, tree.constData(), size_t(tree.size()));
    std::memset(bytes + rawPointer + tree.size(), 0, size_t(qsizetype(rawSize) - tree.size()));
    out.resize(overlayTo + overlaySize);

    if (!inPlace)
        Put16(out, pe.CoffAt + 2, uint16_t(pe.Sections.size() + 1));
    QByteArray name(8, '\0');
    if (!inPlace) {
        name.replace(0, 5, ".rsrc");
        out.replace(qsizetype(headerAt), 8, name);
        Put32(out, headerAt + 24, 0);
        Put32(out, headerAt + 28, 0);
        Put32(out, headerAt + 32, 0);
        Put32(out, headerAt + 36, 0x40000040); // initialised data, readable
    }
    Put32(out, headerAt + 8, uint32_t(tree.size()));
    Put32(out, headerAt + 12, va);
    Put32(out, headerAt + 16, uint32_t(rawSize));
    Put32(out, headerAt + 20, rawPointer);
    Put32(out, pe.OptionalAt + 56, uint32_t(AlignUp(uint64_t(va) + uint64_t(tree.size()), pe.SectionAlignment)));
    Put32(out, pe.OptionalAt + 8, U32(out, pe.OptionalAt + 8) + uint32_t(rawSize) - oldRaw);
    Put32(out, pe.DirectoryAt(ResourceEntry), va);
    Put32(out, pe.DirectoryAt(ResourceEntry) + 4, uint32_t(tree.size()));
    // The COFF symbols some linkers leave after the sections moved with them.
    const uint32_t symbols = U32(out, pe.CoffAt + 8);
    if (symbols != 0 && symbols >= pe.RawEnd)
        Put32(out, pe.CoffAt + 8, uint32_t(int64_t(symbols) + moved));
    if (dropSignature) {
        Put32(out, pe.DirectoryAt(SecurityEntry), 0);
        Put32(out, pe.DirectoryAt(SecurityEntry) + 4, 0);
        done.SignatureRemoved = true;
    } else if (certSize != 0) {
        Put32(out, pe.DirectoryAt(SecurityEntry), uint32_t(int64_t(certAt) + moved));
    }
    const uint64_t checksumAt = pe.OptionalAt + 64;
    if (U32(out, checksumAt) != 0)
        Put32(out, checksumAt, PeChecksum(out, checksumAt));

    // Never hand back a file the reader would not read as written.
    QByteArray readBack;
    TVersionRecord check;
    if (!ReadVersionResource(out, readBack) || !ParseVersionRecord(readBack, check) || !check.Fixed
        || check.Fixed->FileVersionMS != record.Fixed->FileVersionMS
        || check.Fixed->FileVersionLS != record.Fixed->FileVersionLS)
        Refuse(QStringLiteral("the version resource cannot be written so that it reads back (the file's "
                              "layout is not understood)"));
    done.InPlace = inPlace;
    if (report)
        *report = done;
    return out;
}

TVersionWriteReport SetVersionInFile(const QString &fileName, const QString &output, const TVersionChange &change)
{
    // Room for a larger resource section, so that it grows where it lies.
    QByteArray image = ReadWholeFile(fileName, MaxPeFileSize, 64 * 1024);
    const qsizetype readSize = image.size();
    TVersionWriteReport report;
    QByteArray changed;
    try {
        changed = SetVersionInImage(std::move(image), change, &report);
    } catch (const EPeFileError &e) {
        throw EPeFileError(QStringLiteral("%1: %2").arg(fileName, e.message()));
    }
    // A file that changed while it was read is not replaced by the part seen.
    if (QFileInfo(fileName).size() != readSize)
        throw EInOutError(QStringLiteral("Cannot read %1: the file changed while it was read").arg(fileName));
    WriteBuiltFile(output.isEmpty() ? fileName : output, changed, QFile::permissions(fileName));
    return report;
}

QString NoVersionReason(const QString &fileName)
{
    const TOpenedFile opened = OpenForReading(fileName);
    if (opened.handle < 0) {
        if (opened.mode == 0)
            return QStringLiteral("%1: cannot open it").arg(fileName);
        return QStringLiteral("%1: not a regular file").arg(fileName);
    }
    QByteArray head(4096, '\0');
    const ssize_t got = ::pread(opened.handle, head.data(), size_t(head.size()), 0);
    ::close(opened.handle);
    head.truncate(got < 0 ? 0 : got);
    if (head.size() < 64 || U16(head, 0) != 0x5A4D)
        return QStringLiteral("%1: not a Windows program file (no MZ header)").arg(fileName);
    const uint32_t peAt = U32(head, 0x3C);
    if (peAt > uint32_t(head.size()) - 4 || U32(head, peAt) != 0x00004550)
        return QStringLiteral("%1: not a Windows program file (no PE header)").arg(fileName);
    return QStringLiteral("%1: no version information").arg(fileName);
}
