#include "LangGen.h"

#include "core/ConfFiler.h"
#include "core/Hourglass.h"
#include "core/StringTable.h"
#include "core/appexec.h"

#include "CodePage.h"
#include "Dialogs.h"
#include "Paths.h"
#include "SafeFile.h"
#include "TableStore.h"
#include "ToolsApi.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <initializer_list>
#include <vector>

namespace {

const QLatin1StringView Crlf("\r\n");
constexpr int Asterisks = 63;

// Lines are added with their CR LF, so a file is one string to encode.
class TText {
public:
    void Line(const QString &line = {})
    {
        FText += line;
        FText += Crlf;
    }
    void Line(QLatin1StringView line)
    {
        FText += line;
        FText += Crlf;
    }
    void Reserve(qsizetype size) { FText.reserve(size); }
    const QString &Text() const { return FText; }

private:
    QString FText;
};

// The ten lines every file starts with. O and C are "/" for a script, "{"
// and "}" for Pascal.
void Header(TText &out, const QString &fileName, const QString &language, const QString &at,
            bool pascal)
{
    const QString stars(Asterisks, QLatin1Char('*'));
    out.Line((pascal ? QStringLiteral("{") : QStringLiteral("/")) + stars);
    out.Line();
    out.Line();
    out.Line(QStringLiteral("  ") + fileName);
    out.Line(LoadStr(txt::ProducedBy));
    out.Line(LoadStr(txt::Idiom) + QLatin1Char(' ') + language);
    out.Line(LoadStr(txt::GeneratedAt) + QLatin1Char(' ') + at);
    out.Line();
    out.Line();
    out.Line(stars + (pascal ? QStringLiteral("}") : QStringLiteral("/")));
}

struct TRecord {
    QString Id;
    QString Text;
};

// Every record in primary-index order, its text in the current language.
std::vector<TRecord> ReadStrings(TTable &table, int curLang)
{
    TField *id = table.FieldByName(QStringLiteral("idst"));
    TField *text = table.FieldByName(QStringLiteral("L%1").arg(curLang + 1));
    std::vector<TRecord> records;
    records.reserve(size_t(table.RecordCount()));
    table.SetIndexName(QString());
    for (table.First(); !table.Eof(); table.Next())
        records.push_back({id->AsString(), text->AsString()});
    return records;
}

// B.rc: the same in both variants.
TText ResourceScript(const QString &b, const TLanguageGenSettings &s, const QString &at,
                     const std::vector<TRecord> &records, qsizetype estimate)
{
    TText out;
    out.Reserve(estimate);
    Header(out, b + QStringLiteral(".rc"), s.LanguageName, at, false);
    out.Line();
    out.Line();
    out.Line(QLatin1StringView("STRINGTABLE"));
    out.Line(QLatin1StringView("{"));
    qint64 n = s.InitId;
    for (const TRecord &r : records)
        out.Line(QString::number(n++) + QLatin1StringView(",\t\t\"")
                 + ResourceScriptText(r.Text) + QLatin1Char('"'));
    out.Line(QLatin1StringView("}"));
    return out;
}

void Constants(TText &out, const std::vector<TRecord> &records, qint64 initId)
{
    qint64 n = initId;
    for (const TRecord &r : records)
        out.Line(QLatin1StringView("  ") + r.Id + QLatin1StringView(" = ") + QString::number(n++)
                 + QLatin1Char(';'));
}

// A rough size of a file of these records, to build it without regrowing.
qsizetype Estimate(const std::vector<TRecord> &records)
{
    qsizetype size = 2048;
    for (const TRecord &r : records)
        size += r.Id.size() + r.Text.size() + 24;
    return size;
}

QString LangDir(const QString &projectDir)
{
    return FindEntryNoCase(projectDir, QStringLiteral("LANG"));
}

void MakeDir(const QString &dir)
{
    if (!QDir().mkpath(dir))
        throw EInOutError(QStringLiteral("Cannot create the directory %1.").arg(dir));
}

void RemoveIfThere(const QString &path)
{
    QFile file(path);
    if (EntryExists(path) && !file.remove())
        throw EInOutError(QStringLiteral("Cannot delete %1: %2").arg(path, file.errorString()));
}

// The last .res becomes the .bak; the one before it is dropped.
void KeepBackup(const TLanguageFiles &files)
{
    RemoveIfThere(files.Bak);
    if (EntryExists(files.Res) && !QFile::rename(files.Res, files.Bak))
        throw EInOutError(QStringLiteral("Cannot move %1 to %2.").arg(files.Res, files.Bak));
}

// Every identifier must become a constant of the unit; the rows that
// cannot are named, by identifier and text, before any file is touched.
// names: what the unit itself declares, which a constant would redeclare.
void CheckIdentifiers(const std::vector<TRecord> &records, std::initializer_list<const char *> names)
{
    constexpr int Listed = 20;
    QStringList rows;
    int bad = 0;
    for (const TRecord &r : records) {
        const bool taken = std::any_of(names.begin(), names.end(), [&](const char *name) {
            return r.Id.compare(QLatin1String(name), Qt::CaseInsensitive) == 0;
        });
        if (IsPascalIdentifier(r.Id) && !taken)
            continue;
        if (++bad <= Listed) {
            const QString text = r.Text.size() > 30 ? r.Text.left(29) + QStringLiteral("...") : r.Text;
            rows << QStringLiteral("\"%1\" (%2)").arg(r.Id, text);
        }
    }
    if (bad == 0)
        return;
    if (bad > Listed)
        rows << QStringLiteral("... %1 more").arg(bad - Listed);
    throw ELanguageGen(LoadStr(txt::NotPascalIdentifiers).arg(rows.join(QLatin1Char('\n'))));
}

void CheckLanguage(const TLanguageGenSettings &settings)
{
    // Without a language no text can be read: nothing is written.
    if (settings.CurLang < 0 || settings.CurLang > 6)
        throw ELanguageGen(LoadStr(txt::ChooseLanguageFirst));
}

// The paths of one run's files in dir; second is the .lan or .dpr extension.
TLanguageFiles FilesIn(const QString &dir, const QString &b, const QString &projectDir, const QString &second)
{
    TLanguageFiles files;
    files.Dir = dir;
    const QString base = dir + PathDelim + b;
    files.Script = base + QStringLiteral(".rc");
    files.Second = base + second;
    files.Unit = projectDir + PathDelim + QStringLiteral("language.pas");
    files.Res = base + QStringLiteral(".res");
    files.Bak = base + QStringLiteral(".bak");
    return files;
}

// Each file whole, once all three texts are made.
void WriteFiles(TFileWriter &writer, const TLanguageFiles &files, const TText &script, const TText &second,
                const TText &unit)
{
    MakeDir(files.Dir);
    writer.Write(files.Script, EncodeText(script.Text()));
    writer.Write(files.Second, EncodeText(second.Text()));
    writer.Write(files.Unit, EncodeText(unit.Text()));
}

} // namespace

