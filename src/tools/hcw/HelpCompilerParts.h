// The compiler's parts, shared by the files that hold them: the two passes
// over the documents (HelpCompiler.cpp), the pages as HTML (HelpPages.cpp)
// and the help file's head and index (HelpFileWriter.cpp).
#pragma once

#include "HelpCompiler.h"
#include "RtfReader.h"

#include <QHash>
#include <QMap>
#include <QTemporaryFile>

namespace Hcw {

// Documents are read, and pages copied, this much at a time.
constexpr qint64 ChunkBytes = 1024 * 1024;

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

struct TPicture {
    QString Class, Name;
    int Width, Height;
    QString Uri;
};

// Text as HTML character data or an attribute's value.
QString Escape(const QString &text);
QString CssColor(const QColor &c);

class TCompiler {
public:
    TCompiler(const THelpProject &project, QIODevice *out, const QString &spoolDir)
        : P(project), Out(out), SpoolDir(spoolDir)
    {
    }

    THcwResult Run();

private:
    void Message(const QString &file, int line, const QString &text, bool error = true);
    void WriteFailed(const QString &why);
    // Streams the document through the reader; false when it cannot be read.
    bool ReadDocument(const QString &path, TRtfStreamReader &reader, QString &why);
    void Index(const TSourceFile &f);
    // Second pass over one document: each page converted and written.
    void Pages(int index);
    bool OpenSpool();
    void Spool(const QString &html);
    void Emit(const QByteArray &bytes);
    void AssignIds();
    void MapNumbers();
    const TTopic *Target(const QString &context) const;

    // The picture's class ("bm0", "bm1"...), empty when it cannot be read.
    // Each picture is stored once, in the style sheet and the index, however
    // many pages show it: a bullet on 20,000 pages would otherwise be most of
    // the file.
    QString Picture(const QString &name, const QString &file, int line);
    QString CharCss(const TRtfDocument &doc, const TRtfCharStyle &s) const;
    // Each distinct look is one rule of the style sheet, named cN or pN: the
    // same few fonts on 20,000 pages would otherwise triple the file.
    QString StyleClass(const QString &css, QChar prefix);
    void Inline(QString &out, const TSource &s, const TRtfItem &item);
    // Empty paragraphs are blank lines between text; those at the start and
    // end of a page (the \par\page that ends each) are left out.
    void Paragraph(QString &out, const TRtfParaStyle &para, const QString &content, bool &any, QString &blanks);
    void Topic(QString &out, const TTopic &t, const TRtfTopic &page, const TSource &s);

    // Flushed to the output now and then, so the index never sits whole in memory.
    void Flush(QByteArray &buffer, bool force = false);
    void WriteIndex(QByteArray &o);
    void Write();

    const THelpProject &P;
    QIODevice *Out;
    QString SpoolDir;
    QTemporaryFile SpoolFile;
    THcwResult R;
    QList<TSource> Sources;
    QList<TTopic> Topics;
    QHash<QString, int> ByContext; // lower-case context -> first topic
    QMap<int, QString> MapIds;
    QList<TPicture> Pictures;
    QHash<QString, QString> Classes; // CSS -> class name
    QStringList Rules;
    QHash<QString, QString> PictureClass; // lower-case name -> class, empty when missing
};

} // namespace Hcw
