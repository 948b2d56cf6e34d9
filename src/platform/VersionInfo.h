// Resources of Windows program files (PE32 and PE32+): the version
// resource behind the three version functions the add-in calls, and the
// string table behind LoadString. The reader trusts nothing in
// the file: every offset and size is checked before use, the resource tree
// walk is bounded, and only the headers and the resource's own bytes are
// read. A file that is not a PE file, or whose version resource cannot be
// found whole, has no version information.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

// The fixed record of the root block (VS_FIXEDFILEINFO).
struct TFixedFileInfo {
    static constexpr uint32_t SignatureValue = 0xFEEF04BD;
    uint32_t Signature = 0;
    uint32_t StrucVersion = 0;
    uint32_t FileVersionMS = 0;
    uint32_t FileVersionLS = 0;
    uint32_t ProductVersionMS = 0;
    uint32_t ProductVersionLS = 0;
    uint32_t FileFlagsMask = 0;
    uint32_t FileFlags = 0;
    uint32_t FileOS = 0;
    uint32_t FileType = 0;
    uint32_t FileSubtype = 0;
    uint32_t FileDateMS = 0;
    uint32_t FileDateLS = 0;
};

// One value found by VerQueryValue.
struct TVerValue {
    QByteArray Bytes;  // the value as stored (a text's UTF-16, NUL included)
    bool IsText = false;
    QString Text;      // a text value up to its first NUL, as stored
    std::optional<TFixedFileInfo> Fixed; // the root block's record
};

// Size in bytes of the file's version information; 0 when it has none (also
// a missing file, anything that is no regular file, no PE file, or a
// malformed one). handle is set to 0, as the Windows call does.
uint32_t GetFileVersionInfoSize(const QString &fileName, uint32_t &handle);

// Reads the file's version information into data, at most size bytes of
// it; false when the file has none (any more). handle is not used.
bool GetFileVersionInfo(const QString &fileName, uint32_t handle, uint32_t size,
                        QByteArray &data);

// Looks up subBlock in version information read above. Path elements are
// separated by backslashes, empty ones are skipped and keys match without
// regard to case:
//   "\"                              the fixed record (Fixed is set)
//   "\VarFileInfo\Translation"       the translation table, pairs of 16-bit
//                                    language and code page
//   "\StringFileInfo\040904E4\Key"   a text value
// false when the path names nothing, or "\" has no valid fixed record.
bool VerQueryValue(const QByteArray &data, const QString &subBlock, TVerValue &value);

// The version information of a whole file's bytes held in memory, found by
// the same code as the file functions (for checks and fuzzing); false when
// there is none.
bool ReadVersionResource(const QByteArray &image, QByteArray &data);

// LoadString: the text of string id in the string table (RT_STRING) of a
// program file or of a compiled resource file (.res), from block
// (id >> 4) + 1 in its first language. nullopt when the file has no such
// block or is neither kind of file; a string compiled empty reads as "".
std::optional<QString> LoadStringResource(const QString &fileName, uint32_t id);
// The same for a whole file's bytes held in memory (for checks and fuzzing).
std::optional<QString> LoadStringFromImage(const QByteArray &image, uint32_t id);
