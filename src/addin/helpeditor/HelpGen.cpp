#include "HelpGen.h"

#include "CodePage.h"
#include "Paths.h"
#include "SafeFile.h"
#include "core/DM.h"
#include "core/StringTable.h"

namespace {

const QByteArray CrLf("\r\n");

bool IsBlankOrControl(QChar c)
{
    return c.unicode() <= 0x20;
}

QString Trim(const QString &text)
{
    qsizetype first = 0, last = text.size();
    while (first < last && IsBlankOrControl(text.at(first)))
        ++first;
    while (last > first && IsBlankOrControl(text.at(last - 1)))
        --last;
    return text.mid(first, last - first);
}

// One line of the document, CR LF at its end.
void Line(QByteArray &out, const QString &text)
{
    out += RtfAnsi(text);
    out += CrLf;
}

void Line(QByteArray &out, const char *latin1)
{
    out += latin1;
    out += CrLf;
}

} // namespace

THelpFiles HelpFilesFor(const QString &projectFileName)
{
    THelpFiles files;
    files.ProjectDir = ExtractFileDir(projectFileName);
    const QString name = ExtractFileName(projectFileName);
    const qsizetype dot = name.indexOf(QLatin1Char('.'));
    files.BaseName = dot < 0 ? name : name.left(dot + 1);
    files.HelpDir = FindEntryNoCase(files.ProjectDir, QStringLiteral("HLP"));
    files.MapFile = FindEntryNoCase(files.HelpDir, QStringLiteral("map.def"));
    files.ProjectFile = FindEntryNoCase(files.HelpDir, files.BaseName + QStringLiteral("hpj"));
    files.Document = FindEntryNoCase(files.HelpDir, files.BaseName + QStringLiteral("rtf"));
    files.HelpFile = files.ProjectDir + PathDelim + files.BaseName + QStringLiteral("hlp");
    files.ErrorLog = files.ProjectDir + PathDelim + files.BaseName + QStringLiteral("ERR");
    return files;
}

QString ContextString(const QString &title)
{
    QString context = Trim(title);
    context.replace(QLatin1Char(' '), QLatin1Char('_'));
    return context;
}

QString TopicBody(const QString &text)
{
    const QString trimmed = Trim(text);
    QString body;
    body.reserve(trimmed.size() + trimmed.size() / 8);
    for (qsizetype i = 0; i < trimmed.size(); ++i) {
        const QChar c = trimmed.at(i);
        if (c == QLatin1Char('\r')) {
            body += QLatin1String("\\par ");
        } else if (c == QLatin1Char('\n') && (i == 0 || trimmed.at(i - 1) != QLatin1Char('\r'))) {
            // Texts typed on Linux end their lines with a line feed only.
            body += QLatin1String("\\par \n");
        } else {
            body += c;
        }
    }
    return body;
}

QByteArray RtfAnsi(const QString &text)
{
    if (FitsAnsi(text))
        return ToAnsi(text);
    QByteArray out;
    out.reserve(text.size() + 16);
    for (const QChar c : text) {
        const QString one(c);
        if (!c.isSurrogate() && FitsAnsi(one)) {
            out += ToAnsi(one);
        } else {
            out += "\\u";
            out += QByteArray::number(int(int16_t(c.unicode())));
            out += '?';
        }
    }
    return out;
}

THelpGenerator::THelpGenerator(TSYS &data, TFileWriter &writer, const QString &projectFileName)
    : FData(data), FWriter(writer), FFiles(HelpFilesFor(projectFileName))
{
}

void THelpGenerator::Progress(int percent)
{
    if (OnProgress)
        OnProgress(percent);
}

QByteArray THelpGenerator::MapFileBytes()
{
    TTable &table = FData.Table2;
    table.SetFiltered(false);
    const int count = table.RecordCount();
    QString text;
    int done = 0;
    for (table.First(); !table.Eof(); table.Next()) {
        text += ContextString(FData.Table2Titulo->AsString()) + QLatin1String(" = ")
                + QString::number(FData.Table2Map->AsInteger()) + QLatin1String("\r\n");
        Progress(count ? ++done * 100 / count : 100);
    }
    return EncodeText(text);
}

void THelpGenerator::WriteMapFile()
{
    FWriter.Write(FFiles.MapFile, MapFileBytes());
}

QByteArray THelpGenerator::HelpProjectBytes()
{
    const QString &n = FFiles.BaseName;
    QString text;
    const auto line = [&](const QString &l) { text += l + QLatin1String("\r\n"); };
    line(QStringLiteral("[OPTIONS] "));
    line(QStringLiteral("HCW=0 "));
    line(QStringLiteral("COMPRESS=12 Hall Zeck "));
    line(QStringLiteral("ERRORLOG=..\\") + n + QStringLiteral("ERR "));
    line(QStringLiteral("IGNORE=HC3048"));
    line(QStringLiteral("NOTES=0"));
    Progress(20);
    line(QStringLiteral("REPORT=Yes "));
    line(QStringLiteral("CONTENTS=") + LoadStr(txt::ContentsTitle));
    line(QStringLiteral("TITLE=") + n + QStringLiteral("hlp "));
    line(QStringLiteral("COPYRIGHT=Insert you CopyRight Notice "));
    Progress(40);
    line(QStringLiteral("ROOT=. "));
    line(QStringLiteral("HLP=..\\") + n + QStringLiteral("hlp "));
    line(QStringLiteral("[MAP]"));
    Progress(50);
    line(QStringLiteral("#INCLUDE .\\MAP.DEF"));
    line(QStringLiteral(" "));
    line(QStringLiteral("[FILES] "));
    line(n + QStringLiteral("RTF "));
    Progress(70);
    line(QStringLiteral(" "));
    line(QStringLiteral("[WINDOWS] "));
    line(QStringLiteral("main=\"\",,0,(r15138815),(r12632256) "));
    Progress(100);
    return EncodeText(text);
}

