// Text in data and generated files. Windows-1252 is the ANSI code page; a
// text it cannot hold is written in UTF-8 instead, so nothing turns into
// "?". Readers tell the two apart by the bytes (see DecodeText).
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

// Plain Windows-1252, one byte per character. The five bytes the code page
// leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D) read as the C1 controls of
// the same number and are written back as those bytes.
QByteArray ToAnsi(const QString &text);   // unmappable characters become '?'
QString FromAnsi(const QByteArray &bytes);
QString FromAnsi(const char *bytes, qsizetype size);

// True when every character has a Windows-1252 byte.
bool FitsAnsi(const QString &text);
// Valid UTF-8 (no overlong forms, surrogates or code points past U+10FFFF)
// holding at least one non-ASCII sequence.
bool IsUtf8Text(const char *bytes, qsizetype size);

// The rule every data-file reader and writer follows: a text that fits is
// written in Windows-1252, anything else in UTF-8; bytes that IsUtf8Text
// read as UTF-8, all other bytes as Windows-1252. A fitting text whose
// Windows-1252 bytes would pass as UTF-8 is written in UTF-8 too, so that
// DecodeText(EncodeText(t)) == t for every text without lone surrogates.
QByteArray EncodeText(const QString &text);
// The same, cut to at most maxBytes bytes at a character boundary: never in
// the middle of a UTF-8 sequence or of a surrogate pair.
QByteArray EncodeText(const QString &text, qsizetype maxBytes);
QString DecodeText(const char *bytes, qsizetype size);
QString DecodeText(const QByteArray &bytes);
// The same for bytes cut at a fixed size, wherever it fell: a last UTF-8
// sequence that lost its tail is dropped when the bytes before it read as
// UTF-8 (or are ASCII), instead of turning the whole text into Windows-1252.
QString DecodeCutText(const char *bytes, qsizetype size);

// A file's text built piece by piece straight into its bytes: Take() gives
// exactly EncodeText of all the pieces joined, without making the joined
// text or encoding it apart. Pieces are whole texts: a surrogate pair is
// never split between two of them.
class TEncodedText {
public:
    void Reserve(qsizetype bytes); // room for that many bytes in all
    void Append(QStringView text);
    void Append(QLatin1StringView text);
    void Append(qint64 number);
    QByteArray Take();

private:
    // Room for bytes more at the end; what is not written is given back by
    // setting FSize. FBytes is sized to its room, so no append resizes it.
    char *Grow(qsizetype bytes)
    {
        if (FSize + bytes > FBytes.size())
            Resize(FSize + bytes);
        char *at = FData + FSize;
        FSize += bytes;
        return at;
    }
    void Resize(qsizetype needed);
    void AppendUtf8(const char16_t *from, const char16_t *to);
    void SwitchToUtf8();

    QByteArray FBytes;
    char *FData = nullptr;
    qsizetype FSize = 0; // bytes written
    bool FUtf8 = false;  // a piece did not fit Windows-1252: all is UTF-8
    bool FHigh = false;  // a Windows-1252 byte above 0x7F was written
};
