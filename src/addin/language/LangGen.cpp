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

namespace {

constexpr int Asterisks = 63;

// A generated file, written straight into its bytes as its lines are added;
// each line ends in CR LF.
class TText {
public:
    TText &operator<<(QStringView text)
    {
        FText.Append(text);
        return *this;
    }
    TText &operator<<(const QString &text) { return *this << QStringView(text); }
    TText &operator<<(QLatin1StringView text)
    {
        FText.Append(text);
        return *this;
    }
    TText &operator<<(const char *text) { return *this << QLatin1StringView(text); }
    TText &operator<<(qint64 number)
    {
        FText.Append(number);
        return *this;
    }
    template <typename T>
    void Line(const T &line)
    {
        *this << line << "\r\n";
    }
    void Line() { *this << "\r\n"; }
    void Reserve(qsizetype bytes) { FText.Reserve(bytes); }
    QByteArray Take() { return FText.Take(); }

private:
    TEncodedText FText;
};

// The ten lines every file starts with. O and C are "/" for a script, "{"
// and "}" for Pascal.
void Header(TText &out, const QString &fileName, const QString &language, const QString &at,
            bool pascal)
{
    const QString stars(Asterisks, QLatin1Char('*'));
    out << (pascal ? "{" : "/") << stars << "\r\n";
    out.Line();
    out.Line();
    out << "  " << fileName << "\r\n";
    out.Line(LoadStr(txt::ProducedBy));
    out << LoadStr(txt::Idiom) << " " << language << "\r\n";
    out << LoadStr(txt::GeneratedAt) << " " << at << "\r\n";
    out.Line();
    out.Line();
    out << stars << (pascal ? "}" : "/") << "\r\n";
}

// A text as the resource compiler reads it back unchanged between double
// quotes: each double quote doubled, each backslash doubled, line breaks
// written as \r and \n.
template <typename TView>
void AddScriptText(TText &out, TView text)
{
    qsizetype from = 0;
    for (qsizetype at = 0; at < text.size(); ++at) {
        const char16_t c = text[at].unicode();
        if (c == u'"' || c == u'\\') {
            // Up to and with the character; the next piece starts with it again.
            out << text.sliced(from, at + 1 - from);
            from = at;
        } else if (c == u'\r' || c == u'\n') {
            // A break inside the quotes would end the line, and the script
            // with it: the compiler reads these back as the break.
            out << text.sliced(from, at - from) << (c == u'\r' ? "\\r" : "\\n");
            from = at + 1;
        }
    }
    out << text.sliced(from);
}

// Every identifier must become a constant of the unit; the rows that
// cannot are named, by identifier and text, before any file is touched.
class TIdentifierCheck {
public:
    // names: what the unit itself declares, which a constant would redeclare.
    explicit TIdentifierCheck(std::initializer_list<const char *> names) : FNames(names) {}

