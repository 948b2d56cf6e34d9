#include "HelpFileFormat.h"

#include <QJsonArray>
#include <QJsonDocument>

namespace HelpFile {

void WriteString(QByteArray &out, const QString &s)
{
    bool plain = true;
    for (QChar c : s) {
        const char16_t u = c.unicode();
        if (u < 0x20 || u == '"' || u == '\\' || QChar::isSurrogate(u)) {
            plain = false;
            break;
        }
    }
    QByteArray text;
    if (plain) {
        text = '"' + s.toUtf8() + '"';
    } else {
        text = QJsonDocument(QJsonArray{s}).toJson(QJsonDocument::Compact);
        text = text.mid(1, text.size() - 2);
    }
    // "</" would end the script element early.
    out += text.replace("</", "<\\/");
}

void WriteStrings(QByteArray &out, const QStringList &list)
{
    out += '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            out += ',';
        WriteString(out, list[i]);
    }
    out += ']';
}

void WriteKey(QByteArray &out, const QString &key, bool &first)
{
    if (!first)
        out += ',';
    first = false;
    WriteString(out, key);
    out += ':';
}

void WriteKey(QByteArray &out, QLatin1String key, bool &first)
{
    if (!first)
        out += ',';
    first = false;
    out += '"';
    out.append(key.data(), key.size());
    out += "\":";
}

bool KeyLess(const QString &a, const QString &b)
{
    const auto point = [](char16_t u) { return u >= 0xE000 ? u - 0x800 : u >= 0xD800 ? u + 0x2000 : u; };
    const qsizetype n = qMin(a.size(), b.size());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t x = a.at(i).unicode(), y = b.at(i).unicode();
        if (x != y)
            return point(x) < point(y);
    }
    return a.size() < b.size();
}

void WriteRecord(QByteArray &out, const THelpMessage &m)
{
    bool first = true;
    out += '{';
    WriteKey(out, Key::Error, first);
    out += m.Error ? "true" : "false";
    WriteKey(out, Key::File, first);
    WriteString(out, m.File);
    WriteKey(out, Key::Line, first);
    out += QByteArray::number(m.Line);
    WriteKey(out, Key::Text, first);
    WriteString(out, m.Text);
    out += '}';
}

void WriteRecord(QByteArray &out, const THelpTopicRecord &t)
{
    bool first = true;
    out += '{';
    WriteKey(out, Key::Context, first);
    WriteString(out, t.Context);
    WriteKey(out, Key::Id, first);
    WriteString(out, t.Id);
    WriteKey(out, Key::Keywords, first);
    WriteStrings(out, t.Keywords);
    WriteKey(out, Key::Map, first);
    out += '[';
    for (qsizetype n = 0; n < t.Map.size(); ++n)
        out += (n ? "," : "") + QByteArray::number(t.Map[n]);
    out += ']';
    WriteKey(out, Key::Popup, first);
    out += t.Popup ? "true" : "false";
    WriteKey(out, Key::Title, first);
    WriteString(out, t.Title);
    out += '}';
}

void WriteRecord(QByteArray &out, const THelpPictureRecord &p)
{
    bool first = true;
    out += '{';
    WriteKey(out, Key::File, first);
    WriteString(out, p.File);
    WriteKey(out, Key::Height, first);
    out += QByteArray::number(p.Height);
    WriteKey(out, Key::Png, first);
    WriteString(out, p.Png);
    WriteKey(out, Key::Width, first);
    out += QByteArray::number(p.Width);
    out += '}';
}

void WriteRecord(QByteArray &out, const THelpWindowRecord &w)
{
    bool first = true;
    out += '{';
    WriteKey(out, Key::Caption, first);
    WriteString(out, w.Caption);
    if (!w.NonScroll.isEmpty()) {
        WriteKey(out, Key::NonScroll, first);
        WriteString(out, w.NonScroll);
    }
    if (!w.Topic.isEmpty()) {
        WriteKey(out, Key::Topic, first);
        WriteString(out, w.Topic);
    }
    out += '}';
}

THelpMessage ReadMessage(const QJsonObject &o)
{
    return {o.value(Key::File).toString(), o.value(Key::Line).toInt(), o.value(Key::Text).toString(),
            o.value(Key::Error).toBool()};
}

} // namespace HelpFile

QString THelpMessage::Format() const
{
    return QStringLiteral("%1(%2): %3").arg(File).arg(Line).arg(Text);
}
