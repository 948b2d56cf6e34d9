// Generation of the help sources from the help table: the map file, the help
// project (only when missing) and the rich-text document with one page per
// topic. Plain logic over the data module's help table and Query1; the
// progress dialog TFCWord shows what it reports.
#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class TFileWriter;
class TSYS;

// The files of a project P: D its directory, N its name up to and including
// the first dot ("App." for App.dpr), H the help directory HLP below D
// (an existing entry of another letter case answers for it).
struct THelpFiles {
    QString ProjectDir; // D
    QString BaseName;   // N
    QString HelpDir;    // H
    QString MapFile;    // H/map.def
    QString ProjectFile; // H/N + "hpj"
    QString Document;   // H/N + "rtf"
    QString HelpFile;   // D/N + "hlp"
    QString ErrorLog;   // D/N + "ERR"
};
THelpFiles HelpFilesFor(const QString &projectFileName);

// The title trimmed of blanks and control characters at both ends, with
// every remaining blank turned into "_".
QString ContextString(const QString &title);
// The text trimmed the same way, each line end marked "\par ": a carriage
// return becomes "\par " (its line feed stays), and so does a line feed
// without one before it, keeping the line feed. Nothing else changes, so a
// text may carry its own rich-text groups.
QString TopicBody(const QString &text);
// Rich-text bytes: Windows-1252, with "\uN?" (N a signed 16-bit number, one
// per UTF-16 unit) for every character the code page cannot hold.
QByteArray RtfAnsi(const QString &text);

class THelpGenerator {
public:
    // data: the help table Table2, open, and Query1 on its directory.
    THelpGenerator(TSYS &data, TFileWriter &writer, const QString &projectFileName);

    const THelpFiles &Files() const { return FFiles; }

    // Called after each record of a pass with the percentage done, and with
    // the help project's steps; the dialog repaints there.
    std::function<void(int percent)> OnProgress;
    // The document's status texts.
    std::function<void(const QString &text)> OnStatus;

    // Each writes a whole file through the writer; errors are thrown.
    void WriteMapFile();
    // False when the help project exists already: it is left as it is.
    bool WriteHelpProject();
    // An error while the pages are made still writes what was made, closed
    // by the final "}", before it is thrown on.
    void WriteDocument();

    // The bytes each step writes.
    QByteArray MapFileBytes();
    QByteArray HelpProjectBytes();

private:
    void Progress(int percent);
    void ContentsPage(QByteArray &out);
    void TopicPages(QByteArray &out);

    TSYS &FData;
    TFileWriter &FWriter;
    THelpFiles FFiles;
};
