#include "HelpCompiler.h"

#include "Exception.h"
#include "RtfReader.h"
#include "FileReader.h"
#include "SafeFile.h"

#include <QBuffer>
#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>
#include <QSet>
#include <QTemporaryFile>
#include <QUrl>

#include <memory>

namespace {

// A document of 20,000 topics is a few megabytes; this only stops a wrong file.
constexpr qint64 MaxDocumentBytes = 1024LL * 1024 * 1024;
// Documents are read, and pages copied, this much at a time.
constexpr qint64 ChunkBytes = 1024 * 1024;
constexpr qint64 MaxBitmapBytes = 64 * 1024 * 1024;

// What the index keeps of a topic: its page itself is read again when written.
struct TTopic {
    QString Id;
    QString Context;
    QString Title;
    QStringList Keywords;
    bool HasTitle = false;
    int ContextLine = 0;
    int Source = 0; // into TCompiler::Sources
    QList<int> Numbers;
};

struct TSource {
    QString Path;
    QString Name;
    int ProjectLine = 0;
    TRtfDocument Tables; // its fonts and colours, as read to its end
    int FirstTopic = 0, TopicCount = 0;
};

QString Escape(const QString &text)
{
    QString out;
    out.reserve(text.size() + 8);
    for (QChar c : text) {
        switch (c.unicode()) {
        case '&': out += QLatin1String("&amp;"); break;
        case '<': out += QLatin1String("&lt;"); break;
        case '>': out += QLatin1String("&gt;"); break;
        case '"': out += QLatin1String("&quot;"); break;
        case '\t': out += QLatin1String("&emsp;"); break;
        default: out += c;
        }
    }
    return out;
}

QString CssColor(const QColor &c) { return c.name(QColor::HexRgb); }

QString Href(const QString &id)
{
    return QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(id, "-_.~!$'()*+,;=:@/?"));
}


// The index is written as QJsonDocument's compact form would write it (keys
// sorted, the same escapes), a piece at a time: a large document's index
// built as one QJsonObject would take several times its size.
void JsonString(QByteArray &out, const QString &s)
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

// The order of QJsonObject's keys: by code point, so a character beyond
// U+FFFF comes after U+E000..U+FFFF, unlike UTF-16's order.
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

void JsonKey(QByteArray &out, const QString &key, bool &first)
{
    if (!first)
        out += ',';
    first = false;
    JsonString(out, key);
    out += ':';
}

void JsonStrings(QByteArray &out, const QStringList &list)
{
    out += '[';
    for (qsizetype i = 0; i < list.size(); ++i) {
        if (i)
            out += ',';
        JsonString(out, list[i]);
    }
    out += ']';
}

class TCompiler {
public:
    TCompiler(const THelpProject &project, QIODevice *out, const QString &spoolDir)
        : P(project), Out(out), SpoolDir(spoolDir)
    {
    }

    THcwResult Run()
    {
        R.Messages = P.Messages;
        // First pass: the index (topics, context strings, keywords); then
        // the pages, read again and written one at a time to the spool.
        for (const TSourceFile &f : P.Files)
            if (!f.Path.isEmpty())
                Index(f);
        AssignIds();
        MapNumbers();
        R.Topics = int(Topics.size());
        if (Out && !OpenSpool())
            Out = nullptr;
        for (int i = 0; i < Sources.size(); ++i)
            Pages(i);
        Write();
        return std::move(R);
    }

private:
    void Message(const QString &file, int line, const QString &text, bool error = true)
    {
        R.Messages.append({file, line, text, error});
    }

    void WriteFailed(const QString &why)
    {
        if (R.WriteError.isEmpty())
            R.WriteError = why;
        Out = nullptr;
    }

