#include "HelpCompiler.h"

#include "Exception.h"
#include "RtfReader.h"
#include "SafeFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSet>
#include <QUrl>

#include <memory>

namespace {

// A document of 20,000 topics is a few megabytes; this only stops a wrong file.
constexpr qint64 MaxDocumentBytes = 1024LL * 1024 * 1024;
constexpr qint64 MaxBitmapBytes = 64 * 1024 * 1024;

struct TTopic {
    TRtfTopic Rtf;
    QString Id;
    QString File;
    const TRtfDocument *Doc = nullptr;
    QList<int> Numbers;
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

class TCompiler {
public:
    explicit TCompiler(const THelpProject &project) : P(project) {}

    THcwResult Run()
    {
        R.Messages = P.Messages;
        for (const TSourceFile &f : P.Files)
            if (!f.Path.isEmpty())
                Read(f);
        AssignIds();
        MapNumbers();
        R.Topics = int(Topics.size());
        Write();
        return std::move(R);
    }

private:
    void Message(const QString &file, int line, const QString &text, bool error = true)
    {
        R.Messages.append({file, line, text, error});
    }

    void Read(const TSourceFile &f)
    {
        QByteArray bytes;
        try {
            bytes = ReadWholeFile(f.Path, MaxDocumentBytes);
        } catch (const Exception &e) {
            Message(P.Path, f.Line, QStringLiteral("Cannot read the file %1: %2").arg(f.Name, e.message()));
            return;
        }
        Docs.append(std::make_shared<TRtfDocument>(ReadRtf(bytes)));
        TRtfDocument &doc = *Docs.last();
        if (doc.Topics.isEmpty())
            Message(f.Path, 1, QStringLiteral("The file holds no topic"), false);
        for (TRtfTopic &t : doc.Topics)
            Topics.append({std::move(t), QString(), f.Path, &doc, {}});
        doc.Topics.clear();
    }

