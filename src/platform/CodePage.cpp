#include "CodePage.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

namespace {

// 0x80..0x9F of Windows-1252; 0 marks the five unassigned bytes, read as C1 controls.
constexpr char16_t High[32] = {
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0,      0x017D, 0,
    0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178,
};

char16_t decode(unsigned char b)
{
    if (b >= 0x80 && b < 0xA0 && High[b - 0x80] != 0)
        return High[b - 0x80];
    return b;
}

// The highest character 0x80..0x9F stand for (U+2122).
constexpr char16_t HighestMapped = 0x2122;

// The byte of c, or -1 when Windows-1252 has none; a table, as every
// character of every text passes here.
int encode(char16_t c)
{
    static const auto table = [] {
        std::array<short, HighestMapped + 1> t;
        t.fill(-1);
        for (int b = 0; b < 0x100; ++b)
            t[decode(static_cast<unsigned char>(b))] = short(b);
        return t;
    }();
    return c <= HighestMapped ? table[c] : -1;
}

// Length of the valid UTF-8 sequence at p (1 for ASCII), or 0 when invalid.
int Utf8Sequence(const unsigned char *p, qsizetype left)
{
    const unsigned char b = p[0];
    if (b < 0x80)
        return 1;
    int length;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
        length = 2;
    } else if (b >= 0xE0 && b <= 0xEF) {
        length = 3;
        if (b == 0xE0)
            low = 0xA0; // overlong
        else if (b == 0xED)
            high = 0x9F; // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
        length = 4;
        if (b == 0xF0)
            low = 0x90; // overlong
        else if (b == 0xF4)
            high = 0x8F; // past U+10FFFF
    } else {
        return 0;
    }
    if (left < length || p[1] < low || p[1] > high)
        return 0;
    for (int i = 2; i < length; ++i)
        if (p[i] < 0x80 || p[i] > 0xBF)
            return 0;
    return length;
}

} // namespace

QByteArray ToAnsi(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const int b = encode(text.at(i).unicode());
        out[i] = b < 0 ? '?' : char(b);
    }
    return out;
}

QString FromAnsi(const char *bytes, qsizetype size)
{
    QString out(size, Qt::Uninitialized);
    QChar *d = out.data();
    for (qsizetype i = 0; i < size; ++i)
        d[i] = QChar(decode(static_cast<unsigned char>(bytes[i])));
    return out;
}

QString FromAnsi(const QByteArray &bytes)
{
    return FromAnsi(bytes.constData(), bytes.size());
}

bool FitsAnsi(const QString &text)
{
    for (const QChar c : text)
        if (encode(c.unicode()) < 0)
            return false;
    return true;
}

bool IsUtf8Text(const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    bool wide = false;
    for (qsizetype i = 0; i < size;) {
        const int length = Utf8Sequence(p + i, size - i);
        if (length == 0)
            return false;
        wide = wide || length > 1;
        i += length;
    }
    return wide;
}

QByteArray EncodeText(const QString &text)
{
    if (FitsAnsi(text)) {
        QByteArray ansi = ToAnsi(text);
        if (!IsUtf8Text(ansi.constData(), ansi.size()))
            return ansi;
    }
    return text.toUtf8();
}

QByteArray EncodeText(const QString &text, qsizetype maxBytes)
{
    QByteArray whole = EncodeText(text);
    if (whole.size() <= maxBytes)
        return whole;
    // The longest prefix wins; in Windows-1252 a character is one byte, so
    // no prefix longer than maxBytes characters can fit.
    qsizetype room = std::min(text.size(), maxBytes);
    if (room > 0 && text.at(room - 1).isHighSurrogate())
        --room;
    qsizetype fits = 0;
    while (fits < room && encode(text.at(fits).unicode()) >= 0)
        ++fits;
    QByteArray ansi = EncodeText(text.left(fits));
    if (fits == room && ansi.size() <= maxBytes)
        return ansi;
    // Else cut the UTF-8 form at the start of the sequence the limit falls
    // into; what is left is encoded anew, and never grows.
    if (!IsUtf8Text(whole.constData(), whole.size()))
        whole = text.toUtf8();
    qsizetype cut = maxBytes;
    while (cut > 0 && (static_cast<unsigned char>(whole[cut]) & 0xC0) == 0x80)
        --cut;
    const QString part = QString::fromUtf8(whole.constData(), cut);
    if (ansi.size() <= maxBytes && fits > part.size())
        return ansi;
    return EncodeText(part);
}

QString DecodeText(const char *bytes, qsizetype size)
{
    if (IsUtf8Text(bytes, size))
        return QString::fromUtf8(bytes, size);
    return FromAnsi(bytes, size);
}

QString DecodeText(const QByteArray &bytes)
{
    return DecodeText(bytes.constData(), bytes.size());
}