    // Streams the document through the reader; false when it cannot be read.
    bool ReadDocument(const QString &path, TRtfStreamReader &reader, QString &why)
    {
        try {
            TFileReader file;
            if (!file.Open(path))
                throw EInOutError(QStringLiteral("Cannot open file %1").arg(path));
            if (file.Size() > MaxDocumentBytes)
                throw EInOutError(QStringLiteral("Cannot read %1: the file is too large (%2 bytes; "
                                                 "the limit is %3 bytes)")
                                      .arg(path)
                                      .arg(file.Size())
                                      .arg(MaxDocumentBytes));
            QByteArray chunk(ChunkBytes, Qt::Uninitialized);
            // No more than its size when opened: a file that grows is not read on for ever.
            for (qint64 left = file.Size(); left > 0;) {
                const qint64 got = file.Read(chunk.data(), qMin<qint64>(left, ChunkBytes));
                if (got <= 0)
                    break;
                left -= got;
                reader.Feed(chunk.constData(), got);
            }
        } catch (const Exception &e) {
            why = e.message();
            return false;
        }
        reader.Finish();
        return true;
    }

    void Index(const TSourceFile &f)
    {
        struct TSink final : TRtfSink {
            TCompiler &C;
            int Source;
            explicit TSink(TCompiler &c, int source) : C(c), Source(source) {}
            void Topic(TRtfTopic &t, const TRtfDocument &) override
            {
                C.Topics.append({QString(), std::move(t.Context), std::move(t.Title), std::move(t.Keywords),
                                 t.HasTitle, t.ContextLine, Source, {}});
            }
        } sink(*this, int(Sources.size()));
        TRtfStreamReader reader(sink);
        TSource source{f.Path, f.Name, f.Line, {}, int(Topics.size()), 0};
        QString why;
        if (!ReadDocument(f.Path, reader, why)) {
            Topics.resize(source.FirstTopic);
            Message(P.Path, f.Line, QStringLiteral("Cannot read the file %1: %2").arg(f.Name, why));
            return;
        }
        for (const TRtfProblem &problem : reader.Problems())
            Message(f.Path, problem.Line, problem.Text);
        source.TopicCount = int(Topics.size()) - source.FirstTopic;
        source.Tables = reader.Document();
        if (source.TopicCount == 0)
            Message(f.Path, 1, QStringLiteral("The file holds no topic"), false);
        Sources.append(std::move(source));
    }

    // Second pass over one document: each page converted and written.
    void Pages(int index)
    {
        const TSource &source = Sources[index];
        struct TSink final : TRtfSink {
            TCompiler &C;
            const TSource &S;
            int Next = 0;
            bool Changed = false;
            QString Html;
            TSink(TCompiler &c, const TSource &s) : C(c), S(s) {}
            void Topic(TRtfTopic &t, const TRtfDocument &) override
            {
                // The file was replaced since the first pass: its pages no
                // longer match the index.
                if (Next >= S.TopicCount || t.Context != C.Topics[S.FirstTopic + Next].Context) {
                    Changed = true;
                    return;
                }
                Html.clear();
                C.Topic(Html, C.Topics[S.FirstTopic + Next++], t, S);
                C.Spool(Html);
            }
        } sink(*this, source);
        TRtfStreamReader reader(sink);
        QString why;
        if (!ReadDocument(source.Path, reader, why) || sink.Changed || sink.Next != source.TopicCount)
            Message(P.Path, source.ProjectLine,
                    QStringLiteral("The file %1 changed while it was compiled; compile again").arg(source.Name));
    }

    bool OpenSpool()
    {
        // Beside the help file, not in a tmpfs that would hold it in memory.
        SpoolFile.setFileTemplate(QDir(SpoolDir).filePath(QStringLiteral(".hcw-pages-XXXXXX")));
        if (!SpoolFile.open()) {
            WriteFailed(SpoolFile.errorString());
            return false;
        }
        // Gone from the directory at once, even when hcw is killed.
        QFile::remove(SpoolFile.fileName());
        return true;
    }

    void Spool(const QString &html)
    {
        if (!Out)
            return;
        const QByteArray bytes = html.toUtf8();
        if (SpoolFile.write(bytes) != bytes.size())
            WriteFailed(SpoolFile.errorString());
        R.Bytes += bytes.size();
    }

    void Emit(const QByteArray &bytes)
    {
        if (Out && Out->write(bytes) != bytes.size())
            WriteFailed(Out->errorString());
        R.Bytes += bytes.size();
    }

