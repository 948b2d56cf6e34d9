#include "TextFile.h"

#include "CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

#include <vector>

namespace qide {

namespace {

const QByteArray Utf8Bom("\xEF\xBB\xBF", 3);

bool HasHighBytes(const QByteArray &bytes)
{
    for (char c : bytes)
        if (static_cast<unsigned char>(c) >= 0x80)
            return true;
    return false;
}

struct TLineEnds {
    TLineEnd first = TLineEnd::CrLf; // the system's, for a file without any
    bool mixed = false;
};

TLineEnds DetectLineEnds(const QString &text)
{
    TLineEnds result;
    bool seen = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        TLineEnd end;
        if (text.at(i) == QLatin1Char('\n')) {
            end = TLineEnd::Lf;
        } else if (text.at(i) == QLatin1Char('\r')) {
            const bool crlf = i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n');
            end = crlf ? TLineEnd::CrLf : TLineEnd::Cr;
            i += crlf ? 1 : 0;
        } else {
            continue;
        }
        if (!seen) {
            result.first = end;
            seen = true;
        } else if (end != result.first) {
            result.mixed = true;
            break;
        }
    }
    return result;
}

// The five bytes Windows-1252 leaves undefined.
bool HasUndefinedAnsiBytes(const QByteArray &bytes)
{
    for (char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b == 0x81 || b == 0x8D || b == 0x8F || b == 0x90 || b == 0x9D)
            return true;
    }
    return false;
}

// Private-use characters the text does not hold, one per reserved character.
void ChooseStandIns(const QString &text, TTextFormat &format)
{
    constexpr char16_t First = 0xE000, Last = 0xF8FF;
    std::vector<bool> used(Last - First + 1);
    for (QChar c : text)
        if (c.unicode() >= First && c.unicode() <= Last)
            used[c.unicode() - First] = true;
    int n = 0;
    for (char16_t c = First; c <= Last && n < 3; ++c)
        if (!used[c - First])
            format.standIns[n++] = c;
}

bool FitsCodePage(const QString &text)
{
    return FromAnsi(ToAnsi(text)) == text;
}

} // namespace

QString NormaliseLineEnds(const QString &text)
{
    if (!text.contains(QLatin1Char('\r')))
        return text;
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        if (c == QLatin1Char('\r')) {
            out += QLatin1Char('\n');
            if (i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n'))
                ++i;
        } else {
            out += c;
        }
    }
    return out;
}

QString ToCrLfText(const QString &text)
{
    qsizetype breaks = 0;
    for (QChar c : text)
        if (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator)
            ++breaks;
    QString out(text.size() + breaks, Qt::Uninitialized);
    QChar *d = out.data();
    for (QChar c : text) {
        if (c == QLatin1Char('\n') || c == QChar::ParagraphSeparator) {
            *d++ = QLatin1Char('\r');
            *d++ = QLatin1Char('\n');
        } else {
            *d++ = c;
        }
    }
    return out;
}

QString ToStandIns(QString text, const TTextFormat &format)
{
    for (int i = 0; i < 3; ++i)
        if (format.standIns[i])
            text.replace(QChar(DocumentReserved[i]), QChar(format.standIns[i]));
    return text;
}

QString FromStandIns(QString text, const TTextFormat &format)
{
    for (int i = 0; i < 3; ++i)
        if (format.standIns[i])
            text.replace(QChar(format.standIns[i]), QChar(DocumentReserved[i]));
    return text;
}

TDecodedText DecodeTextFile(const QByteArray &bytes)
{
    TDecodedText result;
    QString raw;
    const bool bom = bytes.startsWith(Utf8Bom);
    if (bom || HasHighBytes(bytes)) {
        // ConvertInitialBom: a BOM after the file's own one is text.
        QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless
                                                           | QStringConverter::Flag::ConvertInitialBom);
        QString decoded = decoder.decode(bom ? bytes.sliced(3) : bytes);
        if (bom || !decoder.hasError()) {
            result.format.encoding = TTextEncoding::Utf8;
            result.format.bom = bom;
            raw = std::move(decoded);
            if (decoder.hasError())
                result.problem = QStringLiteral("holds bytes that are not UTF-8; they are shown as \uFFFD");
        }
    }
    if (result.format.encoding == TTextEncoding::Ansi) {
        raw = FromAnsi(bytes);
        if (HasUndefinedAnsiBytes(bytes))
            result.problem = QStringLiteral("is neither UTF-8 nor Windows-1252 text; some bytes are shown "
                                            "as control characters");
    }
    const TLineEnds ends = DetectLineEnds(raw);
    result.format.lineEnd = ends.first;
    if (ends.mixed && result.problem.isEmpty())
        result.problem = QStringLiteral("mixes line ends; a save after an edit ends every line with ")
            + LineEndName(ends.first);
    result.text = NormaliseLineEnds(raw);
    ChooseStandIns(result.text, result.format);
    for (int i = 0; i < 3; ++i)
        if (!result.format.standIns[i] && result.problem.isEmpty() && result.text.contains(QChar(DocumentReserved[i])))
            result.problem = QStringLiteral("holds U+%1, which the editor takes as a line break")
                                 .arg(QString::number(DocumentReserved[i], 16).toUpper());
    result.text = ToStandIns(std::move(result.text), result.format);
    return result;
}

QByteArray EncodeTextFile(const QString &text, TTextFormat &format)
{
    QString withEnds = FromStandIns(text, format);
    if (format.lineEnd == TLineEnd::CrLf)
        withEnds.replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    else if (format.lineEnd == TLineEnd::Cr)
        withEnds.replace(QLatin1Char('\n'), QLatin1Char('\r'));

    if (format.encoding == TTextEncoding::Ansi && !FitsCodePage(withEnds)) {
        format.encoding = TTextEncoding::Utf8;
        format.bom = false;
    }
    if (format.encoding == TTextEncoding::Ansi)
        return ToAnsi(withEnds);
    QByteArray out = format.bom ? Utf8Bom : QByteArray();
    out += withEnds.toUtf8();
    return out;
}

QString LineEndName(TLineEnd lineEnd)
{
    switch (lineEnd) {
    case TLineEnd::CrLf:
        return QStringLiteral("CR LF");
    case TLineEnd::Lf:
        return QStringLiteral("LF");
    case TLineEnd::Cr:
        return QStringLiteral("CR");
    }
    return {};
}

QString EncodingName(const TTextFormat &f)
{
    if (f.encoding == TTextEncoding::Ansi)
        return QStringLiteral("Windows-1252");
    return f.bom ? QStringLiteral("UTF-8 BOM") : QStringLiteral("UTF-8");
}

} // namespace qide
