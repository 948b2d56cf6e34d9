// Source files on disk: their encoding and line ends are detected on load
// and kept on save, so that editing a file changes only what was edited.
#pragma once

#include <QByteArray>
#include <QString>

namespace qide {

// Far above any real source file; a bigger file is refused, not read.
inline constexpr qint64 MaxSourceFileSize = qint64(256) << 20;

enum class TLineEnd { CrLf, Lf, Cr };
enum class TTextEncoding { Ansi, Utf8 }; // Ansi: the platform code page

struct TTextFormat {
    TTextEncoding encoding = TTextEncoding::Ansi;
    bool bom = false;                   // UTF-8 only
    TLineEnd lineEnd = TLineEnd::CrLf;  // of files that have none yet
    friend bool operator==(const TTextFormat &, const TTextFormat &) = default;
};

struct TDecodedText {
    QString text; // lines separated by '\n'
    TTextFormat format;
};

// Valid UTF-8 with a byte above 0x7F (or a BOM) is UTF-8; anything else is
// the ANSI code page. The first line end found sets the file's line ends.
TDecodedText DecodeTextFile(const QByteArray &bytes);

// Text with '\n' line ends back to the file's bytes. An ANSI file whose text
// holds characters the code page cannot store is written as UTF-8 instead
// (format is updated), so that nothing typed is lost.
QByteArray EncodeTextFile(const QString &text, TTextFormat &format);

// CR LF, lone CR and lone LF all become '\n'.
QString NormaliseLineEnds(const QString &text);
// '\n' and the paragraph separator (U+2029) become CR LF.
QString ToCrLfText(const QString &text);

QString LineEndName(TLineEnd lineEnd);      // "CR LF", "LF", "CR"
QString EncodingName(const TTextFormat &f); // "UTF-8", "UTF-8 BOM", "Windows-1252"

} // namespace qide