    void AssignIds()
    {
        QSet<QString> used;
        for (qsizetype i = 0; i < Topics.size(); ++i) {
            TTopic &t = Topics[i];
            const QString context = t.Context;
            QString id = context.isEmpty() ? QStringLiteral("topic-%1").arg(i + 1) : context;
            if (!context.isEmpty()) {
                const QString key = context.toLower();
                if (const auto first = ByContext.constFind(key); first != ByContext.cend()) {
                    for (int n = 2; used.contains(id.toLower()); ++n)
                        id = QStringLiteral("%1-%2").arg(context).arg(n);
                    const TTopic &firstTopic = Topics[*first];
                    Message(Sources[t.Source].Path, t.ContextLine,
                            QStringLiteral("Duplicate context string \"%1\" (first at %2(%3)); this page is \"%4\"")
                                .arg(context, Sources[firstTopic.Source].Path)
                                .arg(firstTopic.ContextLine)
                                .arg(id),
                            false);
                } else {
                    ByContext.insert(key, int(i));
                }
            }
            while (used.contains(id.toLower()))
                id += QLatin1Char('_');
            used.insert(id.toLower());
            t.Id = id;
        }
    }

    void MapNumbers()
    {
        QHash<int, const THelpMapEntry *> seen;
        for (const THelpMapEntry &e : P.Map) {
            const auto it = ByContext.constFind(e.Context.toLower());
            if (it == ByContext.cend()) {
                Message(e.File, e.Line, QStringLiteral("Map entry for an unknown context string \"%1\"").arg(e.Context), false);
                continue;
            }
            if (seen.contains(e.Number)) {
                Message(e.File, e.Line, QStringLiteral("Map number %1 used again; the first one counts").arg(e.Number), false);
                continue;
            }
            seen.insert(e.Number, &e);
            Topics[*it].Numbers.append(e.Number);
            MapIds.insert(e.Number, Topics[*it].Id);
        }
    }

    const TTopic *Target(const QString &context) const
    {
        const auto it = ByContext.constFind(context.toLower());
        return it == ByContext.cend() ? nullptr : &Topics[*it];
    }

    // The picture's class ("bm0", "bm1"...), empty when it cannot be read.
    // Each picture is stored once, in the style sheet and the index, however
    // many pages show it: a bullet on 20,000 pages would otherwise be most of
    // the file.
    QString Picture(const QString &name, const QString &file, int line)
    {
        const QString key = name.toLower();
        auto it = PictureClass.constFind(key);
        if (it == PictureClass.cend()) {
            QString path;
            QStringList dirs = P.BitmapDirs();
            dirs.append(QFileInfo(file).absolutePath());
            for (const QString &d : dirs)
                if (!(path = FindNoCase(d, name)).isEmpty())
                    break;
            QImage image;
            if (!path.isEmpty()) {
                try {
                    image.loadFromData(ReadWholeFile(path, MaxBitmapBytes));
                } catch (const Exception &) {
                }
            }
            QString cls;
            if (!image.isNull()) {
                QByteArray png;
                QBuffer buffer(&png);
                buffer.open(QIODevice::WriteOnly);
                image.save(&buffer, "PNG");
                cls = QStringLiteral("bm%1").arg(Pictures.size());
                Pictures.append({cls, name, image.width(), image.height(),
                                 QStringLiteral("data:image/png;base64,") + QString::fromLatin1(png.toBase64())});
            }
            it = PictureClass.insert(key, cls);
        }
        if (it->isEmpty())
            Message(file, line, QStringLiteral("Bitmap not found: %1").arg(name));
        return *it;
    }