QString LanguageBaseName(const QString &languageName)
{
    return languageName.left(6) + QStringLiteral("ty");
}

QString GeneratedAtText(const QDateTime &when, const QLocale &locale)
{
    return locale.toString(when.date(), QLocale::ShortFormat) + QLatin1Char(' ')
        + when.time().toString(QStringLiteral("HH:mm:ss"));
}

bool IsPascalIdentifier(const QString &name)
{
    static const QStringList reserved = {
        "and", "array", "as", "asm", "begin", "case", "class", "const", "constructor",
        "destructor", "div", "do", "downto", "else", "end", "except", "exports", "file",
        "finalization", "finally", "for", "function", "goto", "if", "implementation", "in",
        "inherited", "initialization", "inline", "interface", "is", "label", "library", "mod",
        "nil", "not", "object", "of", "or", "packed", "procedure", "program", "property",
        "raise", "record", "repeat", "set", "shl", "shr", "string", "then", "threadvar", "to",
        "try", "type", "unit", "until", "uses", "var", "while", "with", "xor"};
    if (name.isEmpty() || name.at(0).isDigit())
        return false;
    for (const QChar c : name)
        if (!(c == QLatin1Char('_') || (c.unicode() < 0x80 && c.isLetterOrNumber())))
            return false;
    return !reserved.contains(name, Qt::CaseInsensitive);
}

QString ResourceScriptText(const QString &text)
{
    if (!text.contains(QLatin1Char('"')) && !text.contains(QLatin1Char('\\')))
        return text;
    QString escaped;
    escaped.reserve(text.size() + 8);
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            escaped += c;
        escaped += c;
    }
    return escaped;
}

TLanguageGenerator::TLanguageGenerator(const TAddinServices &services, TAppExec &exec, TClock clock)
    : FServices(services), FExec(exec), FClock(std::move(clock))
{
}