    template <typename TId>
    void Check(TId id, QAnyStringView text)
    {
        const bool taken = std::any_of(FNames.begin(), FNames.end(), [&](const char *name) {
            const QLatin1StringView own(name);
            return id.size() == own.size() && id.compare(own, Qt::CaseInsensitive) == 0;
        });
        if (IsPascalIdentifier(id) && !taken)
            return;
        if (++FBad <= Listed) {
            const QString whole = text.toString();
            const QString shown = whole.size() > 30 ? whole.left(29) + QStringLiteral("...") : whole;
            FRows << QStringLiteral("\"%1\" (%2)").arg(QAnyStringView(id).toString(), shown);
        }
    }
    void ThrowIfAny()
    {
        if (FBad == 0)
            return;
        if (FBad > Listed)
            FRows << QStringLiteral("... %1 more").arg(FBad - Listed);
        throw ELanguageGen(LoadStr(txt::NotPascalIdentifiers).arg(FRows.join(QLatin1Char('\n'))));
    }

private:
    static constexpr int Listed = 20;
    std::initializer_list<const char *> FNames;
    QStringList FRows;
    int FBad = 0;
};

// The one walk of a run, over every record in primary-index order: each
// record's line goes into the script and its constant into constants, in
// the current language. The table is left on its primary index, past the
// last record.
void WalkStrings(TTable &table, const TLanguageGenSettings &s, std::initializer_list<const char *> names,
                 TText &script, TText &constants)
{
    TField *id = table.FieldByName(QStringLiteral("idst"));
    TField *text = table.FieldByName(QStringLiteral("L%1").arg(s.CurLang + 1));
    table.SetIndexName(QString());
    TIdentifierCheck check(names);
    qint64 n = s.InitId;
    for (table.First(); !table.Eof(); table.Next(), ++n) {
        // Most identifiers and texts are plain ASCII: those go on as the
        // table holds them, the others as AsString decodes them.
        QLatin1StringView asciiId, ascii;
        QString idText, value;
        const bool plainId = id->AsAscii(asciiId);
        if (!plainId)
            idText = id->AsString();
        const bool plainText = text->AsAscii(ascii);
        if (!plainText)
            value = text->AsString();
        const QAnyStringView shown = plainText ? QAnyStringView(ascii) : QAnyStringView(value);
        if (plainId)
            check.Check(asciiId, shown);
        else
            check.Check(QStringView(idText), shown);
        script << n << ",\t\t\"";
        if (plainText)
            AddScriptText(script, ascii);
        else
            AddScriptText(script, QStringView(value));
        script << "\"\r\n";
        constants << "  ";
        if (plainId)
            constants << asciiId;
        else
            constants << idText;
        constants << " = " << n << ";\r\n";
    }
    check.ThrowIfAny();
}

// Room for the three texts of a run, made once before the first line: a
// rough size per record, so that the texts seldom regrow.
void Reserve(TTable &table, TText &script, TText &constants, TText &other)
{
    const qsizetype records = table.RecordCount();
    script.Reserve(2048 + records * 96);
    constants.Reserve(4096 + records * 48);
    other.Reserve(4096);
}

// B.rc's start: the same in both variants.
void ScriptStart(TText &out, const QString &b, const TLanguageGenSettings &s, const QString &at)
{
    Header(out, b + QStringLiteral(".rc"), s.LanguageName, at, false);
    out.Line();
    out.Line();
    out.Line("STRINGTABLE");
    out.Line("{");
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
void WriteFiles(TFileWriter &writer, const TLanguageFiles &files, TText &script, TText &second, TText &unit)
{
    MakeDir(files.Dir);
    writer.Write(files.Script, script.Take());
    writer.Write(files.Second, second.Take());
    writer.Write(files.Unit, unit.Take());
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

namespace {

template <typename TView>
bool IsIdentifierText(TView name)
{
    static const QStringList reserved = {
        "and", "array", "as", "asm", "begin", "case", "class", "const", "constructor",
        "destructor", "div", "do", "downto", "else", "end", "except", "exports", "file",
        "finalization", "finally", "for", "function", "goto", "if", "implementation", "in",
        "inherited", "initialization", "inline", "interface", "is", "label", "library", "mod",
        "nil", "not", "object", "of", "or", "packed", "procedure", "program", "property",
        "raise", "record", "repeat", "set", "shl", "shr", "string", "then", "threadvar", "to",
        "try", "type", "unit", "until", "uses", "var", "while", "with", "xor"};
    if (name.isEmpty() || (name.front().unicode() >= u'0' && name.front().unicode() <= u'9'))
        return false;
    bool lettersOnly = true;
    for (qsizetype i = 0; i < name.size(); ++i) {
        const char16_t c = name[i].unicode();
        const bool letter = (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
        if (!(letter || c == u'_' || (c >= u'0' && c <= u'9')))
            return false;
        lettersOnly = lettersOnly && letter;
    }
    // Reserved words are letters only, none longer than "initialization":
    // most identifiers ("IDS_OPEN") skip the list.
    if (!lettersOnly || name.size() > 14)
        return true;
    return !reserved.contains(name, Qt::CaseInsensitive);
}

} // namespace

bool IsPascalIdentifier(const QString &name)
{
    return IsIdentifierText(QStringView(name));
}

bool IsPascalIdentifier(QStringView name)
{
    return IsIdentifierText(name);
}

bool IsPascalIdentifier(QLatin1StringView name)
{
    return IsIdentifierText(name);
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
    const QString at = Now(); // one time in every file of a run

    TText script, lan, unit;
    Reserve(table, script, lan, unit);
    ScriptStart(script, b, s, at);
    Header(lan, b + QStringLiteral(".lan"), s.LanguageName, at, true);
    lan.Line();
    lan.Line();
    lan << "{$R LANG\\" << b << ".res }\r\n";
    lan.Line();
    lan.Line("const");
    WalkStrings(table, s, {"language", "LangEx"}, script, lan);
    script.Line("}");

    Header(unit, QStringLiteral("language.pas"), s.LanguageName, at, true);
    for (const char *line : {"", "unit language;", "", "interface", "", "uses Windows;", ""})
        unit.Line(line);
    unit << "{$I lang\\" << b << ".lan}\r\n";
    for (const char *line :
         {"", "function LangEx(Value: integer):string;", "", "implementation", "",
          "function LangEx(Value: integer):string;", "var",
          "   Buffer: array[0..1023] of Char;", "begin",
          "   SetString(Result, Buffer, LoadString(HInstance, Value, Buffer, SizeOf(Buffer)));",
          "end;", "", "end."})
        unit.Line(line);

    const TLanguageFiles files = FilesIn(LangDir(s.ProjectDir), b, s.ProjectDir, QStringLiteral(".lan"));
    WriteFiles(FServices.writer(), files, script, lan, unit);
    return files;
}

TLanguageFiles TLanguageGenerator::WriteLibraryFiles(TTable &table, const TLanguageGenSettings &s)
{
    CheckLanguage(s);
    const QString b = LanguageBaseName(s.LanguageName);
    const QString at = Now(); // one time in every file of a run

    TText script, dpr, unit;
    Reserve(table, script, unit, dpr);
    ScriptStart(script, b, s, at);
    Header(unit, QStringLiteral("language.pas"), s.LanguageName, at, true);
    for (const char *line : {"", "unit language;", "", "interface",
                             "uses Forms,WinProcs,Windows,SysUtils,Dialogs;", "const"})
        unit.Line(line);
    WalkStrings(table, s, {"language", "LangEx", "LibHandle", "Flang", "clib", "cFile"}, script, unit);
    script.Line("}");
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
        unit.Line(line);
    unit << "    cLib :='" << b << ".dll';\r\n";
    unit.Line("LibHandle := LoadLibrary( PChar(cLib) );");
    unit.Line("if LibHandle < 32 then begin");
    unit << "   ShowMessage( cLib+ ':Error " << LoadStr(txt::ResourceLibNotLoaded) << "');\r\n";
    for (const char *line : {"   Application.Terminate;", "end;", "finalization",
                             "      if LibHandle > 32 then FreeLibrary( LibHandle );", "",
                             "end."})
        unit.Line(line);

    Header(dpr, b + QStringLiteral(".dpr"), s.LanguageName, at, true);
    dpr << "Library " << b << ";\r\n";
    dpr.Line();
    dpr.Line("uses WinProcs;");
    dpr << "{$R " << b << "}\r\n";
    dpr.Line();
    dpr.Line("begin");
    dpr.Line("end.");
    dpr.Line();

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
