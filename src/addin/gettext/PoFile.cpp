#include "PoFile.h"

#include "core/StringTable.h"

#include "SafeFile.h"

#include <QStringDecoder>

#include <algorithm>
#include <cctype>

namespace {

// One string of an entry as it stands in the file: its bytes with the
// escapes resolved, before the charset is known.
struct TRawEntry {
    bool HasContext = false;
    bool HasId = false;
    bool HasStr = false;
    QByteArray Context, Id, IdPlural;
    std::vector<QByteArray> Strings;
    QStringList Flags;
    QByteArray Comment;
    bool Obsolete = false;
    int Line = 0;
    std::vector<int> StringLines; // for the charset's errors
};

class TPoParser {
public:
    TPoParser(const QByteArray &bytes, const QString &name) : FBytes(bytes), FName(name) {}

    std::vector<TRawEntry> Parse()
    {
        if (FBytes.isEmpty())
            NotPo(1);
        qsizetype at = 0;
        while (at < FBytes.size()) {
            qsizetype end = FBytes.indexOf('\n', at);
            const bool last = end < 0;
            if (last)
                end = FBytes.size();
            ++FLine;
            FLastLine = last || end + 1 == FBytes.size();
            ParseLine(FBytes.constData() + at, FBytes.constData() + end);
            at = end + 1;
        }
        if (FCurrent.HasContext || FCurrent.HasId) {
            if (!FCurrent.HasStr)
                throw EPoFileError(LoadStr(txt::PoFileCut).arg(FName).arg(FCurrent.Line));
            Finish();
        }
        if (FEntries.empty() && !FSawKeyword)
            NotPo(1);
        return std::move(FEntries);
    }

private:
    enum class TTarget { None, Context, Id, Plural, Str };

    [[noreturn]] void NotPo(int line) const
    {
        throw EPoFileError(LoadStr(txt::PoNotAPoFile).arg(FName).arg(line));
    }
    [[noreturn]] void Bad(const char *from, const char *to) const
    {
        if (!FSawKeyword)
            NotPo(FLine);
        // Cut as text, so no character is split.
        QString shown = QString::fromUtf8(from, to - from).trimmed();
        if (shown.size() > 60) {
            shown.truncate(shown.at(59).isHighSurrogate() ? 59 : 60);
            shown += QStringLiteral("...");
        }
        throw EPoFileError(LoadStr(txt::PoBadLine).arg(FName).arg(FLine).arg(shown));
    }