QString TLanguageGenerator::Now() const
{
    return GeneratedAtText(FClock ? FClock() : QDateTime::currentDateTime(), QLocale::system());
}

TLanguageFiles TLanguageGenerator::WriteUnitFiles(TTable &table, const TLanguageGenSettings &s)
{
    CheckLanguage(s);
    const QString b = LanguageBaseName(s.LanguageName);
    const std::vector<TRecord> records = ReadStrings(table, s.CurLang);
    CheckIdentifiers(records, {"language", "LangEx"});
    const qsizetype estimate = Estimate(records);
    const QString at = Now(); // one time in every file of a run
    const TText script = ResourceScript(b, s, at, records, estimate);

    TText lan;
    lan.Reserve(estimate);
    Header(lan, b + QStringLiteral(".lan"), s.LanguageName, at, true);
    lan.Line();
    lan.Line();
    lan.Line(QStringLiteral("{$R LANG\\") + b + QStringLiteral(".res }"));
    lan.Line();
    lan.Line(QLatin1StringView("const"));
    Constants(lan, records, s.InitId);

    TText unit;
    Header(unit, QStringLiteral("language.pas"), s.LanguageName, at, true);
    for (const char *line : {"", "unit language;", "", "interface", "", "uses Windows;", ""})
        unit.Line(QLatin1StringView(line));
    unit.Line(QStringLiteral("{$I lang\\") + b + QStringLiteral(".lan}"));
    for (const char *line :
         {"", "function LangEx(Value: integer):string;", "", "implementation", "",
          "function LangEx(Value: integer):string;", "var",
          "   Buffer: array[0..1023] of Char;", "begin",
          "   SetString(Result, Buffer, LoadString(HInstance, Value, Buffer, SizeOf(Buffer)));",
          "end;", "", "end."})
        unit.Line(QLatin1StringView(line));

    const TLanguageFiles files = FilesIn(LangDir(s.ProjectDir), b, s.ProjectDir, QStringLiteral(".lan"));
    WriteFiles(FServices.writer(), files, script, lan, unit);
    return files;
}

TLanguageFiles TLanguageGenerator::WriteLibraryFiles(TTable &table, const TLanguageGenSettings &s)
{
    CheckLanguage(s);
    const QString b = LanguageBaseName(s.LanguageName);
    const std::vector<TRecord> records = ReadStrings(table, s.CurLang);
    CheckIdentifiers(records, {"language", "LangEx", "LibHandle", "Flang", "clib", "cFile"});
    const qsizetype estimate = Estimate(records);
    const QString at = Now(); // one time in every file of a run
    const TText script = ResourceScript(b, s, at, records, estimate);

    TText dpr;
    Header(dpr, b + QStringLiteral(".dpr"), s.LanguageName, at, true);
    dpr.Line(QStringLiteral("Library ") + b + QLatin1Char(';'));
    dpr.Line();
    dpr.Line(QLatin1StringView("uses WinProcs;"));
    dpr.Line(QStringLiteral("{$R ") + b + QLatin1Char('}'));
    dpr.Line();
    dpr.Line(QLatin1StringView("begin"));
    dpr.Line(QLatin1StringView("end."));
    dpr.Line();

    TText unit;
    unit.Reserve(estimate);
    Header(unit, QStringLiteral("language.pas"), s.LanguageName, at, true);
    for (const char *line : {"", "unit language;", "", "interface",
                             "uses Forms,WinProcs,Windows,SysUtils,Dialogs;", "const"})
        unit.Line(QLatin1StringView(line));
    Constants(unit, records, s.InitId);
    for (const char *line :
         {"", "  function LangEx(Value: integer):string;", "", "var", "  LibHandle: Longint; ",
          "  Flang: TextFile;", "  clib,cFile: string;", "", "", "implementation", "",
          "function LangEx(Value: integer):string;", "var", "   Buffer: array[0..1023] of Char;",
          "begin",
          "   SetString(Result, Buffer, LoadString(LibHandle, Value, Buffer, SizeOf(Buffer)));",
          "end;", "", "initialization",
          "cFile := ExtractFileDir( Application.Exename)+'\\lang.sys';",
          "if FileExists( cFile ) then begin", "    AssignFile( FLang, cFile );",
          "    Reset( FLang );", "    Readln(FLang, cLib);", "    CloseFile( FLang);",
          "end else"})
        unit.Line(QLatin1StringView(line));
    unit.Line(QStringLiteral("    cLib :='") + b + QStringLiteral(".dll';"));
    unit.Line(QLatin1StringView("LibHandle := LoadLibrary( PChar(cLib) );"));
    unit.Line(QLatin1StringView("if LibHandle < 32 then begin"));
    unit.Line(QStringLiteral("   ShowMessage( cLib+ ':Error ") + LoadStr(txt::ResourceLibNotLoaded)
              + QStringLiteral("');"));
    for (const char *line : {"   Application.Terminate;", "end;", "finalization",
                             "      if LibHandle > 32 then FreeLibrary( LibHandle );", "",
                             "end."})
        unit.Line(QLatin1StringView(line));

    TLanguageFiles files =
        FilesIn(FindEntryNoCase(LangDir(s.ProjectDir), b), b, s.ProjectDir, QStringLiteral(".dpr"));
    files.Dll = files.Dir + PathDelim + b + QStringLiteral(".dll");
    WriteFiles(FServices.writer(), files, script, dpr, unit);
    return files;
}

