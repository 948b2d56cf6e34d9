// Source files on disk: their encoding and line ends are detected on load
// and kept on save, so that editing a file changes only what was edited.
#pragma once

#include <QByteArray>
#include <QString>

namespace qide {

enum class TLineEnd { CrLf, Lf, Cr };
enum class TTextEncoding { Ansi, Utf8 }; // Ansi: the platform code page

// The editor's document takes U+2029 as a line break and U+FDD0, U+FDD1 as
// frame marks, so a file's own are held as private-use stand-ins that occur
// nowhere in the file, and turned back on save.
constexpr char16_t DocumentReserved[3] = {0x2029, 0xFDD0, 0xFDD1};

struct TTextFormat {
    TTextEncoding encoding = TTextEncoding::Ansi;
    bool bom = false;                   // UTF-8 only
    TLineEnd lineEnd = TLineEnd::CrLf;  // of files that have none yet
    // standIns[i] holds DocumentReserved[i] in the text; 0 when unused.
    char16_t standIns[3] = {0, 0, 0};
    friend bool operator==(const TTextFormat &, const TTextFormat &) = default;
};

struct TDecodedText {
    QString text; // lines separated by '\n'
    TTextFormat format;
    // Why an edited save cannot give back the file's bytes (invalid bytes,
    // mixed line ends); empty when it can.
    QString problem;
};

// Larger source and project files are refused rather than read.
constexpr qint64 MaxSourceFileBytes = qint64(256) << 20;

// Valid UTF-8 with a byte above 0x7F (or a BOM) is UTF-8; anything else is
// the ANSI code page. The first line end found sets the file's line ends.
// Without a problem, EncodeTextFile of the result gives the bytes back.
TDecodedText DecodeTextFile(const QByteArray &bytes);

// Text with '\n' line ends back to the file's bytes. An ANSI file whose text
// holds characters the code page cannot store is written as UTF-8 instead
// (format is updated), so that nothing typed is lost.
QByteArray EncodeTextFile(const QString &text, TTextFormat &format);

// The file's own characters for the stand-ins, and back.
QString FromStandIns(QString text, const TTextFormat &format);
QString ToStandIns(QString text, const TTextFormat &format);

// CR LF, lone CR and lone LF all become '\n'.
QString NormaliseLineEnds(const QString &text);
// '\n' and the paragraph separator (U+2029) become CR LF.
QString ToCrLfText(const QString &text);

QString LineEndName(TLineEnd lineEnd);      // "CR LF", "LF", "CR"
QString EncodingName(const TTextFormat &f); // "UTF-8", "UTF-8 BOM", "Windows-1252"

} // namespace qide