    static const char *SkipSpace(const char *p, const char *end)
    {
        while (p < end && (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\f' || *p == '\v'))
            ++p;
        return p;
    }

    void Finish()
    {
        if (FCurrent.HasContext || FCurrent.HasId)
            FEntries.push_back(std::move(FCurrent));
        FCurrent = TRawEntry();
        FTarget = TTarget::None;
    }

    // The entry before is whole: what follows starts the next one.
    void StartNextIfComplete()
    {
        if (FCurrent.HasStr)
            Finish();
    }

    void ParseLine(const char *p, const char *end)
    {
        const char *line = p;
        p = SkipSpace(p, end);
        if (p == end)
            return;
        bool obsolete = false;
        if (*p == '#') {
            if (p + 1 < end && p[1] == '~') {
                p = SkipSpace(p + 2, end);
                if (p < end && *p == '|')
                    return; // an obsolete entry's previous strings
                if (p == end)
                    return;
                obsolete = true;
            } else {
                StartNextIfComplete();
                const char kind = p + 1 < end ? p[1] : ' ';
                if (kind == ',') {
                    const QByteArray flags(p + 2, end - p - 2);
                    for (const QByteArray &flag : flags.split(','))
                        if (const QByteArray f = flag.trimmed(); !f.isEmpty())
                            FCurrent.Flags << QString::fromLatin1(f);
                } else if (kind == '.') {
                    if (!FCurrent.Comment.isEmpty())
                        FCurrent.Comment += '\n';
                    FCurrent.Comment += QByteArray(p + 2, end - p - 2).trimmed();
                }
                return;
            }
        }
        if (*p == '"') {
            if (FTarget == TTarget::None)
                Bad(line, end);
            QByteArray &into = TargetString();
            ReadString(p, end, line, into);
            return;
        }
        ParseKeyword(p, end, line, obsolete);
    }

    QByteArray &TargetString()
    {
        switch (FTarget) {
        case TTarget::Context: return FCurrent.Context;
        case TTarget::Id: return FCurrent.Id;
        case TTarget::Plural: return FCurrent.IdPlural;
        default: return FCurrent.Strings.back();
        }
    }

    void ParseKeyword(const char *p, const char *end, const char *line, bool obsolete)
    {
        const char *word = p;
        while (p < end && (std::isalnum(uchar(*p)) || *p == '_' || *p == '[' || *p == ']'))
            ++p;
        const QByteArray keyword(word, p - word);
        if (keyword == "msgctxt") {
            StartNextIfComplete();
            if (FCurrent.HasContext || FCurrent.HasId)
                Bad(line, end);
            Begin(obsolete);
            FCurrent.HasContext = true;
            FTarget = TTarget::Context;
        } else if (keyword == "msgid") {
            StartNextIfComplete();
            if (FCurrent.HasId)
                Bad(line, end);
            Begin(obsolete);
            FCurrent.HasId = true;
            FTarget = TTarget::Id;
        } else if (keyword == "msgid_plural") {
            if (!FCurrent.HasId || FCurrent.HasStr || FTarget != TTarget::Id)
                Bad(line, end);
            FTarget = TTarget::Plural;
        } else if (keyword == "msgstr" || (keyword.startsWith("msgstr[") && keyword.endsWith(']'))) {
            if (!FCurrent.HasId)
                Bad(line, end);
            if (keyword.size() > 6) {
                bool ok = false;
                const int index = keyword.mid(7, keyword.size() - 8).toInt(&ok);
                if (!ok || index != int(FCurrent.Strings.size()))
                    Bad(line, end);
            } else if (FCurrent.HasStr) {
                Bad(line, end);
            }
            FCurrent.HasStr = true;
            FCurrent.Strings.emplace_back();
            FCurrent.StringLines.push_back(FLine);
            FTarget = TTarget::Str;
        } else {
            Bad(line, end);
        }
        FSawKeyword = true;
        p = SkipSpace(p, end);
        if (p == end || *p != '"')
            Bad(line, end);
        ReadString(p, end, line, TargetString());
    }

    void Begin(bool obsolete)
    {
        if (!FCurrent.HasContext && !FCurrent.HasId) {
            FCurrent.Line = FLine;
            FCurrent.Obsolete = obsolete;
        }
    }

    // p is on the opening quote; appends the string's bytes to into.
    void ReadString(const char *p, const char *end, const char *line, QByteArray &into)
    {
        ++p;
        for (;;) {
            if (p == end) {
                // A string that never closes on the file's last line: the file was cut.
                if (FLastLine)
                    throw EPoFileError(LoadStr(txt::PoFileCut).arg(FName).arg(FCurrent.Line ? FCurrent.Line : FLine));
                Bad(line, end);
            }
            const char c = *p++;
            if (c == '"')
                break;
            if (c != '\\') {
                into += c;
                continue;
            }
            if (p == end)
                Bad(line, end);
            const char e = *p++;
            switch (e) {
            case 'n': into += '\n'; break;
            case 't': into += '\t'; break;
            case 'r': into += '\r'; break;
            case 'b': into += '\b'; break;
            case 'f': into += '\f'; break;
            case 'v': into += '\v'; break;
            case 'a': into += '\a'; break;
            case '\\': into += '\\'; break;
            case '"': into += '"'; break;
            case '\'': into += '\''; break;
            case '?': into += '?'; break;
            case 'x': {
                int value = 0, digits = 0;
                while (p < end && std::isxdigit(uchar(*p)) && digits < 2) {
                    value = value * 16 + QByteArrayView("0123456789abcdef").indexOf(char(std::tolower(uchar(*p))));
                    ++p;
                    ++digits;
                }
                if (digits == 0)
                    Bad(line, end);
                into += char(value);
                break;
            }
            default:
                if (e >= '0' && e <= '7') {
                    int value = e - '0', digits = 1;
                    while (p < end && *p >= '0' && *p <= '7' && digits < 3) {
                        value = value * 8 + (*p++ - '0');
                        ++digits;
                    }
                    if (value > 0xFF)
                        Bad(line, end);
                    into += char(value);
                } else {
                    Bad(line, end);
                }
            }
        }
        if (SkipSpace(p, end) != end)
            Bad(line, end);
    }

    const QByteArray &FBytes;
    const QString &FName;
    int FLine = 0;
    bool FLastLine = false;
    bool FSawKeyword = false;
    TTarget FTarget = TTarget::None;
    TRawEntry FCurrent;
    std::vector<TRawEntry> FEntries;
};

bool IsHeader(const TRawEntry &entry)
{
    return !entry.HasContext && entry.Id.isEmpty() && !entry.Obsolete;
}

QString CharsetOf(const QByteArray &header)
{
    for (const QByteArray &line : header.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon < 0 || line.left(colon).trimmed().toLower() != "content-type")
            continue;
        const QByteArray value = line.mid(colon + 1);
        const int at = value.toLower().indexOf("charset=");
        if (at < 0)
            return {};
        QByteArray charset = value.mid(at + 8);
        const int stop = charset.indexOf(';');
        if (stop >= 0)
            charset.truncate(stop);
        return QString::fromLatin1(charset.trimmed());
    }
    return {};
}

} // namespace

int TPoCatalog::FuzzyTranslations() const
{
    return int(std::count_if(Entries.begin(), Entries.end(), [](const TPoEntry &e) {
        return !e.Obsolete && e.Fuzzy() && !e.Translation().isEmpty();
    }));
}

QString TPoCatalog::HeaderValue(const QString &name) const
{
    for (const auto &[key, value] : Header)
        if (key.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    return {};
}

TPoCatalog ParsePo(const QByteArray &bytes, const QString &name)
{
    std::vector<TRawEntry> raw = TPoParser(bytes, name).Parse();

    QString charset = QStringLiteral("UTF-8");
    int headerLine = 1;
    for (const TRawEntry &entry : raw) {
        if (!IsHeader(entry))
            continue;
        const QString named = CharsetOf(entry.Strings.empty() ? QByteArray() : entry.Strings.front());
        // A template's placeholder, as xgettext leaves it: its texts are ASCII.
        if (!named.isEmpty() && named.compare(QLatin1String("CHARSET"), Qt::CaseInsensitive) != 0)
            charset = named;
        headerLine = entry.Line;
        break;
    }
    QStringDecoder decoder(charset.toLatin1().constData());
    if (!decoder.isValid())
        throw EPoFileError(LoadStr(txt::PoUnknownCharset).arg(name).arg(headerLine).arg(charset));

    int line = 0;
    const auto decode = [&](const QByteArray &text) {
        decoder.resetState();
        QString decoded = decoder.decode(text);
        if (decoder.hasError())
            throw EPoFileError(LoadStr(txt::PoBadCharacters).arg(name).arg(line).arg(charset));
        return decoded;
    };

    TPoCatalog catalog;
    catalog.Entries.reserve(raw.size());
    bool headerDone = false;
    for (TRawEntry &entry : raw) {
        line = entry.Line;
        if (!headerDone && IsHeader(entry)) {
            headerDone = true;
            const QString text = entry.Strings.empty() ? QString() : decode(entry.Strings.front());
            for (const QString &field : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts)) {
                const qsizetype colon = field.indexOf(QLatin1Char(':'));
                if (colon > 0)
                    catalog.Header.emplace_back(field.left(colon).trimmed(), field.mid(colon + 1).trimmed());
            }
            continue;
        }
        TPoEntry out;
        out.HasContext = entry.HasContext;
        out.Context = decode(entry.Context);
        out.Id = decode(entry.Id);
        out.IdPlural = decode(entry.IdPlural);
        for (size_t i = 0; i < entry.Strings.size(); ++i) {
            line = entry.StringLines[i];
            out.Strings << decode(entry.Strings[i]);
        }
        out.Flags = std::move(entry.Flags);
        line = entry.Line;
        out.Comment = decode(entry.Comment);
        out.Obsolete = entry.Obsolete;
        out.Line = entry.Line;
        catalog.Entries.push_back(std::move(out));
    }
    return catalog;
}

TPoCatalog ReadPoFile(const QString &path, qint64 limit)
{
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(path, limit);
    } catch (const EInOutError &e) {
        throw EPoFileError(LoadStr(txt::PoCannotRead).arg(e.message()));
    }
    return ParsePo(bytes, path);
}

