#include "CodePage.h"

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

char encode(char16_t c)
{
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF))
        return char(c);
    for (int i = 0; i < 32; ++i)
        if (High[i] == c)
            return char(0x80 + i);
    if (c >= 0x80 && c < 0xA0 && High[c - 0x80] == 0)
        return char(c);
    return '?';
}

} // namespace

QByteArray ToAnsi(const QString &text)
{
    QByteArray out(text.size(), Qt::Uninitialized);
    for (qsizetype i = 0; i < text.size(); ++i)
        out[i] = encode(text.at(i).unicode());
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
