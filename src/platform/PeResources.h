// Version information written into Windows program files (PE32 and PE32+)
// without Windows: the version resource as a record to show and edit, and
// a writer that rebuilds the resource section with a new version resource
// while every other resource keeps its bytes.
//
// The writer trusts nothing in the file: the headers, the section table and
// the whole resource tree are checked, bounded, before anything is built; a
// file it cannot understand whole is refused with the reason, never guessed
// at. The result is checked with the reader of VersionInfo.h before it is
// handed back.
#pragma once

#include "Exception.h"
#include "VersionInfo.h"

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>

#include <cstdint>
#include <optional>

// A file that is no PE file, is damaged, or may not be changed.
class EPeFileError : public Exception {
public:
    using Exception::Exception;
};

// One StringFileInfo block: "040904B0" and its strings in file order.
struct TVersionStringBlock {
    QString Key;
    QList<QPair<QString, QString>> Strings;
    // The block's language and code page from its key; false when the key
    // is no eight hexadecimal digits.
    bool LanguageAndCodePage(uint16_t &language, uint16_t &codePage) const;
};

// A whole version resource (VS_VERSIONINFO).
struct TVersionRecord {
    std::optional<TFixedFileInfo> Fixed;
    QList<TVersionStringBlock> Blocks;
    QList<QPair<uint16_t, uint16_t>> Translations; // language, code page
};

// Reads version information as GetFileVersionInfo gives it; false when its
// root is not a version tree. Damaged children are skipped, as a reader on
// Windows skips them.
bool ParseVersionRecord(const QByteArray &data, TVersionRecord &record);
// The resource's bytes: keys, values and children on 32-bit boundaries,
// texts NUL-ended with their length in UTF-16 units.
QByteArray VersionRecordBytes(const TVersionRecord &record);

// "1.2.3.4" or "1,2,3,4" (fewer parts mean 0, blanks are ignored) into the
// fixed record's two halves; false for anything else or a part past 65535.
bool ParseFileVersion(const QString &text, uint32_t &ms, uint32_t &ls);
// "1.2.3.4".
QString FileVersionText(uint32_t ms, uint32_t ls);

// What `set` changes; what is not given keeps its value from the file.
struct TVersionChange {
    std::optional<QString> FileVersion;    // the fixed record and the FileVersion string
    std::optional<QString> ProductVersion; // the fixed record and the ProductVersion string
    QList<QPair<QString, QString>> Strings;
    // The block written to: given, else the file's first, else 0x0409 / 1200.
    std::optional<uint16_t> Language, CodePage;
    std::optional<uint32_t> FileOS, FileType, FileFlags, FileFlagsMask;
    // A signed file's signature is dropped instead of refusing the file.
    bool RemoveSignature = false;
};

// How the resources were placed, for the command's report.
struct TVersionWriteReport {
    bool InPlace = false;       // the resource section was the last one
    bool SignatureRemoved = false;
};

// The image with the change written into its version resource. Throws
// EPeFileError with the reason when the image cannot be changed safely.
// An image handed over (moved in) is changed where it lies, spared a copy.
QByteArray SetVersionInImage(QByteArray image, const TVersionChange &change,
                             TVersionWriteReport *report = nullptr);

// The largest file the writer reads whole.
constexpr qint64 MaxPeFileSize = qint64(1) << 30;

// Reads fileName whole (a regular file of at most MaxPeFileSize bytes),
// writes the changed file to output (fileName when empty) through a
// temporary file and a rename. Throws EInOutError or EPeFileError; the file
// is unchanged then.
TVersionWriteReport SetVersionInFile(const QString &fileName, const QString &output,
                                     const TVersionChange &change);

// Why fileName has no version information to show (it is missing, no
// regular file, no PE file, or has no version resource).
QString NoVersionReason(const QString &fileName);