QString DecodeCutText(const char *bytes, qsizetype size)
{
    const auto *p = reinterpret_cast<const unsigned char *>(bytes);
    // The start of the last sequence: at most three continuation bytes back.
    qsizetype lead = size;
    while (lead > 0 && size - lead < 3 && (p[lead - 1] & 0xC0) == 0x80)
        --lead;
    if (lead == 0 || p[lead - 1] < 0xC2 || p[lead - 1] > 0xF4)
        return DecodeText(bytes, size);
    --lead;
    const int wanted = p[lead] >= 0xF0 ? 4 : p[lead] >= 0xE0 ? 3 : 2;
    if (size - lead >= wanted)
        return DecodeText(bytes, size);
    // A sequence the cut left short; the text before it decides the rule.
    bool ascii = true;
    for (qsizetype i = 0; i < lead && ascii; ++i)
        ascii = p[i] < 0x80;
    if (ascii || IsUtf8Text(bytes, lead))
        return QString::fromUtf8(bytes, lead);
    return DecodeText(bytes, size);
}

void TEncodedText::Reserve(qsizetype bytes)
{
    if (bytes > FBytes.size()) {
        FBytes.resize(bytes);
        FData = FBytes.data();
    }
}

void TEncodedText::Resize(qsizetype needed)
{
    // Doubling: growing by just what is needed would copy on every piece.
    FBytes.resize(std::max({needed, 2 * FBytes.size(), qsizetype(256)}));
    FData = FBytes.data();
}

void TEncodedText::SwitchToUtf8()
{
    // What was written fits Windows-1252, so it reads back exactly.
    FBytes = FromAnsi(FData, FSize).toUtf8();
    FData = FBytes.data();
    FSize = FBytes.size();
    FUtf8 = true;
}

void TEncodedText::AppendUtf8(const char16_t *from, const char16_t *to)
{
    const qsizetype start = FSize;
    char *out = Grow(3 * (to - from)); // no character takes more than 3 bytes per UTF-16 unit
    char *const begin = out;
    for (const char16_t *p = from; p < to; ++p) {
        const char16_t c = *p;
        if (c < 0x80) {
            *out++ = char(c);
        } else if (c < 0x800) {
            *out++ = char(0xC0 | (c >> 6));
            *out++ = char(0x80 | (c & 0x3F));
        } else if (!QChar::isSurrogate(c)) {
            *out++ = char(0xE0 | (c >> 12));
            *out++ = char(0x80 | ((c >> 6) & 0x3F));
            *out++ = char(0x80 | (c & 0x3F));
        } else {
            // Pairs and lone halves as Qt's own conversion writes them.
            const QByteArray rest = QStringView(p, to).toUtf8();
            FSize = start + (out - begin);
            std::copy(rest.begin(), rest.end(), Grow(rest.size()));
            return;
        }
    }
    FSize = start + (out - begin);
}

void TEncodedText::Append(QStringView text)
{
    const char16_t *p = text.utf16();
    const char16_t *const end = p + text.size();
    if (FUtf8) {
        AppendUtf8(p, end);
        return;
    }
    char *out = Grow(text.size());
    // Four ASCII characters at a time: most of every text.
    while (end - p >= 4) {
        quint64 four;
        std::memcpy(&four, p, sizeof four);
        if (four & 0xFF80FF80FF80FF80ULL)
            break;
        out[0] = char(p[0]);
        out[1] = char(p[1]);
        out[2] = char(p[2]);
        out[3] = char(p[3]);
        out += 4;
        p += 4;
    }
    for (; p < end; ++p) {
        const char16_t c = *p;
        if (c < 0x80) {
            *out++ = char(c);
            continue;
        }
        const int b = encode(c);
        if (b < 0) {
            FSize = out - FData;
            SwitchToUtf8();
            AppendUtf8(p, end);
            return;
        }
        *out++ = char(b);
        FHigh = true;
    }
}

void TEncodedText::Append(QLatin1StringView text)
{
    const char *p = text.data();
    const char *const end = p + text.size();
    char *out = Grow(text.size());
    // Checked and copied eight bytes at a time, in one pass.
    for (; end - p >= 8; p += 8, out += 8) {
        quint64 eight;
        std::memcpy(&eight, p, sizeof eight);
        if (eight & 0x8080808080808080ULL)
            break;
        std::memcpy(out, &eight, sizeof eight);
    }
    for (; p < end; ++p, ++out) {
        if (static_cast<unsigned char>(*p) >= 0x80) {
            // Not ASCII: the rest as the characters Latin-1 gives them.
            FSize = out - FData;
            Append(QString(QLatin1StringView(p, end - p)));
            return;
        }
        *out = *p;
    }
}

void TEncodedText::Append(qint64 number)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, number);
    std::copy(digits, result.ptr, Grow(result.ptr - digits));
}

QByteArray TEncodedText::Take()
{
    // Windows-1252 bytes that would read as UTF-8 are written as UTF-8.
    if (!FUtf8 && FHigh && IsUtf8Text(FData, FSize))
        SwitchToUtf8();
    FBytes.resize(FSize);
    FData = nullptr;
    FSize = 0;
    FUtf8 = FHigh = false;
    return std::exchange(FBytes, QByteArray());
}