    QString CharCss(const TRtfDocument &doc, const TRtfCharStyle &s) const
    {
        QString css;
        if (s.Font >= 0 && s.Font < doc.Fonts.size() && !doc.Fonts[s.Font].Name.isEmpty()) {
            const TRtfFont &f = doc.Fonts[s.Font];
            const QString generic = f.Family == QLatin1String("swiss")    ? QStringLiteral("sans-serif")
                                    : f.Family == QLatin1String("modern") ? QStringLiteral("monospace")
                                                                          : QStringLiteral("serif");
            css += QStringLiteral("font-family:'%1',%2;").arg(Escape(f.Name).replace(QLatin1Char('\''), QString()), generic);
        }
        if (s.HalfPoints != 24)
            css += QStringLiteral("font-size:%1pt;").arg(s.HalfPoints / 2.0);
        if (s.Bold)
            css += QLatin1String("font-weight:bold;");
        if (s.Italic)
            css += QLatin1String("font-style:italic;");
        if (s.Color > 0 && s.Color < doc.Colors.size() && doc.Colors[s.Color].isValid())
            css += QStringLiteral("color:%1;").arg(CssColor(doc.Colors[s.Color]));
        if (s.Underline || s.DoubleUnderline)
            css += s.DoubleUnderline ? QLatin1String("text-decoration:underline double;")
                                     : QLatin1String("text-decoration:underline;");
        return css;
    }

    // Each distinct look is one rule of the style sheet, named cN or pN: the
    // same few fonts on 20,000 pages would otherwise triple the file.
    QString StyleClass(const QString &css, QChar prefix)
    {
        if (css.isEmpty())
            return {};
        auto it = Classes.constFind(css);
        if (it == Classes.cend()) {
            const QString name = prefix + QString::number(Rules.size());
            Rules.append(QLatin1Char('.') + name + QLatin1Char('{') + css + QLatin1String("}\n"));
            it = Classes.insert(css, name);
        }
        return *it;
    }

    void Inline(QString &out, const TSource &s, const TRtfItem &item)
    {
        switch (item.Type) {
        case TRtfItem::Run: {
            const QString cls = StyleClass(CharCss(s.Tables, item.Style), QLatin1Char('c'));
            const bool sup = item.Style.Super;
            if (sup)
                out += QLatin1String("<sup>");
            if (!cls.isEmpty())
                out += QLatin1String("<span class=\"") + cls + QLatin1String("\">");
            out += Escape(item.Text);
            if (!cls.isEmpty())
                out += QLatin1String("</span>");
            if (sup)
                out += QLatin1String("</sup>");
            break;
        }
        case TRtfItem::Bitmap: {
            ++R.Bitmaps;
            const QString cls = Picture(item.Text, s.Path, item.Line);
            if (cls.isEmpty())
                out += QLatin1String("<span class=\"missing\">[") + Escape(item.Text) + QLatin1String("]</span>");
            else
                out += QLatin1String("<span class=\"bm ") + cls + QLatin1String("\" title=\"") + Escape(item.Text)
                       + QLatin1String("\"></span>");
            break;
        }
        case TRtfItem::Link: {
            const TTopic *target = Target(item.Target);
            item.Popup ? ++R.Popups : ++R.Jumps;
            if (!target)
                Message(s.Path, item.Line,
                        QStringLiteral("Unknown context string \"%1\" in a %2")
                            .arg(item.Target, item.Popup ? QStringLiteral("pop-up") : QStringLiteral("jump")));
            out += QLatin1String("<a class=\"") + (item.Popup ? QLatin1String("popup") : QLatin1String("jump"))
                   + QLatin1String("\" data-target=\"") + Escape(item.Target) + QLatin1Char('"');
            if (target)
                out += QLatin1String(" href=\"") + Escape(Href(target->Id)) + QLatin1Char('"');
            out += QLatin1Char('>');
            for (const TRtfItem &inner : item.Content)
                Inline(out, s, inner);
            out += QLatin1String("</a>");
            break;
        }
        case TRtfItem::LineBreak:
            out += QLatin1String("<br>");
            break;
        case TRtfItem::Paragraph:
            break;
        }
    }