    void AssignIds()
    {
        QSet<QString> used;
        for (qsizetype i = 0; i < Topics.size(); ++i) {
            TTopic &t = Topics[i];
            const QString context = t.Rtf.Context;
            QString id = context.isEmpty() ? QStringLiteral("topic-%1").arg(i + 1) : context;
            if (!context.isEmpty()) {
                const QString key = context.toLower();
                if (const auto first = ByContext.constFind(key); first != ByContext.cend()) {
                    for (int n = 2; used.contains(id.toLower()); ++n)
                        id = QStringLiteral("%1-%2").arg(context).arg(n);
                    const TTopic &firstTopic = Topics[*first];
                    Message(t.File, t.Rtf.ContextLine,
                            QStringLiteral("Duplicate context string \"%1\" (first at %2(%3)); this page is \"%4\"")
                                .arg(context, firstTopic.File)
                                .arg(firstTopic.Rtf.ContextLine)
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

    void Inline(QString &out, const TTopic &t, const TRtfItem &item)
    {
        switch (item.Type) {
        case TRtfItem::Run: {
            const QString cls = StyleClass(CharCss(*t.Doc, item.Style), QLatin1Char('c'));
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
            const QString cls = Picture(item.Text, t.File, item.Line);
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
                Message(t.File, item.Line,
                        QStringLiteral("Unknown context string \"%1\" in a %2")
                            .arg(item.Target, item.Popup ? QStringLiteral("pop-up") : QStringLiteral("jump")));
            out += QLatin1String("<a class=\"") + (item.Popup ? QLatin1String("popup") : QLatin1String("jump"))
                   + QLatin1String("\" data-target=\"") + Escape(item.Target) + QLatin1Char('"');
            if (target)
                out += QLatin1String(" href=\"") + Escape(Href(target->Id)) + QLatin1Char('"');
            out += QLatin1Char('>');
            for (const TRtfItem &inner : item.Content)
                Inline(out, t, inner);
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

    void Topic(QString &out, const TTopic &t)
    {
        out += QLatin1String("<section class=\"topic");
        if (!t.Rtf.HasTitle)
            out += QLatin1String(" popup-topic");
        out += QLatin1String("\" id=\"") + Escape(t.Id) + QLatin1String("\" data-context=\"") + Escape(t.Rtf.Context)
               + QLatin1String("\">\n");
        for (int n : t.Numbers)
            out += QStringLiteral("<a id=\"map-%1\"></a>").arg(n);
        QString content, blanks;
        bool any = false;
        for (const TRtfItem &item : t.Rtf.Items) {
            if (item.Type == TRtfItem::Paragraph) {
                Paragraph(out, item.Para, content, any, blanks);
                content.clear();
            } else {
                Inline(content, t, item);
            }
        }
        if (!content.isEmpty())
            Paragraph(out, TRtfParaStyle{}, content, any, blanks);
        out += QLatin1String("</section>\n");
        R.Keywords += int(t.Rtf.Keywords.size());
    }

    QByteArray Index() const
    {
        QJsonObject index;
        index.insert(QStringLiteral("title"), P.Title());
        index.insert(QStringLiteral("contents"), Topics.isEmpty() ? QString() : Topics.first().Id);
        QJsonArray topics;
        QJsonObject keywords;
        QHash<QString, QJsonArray> byKeyword;
        QStringList keywordOrder;
        for (const TTopic &t : Topics) {
            QJsonObject o;
            o.insert(QStringLiteral("id"), t.Id);
            o.insert(QStringLiteral("context"), t.Rtf.Context);
            o.insert(QStringLiteral("title"), t.Rtf.Title);
            o.insert(QStringLiteral("popup"), !t.Rtf.HasTitle);
            QJsonArray numbers;
            for (int n : t.Numbers)
                numbers.append(n);
            o.insert(QStringLiteral("map"), numbers);
            o.insert(QStringLiteral("keywords"), QJsonArray::fromStringList(t.Rtf.Keywords));
            topics.append(o);
            for (const QString &k : t.Rtf.Keywords) {
                if (!byKeyword.contains(k))
                    keywordOrder.append(k);
                byKeyword[k].append(t.Id);
            }
        }
        for (const QString &k : keywordOrder)
            keywords.insert(k, byKeyword.value(k));
        QJsonObject map;
        for (auto it = MapIds.cbegin(); it != MapIds.cend(); ++it)
            map.insert(QString::number(it.key()), it.value());
        index.insert(QStringLiteral("topics"), topics);
        index.insert(QStringLiteral("map"), map);
        index.insert(QStringLiteral("keywords"), keywords);
        QJsonObject windows;
        for (const THelpWindow &w : P.Windows) {
            QJsonObject o;
            o.insert(QStringLiteral("caption"), w.Caption);
            if (w.Topic.isValid())
                o.insert(QStringLiteral("topic"), CssColor(w.Topic));
            if (w.NonScroll.isValid())
                o.insert(QStringLiteral("nonscroll"), CssColor(w.NonScroll));
            windows.insert(w.Name, o);
        }
        index.insert(QStringLiteral("windows"), windows);
        index.insert(QStringLiteral("config"), QJsonArray::fromStringList(P.Config));
        QJsonObject pictures;
        for (const TPicture &p : Pictures)
            pictures.insert(p.Class, QJsonObject{{QStringLiteral("file"), p.Name},
                                                 {QStringLiteral("width"), p.Width},
                                                 {QStringLiteral("height"), p.Height},
                                                 {QStringLiteral("png"), p.Uri}});
        index.insert(QStringLiteral("pictures"), pictures);
        QJsonArray messages;
        for (const THcwMessage &m : R.Messages)
            messages.append(QJsonObject{{QStringLiteral("file"), m.File},
                                        {QStringLiteral("line"), m.Line},
                                        {QStringLiteral("text"), m.Text},
                                        {QStringLiteral("error"), m.Error}});
        index.insert(QStringLiteral("messages"), messages);
        // "</" would end the script element early.
        return QJsonDocument(index).toJson(QJsonDocument::Compact).replace("</", "<\\/");
    }

    void Write()
    {
        QString body;
        for (const TTopic &t : Topics)
            Topic(body, t);
        if (!P.Contents().isEmpty() && !Target(P.Contents()))
            Message(P.Path, 0, QStringLiteral("The contents topic \"%1\" is not defined").arg(P.Contents()), false);

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

        QByteArray &html = R.Html;
        html.reserve(body.size() * 3 / 2 + 4096);
        html += "<!DOCTYPE html>\n<html>\n<head>\n<meta charset=\"utf-8\">\n<meta name=\"generator\" content=\"hcw\">\n<title>";
        html += Escape(title).toUtf8();
        html += "</title>\n<style>\n";
        html += QStringLiteral("body{background:%1;margin:0;padding:0 8pt}\n"
                               ".nsr{background:%2;margin-left:-8pt!important;margin-right:-8pt;padding:2pt 8pt}\n"
                               "section.topic{border-bottom:1px solid #888;padding-bottom:12pt}\n"
                               "p{margin:0}\na.popup{text-decoration:underline dotted}\n.missing{color:red}\n")
                    .arg(CssColor(topic), CssColor(nonScroll))
                    .toUtf8();
        for (const QString &rule : Rules)
            html += rule.toUtf8();
        html += ".bm{display:inline-block;vertical-align:middle;background-repeat:no-repeat}\n";
        for (const TPicture &p : Pictures)
            html += QStringLiteral(".%1{width:%2px;height:%3px;background-image:url(%4)}\n")
                        .arg(p.Class)
                        .arg(p.Width)
                        .arg(p.Height)
                        .arg(p.Uri)
                        .toUtf8();
        html += "</style>\n<script type=\"application/json\" id=\"quorbel-help-index\">";
        html += Index();
        html += "</script>\n</head>\n<body>\n";
        html += body.toUtf8();
        html += "</body>\n</html>\n";
    }

    const THelpProject &P;
    THcwResult R;
    QList<std::shared_ptr<TRtfDocument>> Docs;
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

THcwResult CompileHelp(const THelpProject &project)
{
    return TCompiler(project).Run();
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