namespace {

void AppendEscaped(QByteArray &out, const QByteArray &utf8, qsizetype from, qsizetype to)
{
    out += '"';
    for (qsizetype i = from; i < to; ++i) {
        const uchar c = uchar(utf8[i]);
        switch (c) {
        case '\\': out += "\\\\"; break;
        case '"': out += "\\\""; break;
        case '\n': out += "\\n"; break;
        case '\t': out += "\\t"; break;
        case '\r': out += "\\r"; break;
        default:
            if (c < 0x20 || c == 0x7F) {
                // Three digits always, so a digit after it is no part of it.
                out += '\\';
                out += char('0' + (c >> 6));
                out += char('0' + ((c >> 3) & 7));
                out += char('0' + (c & 7));
            } else {
                out += char(c);
            }
        }
    }
    out += "\"\n";
}

} // namespace

void AppendPoString(QByteArray &out, const char *keyword, const QString &text)
{
    const QByteArray utf8 = text.toUtf8();
    out += keyword;
    out += ' ';
    const qsizetype firstBreak = utf8.indexOf('\n');
    // One line unless a line break stands before the end: then each line of
    // the text on a line of its own, as gettext's tools write them.
    if (firstBreak < 0 || firstBreak == utf8.size() - 1) {
        AppendEscaped(out, utf8, 0, utf8.size());
        return;
    }
    out += "\"\"\n";
    qsizetype at = 0;
    while (at < utf8.size()) {
        qsizetype stop = utf8.indexOf('\n', at);
        stop = stop < 0 ? utf8.size() : stop + 1;
        AppendEscaped(out, utf8, at, stop);
        at = stop;
    }
}

