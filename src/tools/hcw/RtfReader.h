// The rich-text subset help documents use: pages split by \page, the
// footnotes # $ K, jumps (double-underlined text, then the target as hidden
// text), pop-ups (single underline, then hidden text), \{bmc file\} pictures,
// fonts, sizes, bold, italic and colour. Everything else is read past.
#pragma once

#include <QByteArray>
#include <QColor>
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

struct TRtfCharStyle {
    int Font = 0;       // index into the font table
    int HalfPoints = 24; // \fsN
    int Color = 0;      // index into the colour table, 0: automatic
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool DoubleUnderline = false;
    bool Hidden = false;
    bool Super = false;
    bool operator==(const TRtfCharStyle &) const = default;
};

struct TRtfParaStyle {
    int LeftIndent = 0; // twips
    int SpaceBefore = 0;
    int SpaceAfter = 0;
    bool KeepNext = false; // \keepn: the non-scrolling region of a topic
};

struct TRtfItem {
    enum Kind { Run, Paragraph, LineBreak, Bitmap, Link };
    Kind Type = Run;
    QString Text;         // Run; Bitmap: the file name
    TRtfCharStyle Style;  // Run, Bitmap, Link
    TRtfParaStyle Para;   // Paragraph: the format of the paragraph it closes
    QString Target;       // Link: the context string
    bool Popup = false;   // Link: single underline
    QList<TRtfItem> Content; // Link: its visible text and pictures
    int Line = 0;
};

struct TRtfTopic {
    QString Context;      // # footnote (the first one)
    QString Title;        // $ footnote
    QStringList Keywords; // K footnotes, split at ';'
    bool HasTitle = false;
    int Line = 0;         // where the page starts
    int ContextLine = 0;  // where its # footnote is
    QList<TRtfItem> Items;
};

struct TRtfFont {
    QString Name;
    QString Family; // froman, fswiss, fmodern...
};

struct TRtfDocument {
    QList<TRtfFont> Fonts;   // by \fN number; missing numbers are empty
    QList<QColor> Colors;    // index 0 is "automatic" (invalid colour)
    QList<TRtfTopic> Topics; // pages with any content or footnote
};

// Something wrong with the document as a whole, found once it is read.
struct TRtfProblem {
    int Line = 0;
    QString Text;
};

// Receives the pages of a document one at a time, as they are read.
class TRtfSink {
public:
    virtual ~TRtfSink() = default;
    // A page with content; the topic may be moved from. doc holds the font
    // and colour tables read so far.
    virtual void Topic(TRtfTopic &topic, const TRtfDocument &doc) = 0;
};

class TRtfParser;

// A document read in chunks of any size, holding only the page being read.
// Never throws: what it cannot read is skipped.
class TRtfStreamReader {
public:
    explicit TRtfStreamReader(TRtfSink &sink);
    ~TRtfStreamReader();
    void Feed(const char *data, qsizetype size);
    // The end of the document: its last page goes to the sink.
    void Finish();
    // The font and colour tables (no topics).
    const TRtfDocument &Document() const;
    // After Finish: unbalanced braces.
    const QList<TRtfProblem> &Problems() const;

private:
    std::unique_ptr<TRtfParser> D;
};

// Reads a whole document. Never throws: what it cannot read is skipped, so
// any bytes give some document.
TRtfDocument ReadRtf(const QByteArray &bytes);

// The pages of a document counted by a plain scan for \page, with no other
// reading: the floor the reader's speed is measured against.
int CountRtfPages(const QByteArray &bytes);