void TLanguageGenerator::RunTool(TConfFiler &conf, int kind, THourglass &hourglass,
                                 const QString &dir, const QString &file, int failureId)
{
    FExec.ExeParams().clear();
    FExec.SetExePath(dir);
    // The language's name, and so the file's, may hold blanks.
    FExec.SetExeArguments({file});
    for (bool again = false;; again = true) {
        FExec.SetExeName(conf.Path(kind));
        try {
            FExec.Execute();
            return;
        } catch (const EAppExecWinExec &e) {
            const QString text = LoadStr(failureId) + QStringLiteral("\n\n") + e.message();
            if (again)
                throw ELanguageGen(text);
            hourglass.Done();
            switch (conf.AskAgainAfterFailedStart(kind, text)) {
            case TConfFiler::TAskAgain::NotAsked: throw ELanguageGen(text);
            case TConfFiler::TAskAgain::Cancelled: throw EHostAbort(text); // shown: the run ends
            case TConfFiler::TAskAgain::Chosen: break;
            }
            hourglass.Start();
        } catch (const EAppExec &e) {
            throw ELanguageGen(LoadStr(failureId) + QStringLiteral("\n\n") + e.message());
        }
    }
}

QString TLanguageGenerator::CompileFailure(int failureId) const
{
    const QString printed = FExec.LastOutputLines();
    return printed.isEmpty() ? LoadStr(failureId)
                             : LoadStr(failureId) + QStringLiteral("\n\n") + printed;
}

void TLanguageGenerator::BuildLanguageUnit(TTable &table, const TLanguageGenSettings &settings)
{
    const TLanguageFiles files = WriteUnitFiles(table, settings);
    THourglass hourglass;
    KeepBackup(files);
    // The tool's path may need a file dialog: no hourglass over it.
    hourglass.Done();
    TConfFiler conf(FServices);
    conf.GetBrccPath();
    hourglass.Start();
    RunTool(conf, TConfFiler::BrccKind, hourglass, files.Dir,
            LanguageBaseName(settings.LanguageName) + QStringLiteral(".rc"), txt::ResourceCompileError);
    hourglass.Done();
    if (!FileExists(files.Res))
        FServices.dialogs().ShowMessage(CompileFailure(txt::ResourceCompileError));
}

void TLanguageGenerator::BuildLanguageLibrary(TTable &table, const TLanguageGenSettings &settings)
{
    const TLanguageFiles files = WriteLibraryFiles(table, settings);
    const QString b = LanguageBaseName(settings.LanguageName);
    THourglass hourglass;
    KeepBackup(files);
    hourglass.Done();
    // One TConfFiler for both tools, as both are asked in one run.
    TConfFiler conf(FServices);
    conf.GetBrccPath();
    hourglass.Start();
    RunTool(conf, TConfFiler::BrccKind, hourglass, files.Dir, b + QStringLiteral(".rc"), txt::ResourceCompileError);
    if (!FileExists(files.Res))
        throw ELanguageGen(CompileFailure(txt::ResourceCompileError));
    hourglass.Done();
    conf.GetDccPath();
    hourglass.Start();
    // The numbers were given afresh: a library from an earlier run would
    // answer with the wrong strings, and must not pass for this run's.
    RemoveIfThere(files.Dll);
    RunTool(conf, TConfFiler::DccKind, hourglass, files.Dir, b + QStringLiteral(".dpr"), txt::DllNotCompiled);
    if (!FileExists(files.Dll))
        throw ELanguageGen(CompileFailure(txt::DllNotCompiled));
}
