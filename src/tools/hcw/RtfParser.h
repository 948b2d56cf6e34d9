// The rich-text reader's state machine, shared by the files that hold it:
// the bytes, groups and characters (RtfReader.cpp), the control words
// (RtfWords.cpp), and pictures, links, footnotes and pages (RtfPages.cpp).
#pragma once

#include "RtfReader.h"

#include <QByteArray>

#include <array>
#include <vector>

// The reader's own names, kept out of the way of the rest of hcw.
namespace Rtf {

enum class TDest { Body, Footnote, FontTable, ColorTable, Skip };

struct TState {
    TRtfCharStyle Char;
    TRtfParaStyle Para;
    TDest Dest = TDest::Body;
    int Uc = 1; // fallback characters after \uN
    int OpenLine = 1; // of the group's "{"
};

inline bool IsLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
inline bool IsDigit(char c) { return c >= '0' && c <= '9'; }

} // namespace Rtf

class TRtfParser {
public:
    explicit TRtfParser(TRtfSink &sink) : Sink(sink) { Stack.push_back(Rtf::TState{}); }

    // Reads bytes; a control word cut at the end waits in Carry for the next
    // chunk, so any split of the bytes reads the same.
    void Feed(const char *data, qsizetype size, bool last);
    void Finish();

    const TRtfDocument &Doc() const { return FDoc; }
    const QList<TRtfProblem> &Problems() const { return FProblems; }

private:
    // A control word longer than this is read as it stands, cut or not.
    static constexpr qsizetype MaxCarry = 64 * 1024;
    // Groups deeper than this are counted, not kept: a file of braces
    // would otherwise hold a state per byte.
    static constexpr qsizetype MaxDepth = 4096;

    Rtf::TState &S() { return Stack.back(); }

    void Parse(const char *p, qsizetype n, bool last);
    void OpenGroup();
    void EndGroup();
    // Returns the index after the control word or symbol starting at i, or
    // -1 when the bytes end inside it and more may follow (not final).
    qsizetype Control(const char *p, qsizetype n, qsizetype i, bool final);
    void Byte(uchar b);
    void Char(QChar ch);
    void Text(QChar ch);

    void Word(const QByteArray &w, bool hasParam, int param);

    // \\ \{ \}: literal characters; in the body, \{ \} also delimit pictures.
    void Symbol(char c);
    void AbortCapture();
    void Literal(const QString &text);
    // A visible text or picture: part of a link while underlined.
    void Visible(TRtfItem &&item);
    static void Add(QList<TRtfItem> &items, TRtfItem &&item);
    // Hidden text after underlined text names the link's target.
    void FlushHidden();
    // Underlined text with no target after it stays plain underlined text.
    void FlushPending();
    void Paragraph(TRtfItem::Kind kind);
    void Started();
    // The mark in the text that stands for a footnote: superscript, or one of
    // the signs help footnotes use (a letter such as K only when raised).
    void DropFootnoteMark();
    void EndFootnote();
    void EndPage();
    // Pages break at one depth; the first break deeper than that shows
    // where a "{" was left open, which the end of the file cannot: there
    // the document's own "}" has closed it.
    void PageDepth();
    void Balance();

    TRtfSink &Sink;
    TRtfDocument FDoc;
    QList<TRtfProblem> FProblems;
    QByteArray Carry;
    std::vector<Rtf::TState> Stack;
    qsizetype Overflow = 0;
    int ExtraCloses = 0;
    int ExtraCloseLine = 0;
    qsizetype PageBreakDepth = -1;
    int StrayOpenLine = 0;
    int Line = 1;
    int DefaultFont = 0;
    int SkipFallback = 0;

    TRtfTopic Topic;
    bool TopicStarted = false;
    QList<TRtfItem> Pending;
    bool PendingPopup = false;
    QString Hidden;
    int HiddenLine = 0;

    bool Capturing = false;
    QString Capture;
    int CaptureLine = 0;

    QString FootText;
    int FootLine = 0;

    int FontNumber = -1;
    QString FontName;
    QString FontFamily;
    std::array<int, 3> Rgb{0, 0, 0};
    bool RgbSet = false;};