bool THelpGenerator::WriteHelpProject()
{
    // The user's own changes to an existing project survive.
    if (EntryExists(FFiles.ProjectFile))
        return false;
    FWriter.Write(FFiles.ProjectFile, HelpProjectBytes());
    return true;
}

void THelpGenerator::ContentsPage(QByteArray &out)
{
    TTable &table = FData.Table2;
    const QString c1 = LoadStr(txt::ContentsTopic), c2 = LoadStr(txt::ContentsTitle),
                  c3 = LoadStr(txt::ContentsKeywords);
    Line(out, QStringLiteral("\\super #{\\footnote \\super # ") + c1 + QLatin1Char('}'));
    Line(out, QStringLiteral("\\super ${\\footnote \\super $ ") + c2 + QLatin1Char('}'));
    Line(out, QStringLiteral("\\super K{\\footnote \\super K ") + c3 + QLatin1Char('}'));
    Line(out, QStringLiteral("\\plain \\li120\\sb340\\sa120\\sl-320 \\f2\\fs45 \\cf2 \\keepn ") + c1
                  + QStringLiteral(" \\par \\pard \\plain \\li120 \\f4\\fs20"));
    if (table.Locate(QStringLiteral("Titulo"), c1))
        Line(out, QStringLiteral("\\par \\pard\\plain \\li120 \\f4\\fs20 ") + TopicBody(FData.Table2TExto->AsString())
                      + QStringLiteral(" \\par"));
    {
        TFilterScope topLevel(table, QStringLiteral("level=1"));
        for (table.First(); !table.Eof(); table.Next()) {
            if (FData.Table2Popup->AsBoolean())
                continue;
            const QString title = FData.Table2Titulo->AsString();
            Line(out, QStringLiteral("\\par{\\uldb \\{bmc bola.bmp\\}") + title + QLatin1Char('}'));
            Line(out, QStringLiteral("{\\v ") + ContextString(title) + QLatin1Char('}'));
        }
    }
    Line(out, "\\par\\page");
}

void THelpGenerator::TopicPages(QByteArray &out)
{
    TTable &table = FData.Table2;
    TQuery &query = FData.Query1;
    if (OnStatus)
        OnStatus(LoadStr(txt::GeneratingHelpPages));
    Progress(0);
    const int count = table.RecordCount();
    int done = 0;
    for (table.First(); !table.Eof(); table.Next()) {
        const QString title = FData.Table2Titulo->AsString();
        const bool popup = FData.Table2Popup->AsBoolean();
        Line(out, QStringLiteral("\\super #{\\footnote \\super # ") + ContextString(title) + QLatin1Char('}'));
        if (!popup) {
            Line(out, QStringLiteral("\\super ${\\footnote \\super $ ") + title + QLatin1Char('}'));
            Line(out, QStringLiteral("\\super K{\\footnote \\super K ") + FData.Table2Keyword->AsString()
                          + QLatin1Char('}'));
            Line(out, QStringLiteral("\\pard\\plain \\li120\\sb340\\sa120\\sl-320 \\f2\\fs45 \\cf2 \\keepn ") + title);
        }
        Line(out, QStringLiteral("\\par \\pard\\plain \\li120 \\f4\\fs20 ") + TopicBody(FData.Table2TExto->AsString())
                      + QStringLiteral(" \\par"));
        query.Close();
        query.ParamByName(QStringLiteral("Numero")).SetAsInteger(FData.Table2Map->AsInteger());
        query.Open();
        for (; !query.Eof(); query.Next()) {
            const QString sub = FData.Query1Titulo->AsString();
            if (FData.Query1Popup->AsBoolean())
                Line(out, QStringLiteral("\\par{\\ul ") + sub + QLatin1Char('}'));
            else
                Line(out, QStringLiteral("\\par{\\uldb \\{bmc boton.bmp\\} ") + sub + QLatin1Char('}'));
            Line(out, QStringLiteral("{\\v ") + ContextString(sub) + QLatin1Char('}'));
        }
        query.Close();
        Line(out, "\\par\\page");
        Progress(count ? ++done * 100 / count : 100);
    }
}

void THelpGenerator::WriteDocument()
{
    if (OnStatus)
        OnStatus(LoadStr(txt::GeneratingHelpPages));
    QByteArray out;
    const char *head[] = {"{\\rtf1\\ansi\\deff0\\deflang1024",
                          "{\\fonttbl",
                          "{\\f0\\froman Times New Roman;}",
                          "{\\f1\\froman Symbol;}",
                          "{\\f2\\fswiss Arial;}",
                          "{\\f3\\froman MS Serif;}",
                          "{\\f4\\fswiss MS Sans Serif;}",
                          "}",
                          "{\\colortbl;",
                          "\\red0\\green0\\blue0;",
                          "\\red0\\green0\\blue255;",
                          "\\red0\\green255\\blue0;",
                          "\\red255\\green0\\blue0;",
                          "\\red255\\green255\\blue255; }"};
    for (const char *line : head)
        Line(out, line);
    try {
        ContentsPage(out);
        TopicPages(out);
    } catch (...) {
        // What was made is closed and kept, as a file written line by line
        // would be.
        Line(out, "}");
        FWriter.Write(FFiles.Document, out);
        throw;
    }
    Line(out, "}");
    FWriter.Write(FFiles.Document, out);
}
