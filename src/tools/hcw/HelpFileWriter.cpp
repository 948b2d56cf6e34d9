// hcw's help file: the head with its style sheet and the index, then the
// pages copied from the spool.
#include "HelpCompilerParts.h"

#include "HelpFileFormat.h"

#include <QFileInfo>

#include <algorithm>

namespace Hcw {

void TCompiler::Flush(QByteArray &buffer, bool force)
{
    if (force || buffer.size() >= ChunkBytes) {
        Emit(buffer);
        buffer.clear();
    }
}

void TCompiler::WriteIndex(QByteArray &o)
{
    using namespace HelpFile;
    bool first = true;
    o += '{';
    WriteKey(o, Key::Config, first);
    WriteStrings(o, P.Config);
    WriteKey(o, Key::Contents, first);
    WriteString(o, Topics.isEmpty() ? QString() : Topics.first().Id);

    // Keywords, each with its topics in the file's order.
    QHash<QString, QList<int>> byKeyword;
    for (int i = 0; i < Topics.size(); ++i)
        for (const QString &k : Topics[i].Keywords)
            byKeyword[k].append(i);
    QStringList keywords = byKeyword.keys();
    std::sort(keywords.begin(), keywords.end(), KeyLess);
    WriteKey(o, Key::Keywords, first);
    o += '{';
    bool firstKeyword = true;
    for (const QString &k : keywords) {
        WriteKey(o, k, firstKeyword);
        o += '[';
        const QList<int> &ids = byKeyword[k];
        for (qsizetype i = 0; i < ids.size(); ++i) {
            if (i)
                o += ',';
            WriteString(o, Topics[ids[i]].Id);
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
    WriteKey(o, Key::Map, first);
    o += '{';
    bool firstNumber = true;
    for (const auto &[number, id] : map) {
        WriteKey(o, number, firstNumber);
        WriteString(o, id);
    }
    o += '}';
    Flush(o);

    WriteKey(o, Key::Messages, first);
    o += '[';
    for (qsizetype i = 0; i < R.Messages.size(); ++i) {
        if (i)
            o += ',';
        WriteRecord(o, R.Messages[i]);
        Flush(o);
    }
    o += ']';

    QList<const TPicture *> pictures;
    for (const TPicture &p : Pictures)
        pictures.append(&p);
    std::sort(pictures.begin(), pictures.end(), [](const TPicture *a, const TPicture *b) { return a->Class < b->Class; });
    WriteKey(o, Key::Pictures, first);
    o += '{';
    bool firstPicture = true;
    for (const TPicture *p : pictures) {
        WriteKey(o, p->Class, firstPicture);
        WriteRecord(o, THelpPictureRecord{p->Name, p->Height, p->Uri, p->Width});
        Flush(o);
    }
    o += '}';

    WriteKey(o, Key::Title, first);
    WriteString(o, P.Title());

    WriteKey(o, Key::Topics, first);
    o += '[';
    for (qsizetype i = 0; i < Topics.size(); ++i) {
        const TTopic &t = Topics[i];
        if (i)
            o += ',';
        WriteRecord(o, THelpTopicRecord{t.Context, t.Id, t.Keywords, t.Numbers, !t.HasTitle, t.Title});
        Flush(o);
    }
    o += ']';

    // A window named twice: the last one counts.
    QHash<QString, const THelpWindow *> byName;
    for (const THelpWindow &w : P.Windows)
        byName.insert(w.Name, &w);
    QStringList names = byName.keys();
    std::sort(names.begin(), names.end(), KeyLess);
    WriteKey(o, Key::Windows, first);
    o += '{';
    bool firstWindow = true;
    for (const QString &name : names) {
        const THelpWindow &w = *byName.value(name);
        WriteKey(o, name, firstWindow);
        WriteRecord(o, THelpWindowRecord{w.Caption, w.NonScroll.isValid() ? CssColor(w.NonScroll) : QString(),
                                         w.Topic.isValid() ? CssColor(w.Topic) : QString()});
    }
    o += "}}";
}

void TCompiler::Write()
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
    html += "</style>\n";
    html += HelpFile::IndexOpen;
    WriteIndex(html);
    html += HelpFile::IndexClose;
    html += "\n</head>\n<body>\n";
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

} // namespace Hcw