QByteArray WritePo(const TPoCatalog &catalog)
{
    QByteArray out;
    out.reserve(qsizetype(catalog.Entries.size()) * 96 + 512);
    QString header;
    bool contentType = false;
    for (const auto &[key, value] : catalog.Header) {
        if (key.compare(QLatin1String("Content-Type"), Qt::CaseInsensitive) == 0) {
            header += QStringLiteral("Content-Type: text/plain; charset=UTF-8\n");
            contentType = true;
            continue;
        }
        header += key + QStringLiteral(": ") + value + QLatin1Char('\n');
    }
    if (!contentType)
        header += QStringLiteral("Content-Type: text/plain; charset=UTF-8\n");
    out += "msgid \"\"\n";
    AppendPoString(out, "msgstr", header);
    for (const TPoEntry &entry : catalog.Entries) {
        out += '\n';
        if (!entry.Comment.isEmpty())
            for (const QString &line : entry.Comment.split(QLatin1Char('\n')))
                out += "#. " + line.toUtf8() + '\n';
        if (!entry.Flags.isEmpty())
            out += "#, " + entry.Flags.join(QStringLiteral(", ")).toUtf8() + '\n';
        if (entry.HasContext)
            AppendPoString(out, "msgctxt", entry.Context);
        AppendPoString(out, "msgid", entry.Id);
        if (!entry.IdPlural.isEmpty()) {
            AppendPoString(out, "msgid_plural", entry.IdPlural);
            for (int i = 0; i < entry.Strings.size(); ++i)
                AppendPoString(out, QStringLiteral("msgstr[%1]").arg(i).toLatin1().constData(), entry.Strings[i]);
        } else {
            AppendPoString(out, "msgstr", entry.Translation());
        }
    }
    return out;
}