    // Empty paragraphs are blank lines between text; those at the start and
    // end of a page (the \par\page that ends each) are left out.
    void Paragraph(QString &out, const TRtfParaStyle &para, const QString &content, bool &any, QString &blanks)
    {
        if (content.isEmpty() && !any)
            return;
        QString css;
        if (para.LeftIndent || para.SpaceBefore || para.SpaceAfter)
            css = QStringLiteral("margin:%1pt 0 %2pt %3pt")
                      .arg(para.SpaceBefore / 20.0)
                      .arg(para.SpaceAfter / 20.0)
                      .arg(para.LeftIndent / 20.0);
        QString cls = StyleClass(css, QLatin1Char('p'));
        if (para.KeepNext)
            cls = cls.isEmpty() ? QStringLiteral("nsr") : QStringLiteral("nsr ") + cls;
        const QString open = cls.isEmpty() ? QStringLiteral("<p>") : QLatin1String("<p class=\"") + cls + QLatin1String("\">");
        if (content.isEmpty()) {
            blanks += open + QLatin1String("&#160;</p>\n");
            return;
        }
        any = true;
        out += blanks;
        blanks.clear();
        out += open + content + QLatin1String("</p>\n");
    }

    void Topic(QString &out, const TTopic &t, const TRtfTopic &page, const TSource &s)
    {
        out += QLatin1String("<section class=\"topic");
        if (!t.HasTitle)
            out += QLatin1String(" popup-topic");
        out += QLatin1String("\" id=\"") + Escape(t.Id) + QLatin1String("\" data-context=\"") + Escape(t.Context)
               + QLatin1String("\">\n");
        for (int n : t.Numbers)
            out += QStringLiteral("<a id=\"map-%1\"></a>").arg(n);
        QString content, blanks;
        bool any = false;
        for (const TRtfItem &item : page.Items) {
            if (item.Type == TRtfItem::Paragraph) {
                Paragraph(out, item.Para, content, any, blanks);
                content.clear();
            } else {
                Inline(content, s, item);
            }
        }
        if (!content.isEmpty())
            Paragraph(out, TRtfParaStyle{}, content, any, blanks);
        out += QLatin1String("</section>\n");
        R.Keywords += int(t.Keywords.size());
    }

    // Flushed to the output now and then, so the index never sits whole in memory.
    void Flush(QByteArray &buffer, bool force = false)
    {
        if (force || buffer.size() >= ChunkBytes) {
            Emit(buffer);
            buffer.clear();
        }
    }

