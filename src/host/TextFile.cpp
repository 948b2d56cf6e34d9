#include "TextFile.h"

#include "CodePage.h"

#include <QStringDecoder>
#include <QStringEncoder>

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

TLineEnd DetectLineEnd(const QString &text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (text.at(i) == QLatin1Char('\n'))
            return TLineEnd::Lf;
        if (text.at(i) == QLatin1Char('\r'))
            return i + 1 < text.size() && text.at(i + 1) == QLatin1Char('\n') ? TLineEnd::CrLf
                                                                               : TLineEnd::Cr;
    }
    return TLineEnd::CrLf;
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

TDecodedText DecodeTextFile(const QByteArray &bytes)
{
    TDecodedText result;
    QString raw;
    if (bytes.startsWith(Utf8Bom)) {
        result.format.encoding = TTextEncoding::Utf8;
        result.format.bom = true;
        raw = QString::fromUtf8(bytes.constData() + 3, bytes.size() - 3);
    } else {
        bool utf8 = false;
        if (HasHighBytes(bytes)) {
            QStringDecoder decoder(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
            QString decoded = decoder.decode(bytes);
            if (!decoder.hasError()) {
                utf8 = true;
                raw = std::move(decoded);
            }
        }
        if (utf8)
            result.format.encoding = TTextEncoding::Utf8;
        else
            raw = FromAnsi(bytes);
    }
    result.format.lineEnd = DetectLineEnd(raw);
    result.text = NormaliseLineEnds(raw);
    return result;
}

QByteArray EncodeTextFile(const QString &text, TTextFormat &format)
{
    QString withEnds = text;
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
