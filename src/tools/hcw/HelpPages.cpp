// hcw's pages: each topic of a document as HTML, its looks as rules of the
// style sheet and its pictures stored once for the whole file.
#include "HelpCompilerParts.h"

#include "Exception.h"
#include "SafeFile.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImage>
#include <QUrl>

namespace Hcw {

namespace {

constexpr qint64 MaxBitmapBytes = 64 * 1024 * 1024;

QString Href(const QString &id)
{
    return QLatin1Char('#') + QString::fromLatin1(QUrl::toPercentEncoding(id, "-_.~!$'()*+,;=:@/?"));
}

} // namespace

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

QString TCompiler::Picture(const QString &name, const QString &file, int line)
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

QString TCompiler::CharCss(const TRtfDocument &doc, const TRtfCharStyle &s) const
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

QString TCompiler::StyleClass(const QString &css, QChar prefix)
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

void TCompiler::Inline(QString &out, const TSource &s, const TRtfItem &item)
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

void TCompiler::Paragraph(QString &out, const TRtfParaStyle &para, const QString &content, bool &any, QString &blanks)
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

void TCompiler::Topic(QString &out, const TTopic &t, const TRtfTopic &page, const TSource &s)
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

} // namespace Hcw