    void WriteIndex(QByteArray &o)
    {
        bool first = true;
        o += '{';
        JsonKey(o, QStringLiteral("config"), first);
        JsonStrings(o, P.Config);
        JsonKey(o, QStringLiteral("contents"), first);
        JsonString(o, Topics.isEmpty() ? QString() : Topics.first().Id);

        // Keywords, each with its topics in the file's order.
        QHash<QString, QList<int>> byKeyword;
        for (int i = 0; i < Topics.size(); ++i)
            for (const QString &k : Topics[i].Keywords)
                byKeyword[k].append(i);
        QStringList keywords = byKeyword.keys();
        std::sort(keywords.begin(), keywords.end(), KeyLess);
        JsonKey(o, QStringLiteral("keywords"), first);
        o += '{';
        bool firstKeyword = true;
        for (const QString &k : keywords) {
            JsonKey(o, k, firstKeyword);
            o += '[';
            const QList<int> &ids = byKeyword[k];
            for (qsizetype i = 0; i < ids.size(); ++i) {
                if (i)
                    o += ',';
                JsonString(o, Topics[ids[i]].Id);
            }
            o += ']';
            Flush(o);
        }
        o += '}';
        byKeyword.clear();

        // Object keys sort as text: "10" before "2".
        QList<std::pair<QString, QString>> map;
        for (auto it = MapIds.cbegin(); it != MapIds.cend(); ++it)
            map.append({QString::number(it.key()), it.value()});
        std::sort(map.begin(), map.end());
        JsonKey(o, QStringLiteral("map"), first);
        o += '{';
        bool firstNumber = true;
        for (const auto &[number, id] : map) {
            JsonKey(o, number, firstNumber);
            JsonString(o, id);
        }
        o += '}';
        Flush(o);

        JsonKey(o, QStringLiteral("messages"), first);
        o += '[';
        for (qsizetype i = 0; i < R.Messages.size(); ++i) {
            const THcwMessage &m = R.Messages[i];
            o += i ? ",{\"error\":" : "{\"error\":";
            o += m.Error ? "true" : "false";
            o += ",\"file\":";
            JsonString(o, m.File);
            o += ",\"line\":" + QByteArray::number(m.Line) + ",\"text\":";
            JsonString(o, m.Text);
            o += '}';
            Flush(o);
        }
        o += ']';

        QList<const TPicture *> pictures;
        for (const TPicture &p : Pictures)
            pictures.append(&p);
        std::sort(pictures.begin(), pictures.end(), [](const TPicture *a, const TPicture *b) { return a->Class < b->Class; });
        JsonKey(o, QStringLiteral("pictures"), first);
        o += '{';
        bool firstPicture = true;
        for (const TPicture *p : pictures) {
            JsonKey(o, p->Class, firstPicture);
            o += "{\"file\":";
            JsonString(o, p->Name);
            o += ",\"height\":" + QByteArray::number(p->Height) + ",\"png\":";
            JsonString(o, p->Uri);
            o += ",\"width\":" + QByteArray::number(p->Width) + '}';
            Flush(o);
        }
        o += '}';

        JsonKey(o, QStringLiteral("title"), first);
        JsonString(o, P.Title());

        JsonKey(o, QStringLiteral("topics"), first);
        o += '[';
        for (qsizetype i = 0; i < Topics.size(); ++i) {
            const TTopic &t = Topics[i];
            o += i ? ",{\"context\":" : "{\"context\":";
            JsonString(o, t.Context);
            o += ",\"id\":";
            JsonString(o, t.Id);
            o += ",\"keywords\":";
            JsonStrings(o, t.Keywords);
            o += ",\"map\":[";
            for (qsizetype n = 0; n < t.Numbers.size(); ++n)
                o += (n ? "," : "") + QByteArray::number(t.Numbers[n]);
            o += "],\"popup\":";
            o += t.HasTitle ? "false" : "true";
            o += ",\"title\":";
            JsonString(o, t.Title);
            o += '}';
            Flush(o);
        }
        o += ']';

        // A window named twice: the last one counts.
        QHash<QString, const THelpWindow *> byName;
        for (const THelpWindow &w : P.Windows)
            byName.insert(w.Name, &w);
        QStringList names = byName.keys();
        std::sort(names.begin(), names.end(), KeyLess);
        JsonKey(o, QStringLiteral("windows"), first);
        o += '{';
        bool firstWindow = true;
        for (const QString &name : names) {
            const THelpWindow &w = *byName.value(name);
            JsonKey(o, name, firstWindow);
            o += "{\"caption\":";
            JsonString(o, w.Caption);
            if (w.NonScroll.isValid()) {
                o += ",\"nonscroll\":";
                JsonString(o, CssColor(w.NonScroll));
            }
            if (w.Topic.isValid()) {
                o += ",\"topic\":";
                JsonString(o, CssColor(w.Topic));
            }
            o += '}';
        }
        o += "}}";
    }

    void Write()
    {
        if (!P.Contents().isEmpty() && !Target(P.Contents()))
            Message(P.Path, 0, QStringLiteral("The contents topic \"%1\" is not defined").arg(P.Contents()), false);
        const qint64 pageBytes = R.Bytes;
        R.Bytes = 0;

        const THelpWindow *main = nullptr;
        for (const THelpWindow &w : P.Windows)
            if (w.Name.compare(QLatin1String("main"), Qt::CaseInsensitive) == 0)
                main = &w;
        if (!main && !P.Windows.isEmpty())
            main = &P.Windows.first();
        const QColor topic = main && main->Topic.isValid() ? main->Topic : QColor(Qt::white);
        const QColor nonScroll = main && main->NonScroll.isValid() ? main->NonScroll : topic;
        QString title = P.Title();
        if (title.isEmpty())
            title = QFileInfo(P.HelpFile()).fileName();

        QByteArray html;
        html += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"generator\" content=\"hcw\">\n<title>";
        html += Escape(title).toUtf8();
        html += "</title>\n<style>\n";
        html += QStringLiteral("body{background:%1;margin:0;padding:0 8pt}\n"
                               ".nsr{background:%2;margin-left:-8pt!important;margin-right:-8pt;padding:2pt 8pt}\n"
                               "section.topic{border-bottom:1px solid #888;padding-bottom:12pt}\n"
                               "p{margin:0}\na.popup{text-decoration:underline dotted}\n.missing{color:red}\n")
                    .arg(CssColor(topic), CssColor(nonScroll))
                    .toUtf8();
        for (const QString &rule : Rules) {
            html += rule.toUtf8();
            Flush(html);
        }
        html += ".bm{display:inline-block;vertical-align:middle;background-repeat:no-repeat}\n";
        for (const TPicture &p : Pictures) {
            html += QStringLiteral(".%1{width:%2px;height:%3px;background-image:url(%4)}\n")
                        .arg(p.Class)
                        .arg(p.Width)
                        .arg(p.Height)
                        .arg(p.Uri)
                        .toUtf8();
            Flush(html);
        }
        html += "</style>\n<script type=\"application/json\" id=\"quorbel-help-index\">";
        WriteIndex(html);
        html += "</script>\n</head>\n<body>\n";
        Flush(html, true);

        // The pages, copied from the spool after the head that indexes them.
        if (Out && SpoolFile.isOpen()) {
            if (!SpoolFile.flush() || !SpoolFile.seek(0)) {
                WriteFailed(SpoolFile.errorString());
            } else {
                QByteArray chunk(ChunkBytes, Qt::Uninitialized);
                for (qint64 copied = 0; Out && copied < pageBytes;) {
                    const qint64 got = SpoolFile.read(chunk.data(), qMin<qint64>(ChunkBytes, pageBytes - copied));
                    if (got <= 0) {
                        WriteFailed(SpoolFile.errorString());
                        break;
                    }
                    chunk.resize(got);
                    Emit(chunk);
                    chunk.resize(ChunkBytes);
                    copied += got;
                }
            }
        }
        Emit("</body>\n</html>\n");
    }

    const THelpProject &P;
    QIODevice *Out;
    QString SpoolDir;
    QTemporaryFile SpoolFile;
    THcwResult R;
    QList<TSource> Sources;
    QList<TTopic> Topics;
    QHash<QString, int> ByContext; // lower-case context -> first topic
    QMap<int, QString> MapIds;
    struct TPicture {
        QString Class, Name;
        int Width, Height;
        QString Uri;
    };
    QList<TPicture> Pictures;
    QHash<QString, QString> Classes; // CSS -> class name
    QStringList Rules;
    QHash<QString, QString> PictureClass; // lower-case name -> class, empty when missing
};

} // namespace

int THcwResult::Errors() const
{
    int n = 0;
    for (const THcwMessage &m : Messages)
        n += m.Error ? 1 : 0;
    return n;
}

int THcwResult::Notes() const { return int(Messages.size()) - Errors(); }

THcwResult CompileHelp(const THelpProject &project, QIODevice *out, const QString &spoolDir)
{
    return TCompiler(project, out, spoolDir).Run();
}

THcwResult CompileHelpFile(const THelpProject &project)
{
    if (!project.Read)
        return CompileHelp(project, nullptr, {});
    const QString path = project.HelpFile();
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        THcwResult result = CompileHelp(project, nullptr, {});
        result.WriteError = file.errorString();
        return result;
    }
    THcwResult result = CompileHelp(project, &file, QFileInfo(path).absolutePath());
    if (!result.WriteError.isEmpty())
        file.cancelWriting();
    else if (!file.commit())
        result.WriteError = file.errorString();
    return result;
}

QByteArray ErrorLogBytes(const THelpProject &project, const THcwResult &result)
{
    QString log = QStringLiteral("Compiling %1\n").arg(project.Path);
    for (const THcwMessage &m : result.Messages)
        log += m.Format() + QLatin1Char('\n');
    log += QStringLiteral("%1 topics, %2 jumps, %3 pop-ups, %4 keywords, %5 bitmaps\n")
               .arg(result.Topics)
               .arg(result.Jumps)
               .arg(result.Popups)
               .arg(result.Keywords)
               .arg(result.Bitmaps);
    log += QStringLiteral("%1 errors, %2 notes\n").arg(result.Errors()).arg(result.Notes());
    return log.toUtf8();
}
