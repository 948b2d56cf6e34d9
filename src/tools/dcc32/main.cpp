// dcc32: the command-line compiler the language library generator runs.
// It builds only what that generator writes, a resource-only library:
//
//   Library NAME;
//   uses WinProcs;
//   {$R NAME}
//   begin
//   end.
//
// Each {$R FILE} names a compiled resource file beside the project (".res"
// when FILE has no extension; the name matched without regard to case).
// The resources are turned into objects with the MinGW windres and linked
// into NAME.dll with the MinGW ld: a 32-bit (PE32, i386) library, as the
// generated unit loads it from a 32-bit program; --pe32plus links a 64-bit
// one. Anything else is refused with "file(line): message".
//
// Callers judge success by NAME.dll being there: the library is linked to a
// temporary file and renamed into place, and a failed build of a library
// also removes a NAME.dll left from an earlier run.
#include "CodePage.h"
#include "Exception.h"
#include "Paths.h"
#include "SafeFile.h"
#include "ToolKit.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>
#include <deque>
#include <vector>

namespace {

// The tools and the object format of each kind of library.
struct TPeTools {
    const char *Windres;
    const char *Ld;
    TToolHint Hint;
    const char *Target; // windres's output format, so any windres named makes the right objects
};
constexpr const char *OverrideBoth = "QUORBEL_WINDRES and QUORBEL_LD at the tools";
constexpr TPeTools Pe32Tools{"i686-w64-mingw32-windres", "i686-w64-mingw32-ld",
                             {"binutils-mingw-w64-i686", OverrideBoth}, "pe-i386"};
constexpr TPeTools Pe32PlusTools{"x86_64-w64-mingw32-windres", "x86_64-w64-mingw32-ld",
                                 {"binutils-mingw-w64-x86-64", OverrideBoth}, "pe-x86-64"};
// A project of this kind is a few hundred bytes.
constexpr qint64 MaxProjectBytes = 4 * 1024 * 1024;

void printUsage(FILE *to)
{
    std::fputs("usage: dcc32 [--pe32plus] NAME.dpr\n"
               "Links the resource-only library NAME.dpr into NAME.dll in the same directory:\n"
               "  Library NAME; [uses UNITS;] {$R FILE}... begin end.\n"
               "Each {$R FILE} names a compiled resource file beside the project (FILE.res\n"
               "when FILE has no extension). The library is a 32-bit PE32 (i386) file, linked\n"
               "with i686-w64-mingw32-windres and -ld.\n"
               "  --pe32plus   link a 64-bit PE32+ (x86-64) library instead, with\n"
               "               x86_64-w64-mingw32-windres and -ld\n"
               "QUORBEL_WINDRES and QUORBEL_LD name another windres and ld to run.\n",
               to);
}

// What the project says is wrong, at its line.
struct TProjectError {
    int Line;
    QString Message;
};

struct TToken {
    enum TKind { Word, Symbol, Directive, End };
    TKind Kind = End;
    QString Text;
    int Line = 1;
};

// Pascal tokens as far as a library header needs them: words, the symbols
// ; , . and {$...} directives; comments are skipped.
class TLexer {
public:
    explicit TLexer(const QString &text) : FText(text) {}

    TToken Next()
    {
        SkipBlanksAndComments();
        TToken token;
        token.Line = FLine;
        if (FAt >= FText.size())
            return token;
        const QChar c = FText[FAt];
        if (c == QLatin1Char('{')) { // a directive: comments were skipped
            const qsizetype close = FText.indexOf(QLatin1Char('}'), FAt);
            if (close < 0)
                throw TProjectError{FLine, QStringLiteral("unterminated directive")};
            token.Kind = TToken::Directive;
            token.Text = FText.mid(FAt + 2, close - FAt - 2).trimmed();
            Advance(close + 1);
            return token;
        }
        if (c.isLetter() || c == QLatin1Char('_')) {
            const qsizetype start = FAt;
            while (FAt < FText.size()
                   && (FText[FAt].isLetterOrNumber() || FText[FAt] == QLatin1Char('_')))
                ++FAt;
            token.Kind = TToken::Word;
            token.Text = FText.mid(start, FAt - start);
            return token;
        }
        if (c == QLatin1Char(';') || c == QLatin1Char(',') || c == QLatin1Char('.')) {
            ++FAt;
            token.Kind = TToken::Symbol;
            token.Text = c;
            return token;
        }
        throw TProjectError{FLine, QStringLiteral("unexpected \"%1\"").arg(c)};
    }

private:
    // Moves to to, counting the line ends passed (CR LF, LF or CR).
    void Advance(qsizetype to)
    {
        for (; FAt < to; ++FAt) {
            const QChar c = FText[FAt];
            if (c == QLatin1Char('\n')
                || (c == QLatin1Char('\r')
                    && (FAt + 1 >= FText.size() || FText[FAt + 1] != QLatin1Char('\n'))))
                ++FLine;
        }
    }

    void SkipTo(const QString &closer, const char *what)
    {
        const int line = FLine;
        const qsizetype close = FText.indexOf(closer, FAt);
        if (close < 0)
            throw TProjectError{line, QStringLiteral("unterminated %1").arg(QLatin1String(what))};
        Advance(close + closer.size());
    }

    void SkipBlanksAndComments()
    {
        while (FAt < FText.size()) {
            const QChar c = FText[FAt];
            if (c.isSpace()) {
                Advance(FAt + 1);
            } else if (c == QLatin1Char('{')
                       && !(FAt + 1 < FText.size() && FText[FAt + 1] == QLatin1Char('$'))) {
                SkipTo(QStringLiteral("}"), "comment");
            } else if (FText.mid(FAt, 2) == QLatin1String("(*")) {
                SkipTo(QStringLiteral("*)"), "comment");
            } else if (FText.mid(FAt, 2) == QLatin1String("//")) {
                while (FAt < FText.size() && FText[FAt] != QLatin1Char('\n')
                       && FText[FAt] != QLatin1Char('\r'))
                    ++FAt;
            } else {
                return;
            }
        }
    }

    const QString FText;
    qsizetype FAt = 0;
    int FLine = 1;
};

struct TResourceRef {
    QString Name; // as written
    int Line = 0;
};

// Reads the project; its {$R} names in order.
class TProjectParser {
public:
    explicit TProjectParser(const QString &text) : FLexer(text) { Read(); }

    std::vector<TResourceRef> Parse()
    {
        ExpectWord("library", QStringLiteral("only a resource-only library is built here, "
                                             "its project starting with \"Library NAME;\""));
        Take(TToken::Word, "the library's name");
        // The generator names a library after its file, and a language
        // called "US English" gives "Library US Engty;".
        while (FToken.Kind == TToken::Word && !IsWord("uses") && !IsWord("begin"))
            Read();
        ExpectSymbol(';');
        if (IsWord("uses")) {
            Read();
            for (;;) {
                Take(TToken::Word, "a unit name");
                if (!IsSymbol(','))
                    break;
                Read();
            }
            ExpectSymbol(';');
        }
        ExpectWord("begin", {});
        const int endLine = FToken.Line;
        if (!IsWord("end"))
            throw TProjectError{FToken.Line, QStringLiteral("a resource-only library has no "
                                                            "statements: \"end\" expected")};
        Read();
        ExpectSymbol('.');
        if (FResources.empty())
            throw TProjectError{endLine, QStringLiteral("no resource to link: add {$R NAME}")};
        return FResources;
    }

private:
    // The next token that is not a directive; directives are taken on the way.
    void Read()
    {
        for (FToken = FLexer.Next(); FToken.Kind == TToken::Directive; FToken = FLexer.Next())
            Directive(FToken);
    }

    void Directive(const TToken &token)
    {
        const QString text = token.Text;
        qsizetype nameEnd = 0;
        while (nameEnd < text.size() && text[nameEnd].isLetter())
            ++nameEnd;
        const QString name = text.left(nameEnd).toUpper();
        const QString rest = text.mid(nameEnd);
        // Switches such as {$R+} or {$H-} change nothing in a library without code.
        if (nameEnd > 0 && (rest == QLatin1String("+") || rest == QLatin1String("-")))
            return;
        if ((name == QLatin1String("R") || name == QLatin1String("RESOURCE"))
            && !rest.isEmpty() && rest[0].isSpace()) {
            QString file = rest.trimmed();
            if (file.size() >= 2 && file.startsWith(QLatin1Char('\''))
                && file.endsWith(QLatin1Char('\'')))
                file = file.mid(1, file.size() - 2);
            if (file.isEmpty())
                throw TProjectError{token.Line, QStringLiteral("{$R} names no file")};
            FResources.push_back({file, token.Line});
            return;
        }
        throw TProjectError{token.Line, QStringLiteral("unsupported directive {$%1}; a "
                                                       "resource-only library takes {$R NAME}")
                                            .arg(text)};
    }

    bool IsWord(const char *word) const
    {
        return FToken.Kind == TToken::Word && FToken.Text.compare(QLatin1String(word),
                                                                  Qt::CaseInsensitive) == 0;
    }
    bool IsSymbol(char symbol) const
    {
        return FToken.Kind == TToken::Symbol && FToken.Text == QLatin1Char(symbol);
    }
    QString Found() const
    {
        return FToken.Kind == TToken::End ? QStringLiteral("the end of the file")
                                          : QLatin1Char('"') + FToken.Text + QLatin1Char('"');
    }
    void ExpectWord(const char *word, const QString &why)
    {
        if (!IsWord(word)) {
            QString message = QStringLiteral("\"%1\" expected but %2 found")
                                  .arg(QLatin1String(word), Found());
            if (!why.isEmpty())
                message += QStringLiteral(": ") + why;
            throw TProjectError{FToken.Line, message};
        }
        Read();
    }
    void ExpectSymbol(char symbol)
    {
        if (!IsSymbol(symbol))
            throw TProjectError{FToken.Line, QStringLiteral("\"%1\" expected but %2 found")
                                                 .arg(QLatin1Char(symbol))
                                                 .arg(Found())};
        Read();
    }
    void Take(TToken::TKind kind, const char *what)
    {
        if (FToken.Kind != kind)
            throw TProjectError{FToken.Line, QStringLiteral("%1 expected but %2 found")
                                                 .arg(QLatin1String(what), Found())};
        Read();
    }

    TLexer FLexer;
    TToken FToken;
    std::vector<TResourceRef> FResources;
};

// Runs one tool in dir; ExitOk or the exit code to end with.
int run(const QString &dir, const QStringList &arguments, const TPeTools &tools)
{
    const TToolRun result = RunTool(arguments, dir, tools.Hint);
    if (result.Code == ExitFailed)
        PrintError(QStringLiteral("%1 exited with status %2").arg(arguments.first()).arg(result.Status));
    return result.Code;
}

// The resources as objects, then the library, under temporary names.
int link(const QString &dir, const QStringList &resources, const QString &dll,
         const TPeTools &tools)
{
    const QString windres = ToolCommand("QUORBEL_WINDRES", tools.Windres);
    const QString ld = ToolCommand("QUORBEL_LD", tools.Ld);
    TTempBeside output;
    if (!output.Create(dir, ".dll"))
        return ExitFailed;
    QStringList ldArguments{ld, QStringLiteral("--dll"), QStringLiteral("-e"), QStringLiteral("0"),
                            QStringLiteral("-o"), output.Path()};
    std::deque<TTempBeside> objects;
    for (const QString &res : resources) {
        TTempBeside &object = objects.emplace_back();
        if (!object.Create(dir, ".o"))
            return ExitFailed;
        const int result =
            run(dir,
                {windres, QStringLiteral("--target=") + QLatin1String(tools.Target), QStringLiteral("-J"),
                 QStringLiteral("res"), QStringLiteral("-O"), QStringLiteral("coff"), QStringLiteral("-i"), res,
                 QStringLiteral("-o"), object.Path()},
                tools);
        if (result != ExitOk)
            return result;
        ldArguments << object.Path();
    }
    const int result = run(dir, ldArguments, tools);
    if (result != ExitOk)
        return result;
    return output.MoveInto(dll, 1, ld, "library") ? ExitOk : ExitFailed;
}

// The file a {$R} names: beside the project, ".res" when it has no
// extension, each part of its path matched without regard to case.
QString resourceFile(const QString &projectDir, const QString &stem, QString name)
{
    name.replace(QLatin1Char('\\'), QLatin1Char('/'));
    name.replace(QLatin1Char('*'), stem);
    if (QFileInfo(name).suffix().isEmpty())
        name += QStringLiteral(".res");
    QString path = name.startsWith(QLatin1Char('/')) ? QStringLiteral("/") : projectDir;
    for (const QString &part : name.split(QLatin1Char('/'), Qt::SkipEmptyParts))
        path = FindEntryNoCase(path, part);
    return path;
}

int build(const QString &project, const TPeTools &tools)
{
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(project, MaxProjectBytes);
    } catch (const EInOutError &e) {
        PrintError(QFileInfo::exists(project) ? e.message() : project + QStringLiteral(": no such file"));
        return ExitFailed;
    }
    const QFileInfo info(project);
    const QString dir = info.absolutePath();
    const QString stem = info.completeBaseName();
    const QString dll = dir + QLatin1Char('/') + stem + QStringLiteral(".dll");

    std::vector<TResourceRef> refs;
    try {
        refs = TProjectParser(DecodeText(bytes)).Parse();
    } catch (const TProjectError &e) {
        std::fprintf(stderr, "%s(%d): %s\n", project.toLocal8Bit().constData(), e.Line,
                     e.Message.toLocal8Bit().constData());
        return ExitFailed;
    }

    // A library project from here on: a failed build leaves no NAME.dll.
    QStringList resources;
    int result = ExitOk;
    for (const TResourceRef &ref : refs) {
        const QString path = resourceFile(dir, stem, ref.Name);
        if (!QFileInfo(path).isFile()) {
            std::fprintf(stderr, "%s(%d): resource file %s not found\n",
                         project.toLocal8Bit().constData(), ref.Line,
                         QDir::toNativeSeparators(path).toLocal8Bit().constData());
            result = ExitFailed;
        } else if (!resources.contains(path)) {
            resources << path;
        }
    }
    if (result == ExitOk)
        result = link(dir, resources, dll, tools);
    if (result != ExitOk)
        RemoveOldOutput(dll);
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    SetProgramName("dcc32");
    QString project;
    const TPeTools *tools = &Pe32Tools;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (arg == QLatin1String("-h") || arg == QLatin1String("-?")
            || arg == QLatin1String("--help")) {
            printUsage(stdout);
            return ExitOk;
        }
        if (arg == QLatin1String("--pe32plus")) {
            tools = &Pe32PlusTools;
            continue;
        }
        if (arg.startsWith(QLatin1Char('-'))) {
            PrintError(QStringLiteral("ignoring unknown option ") + arg);
            continue;
        }
        if (!project.isEmpty()) {
            PrintError(QStringLiteral("one project at a time: %1 and %2").arg(project, arg));
            printUsage(stderr);
            return ExitUsage;
        }
        project = arg;
    }
    if (project.isEmpty()) {
        printUsage(stderr);
        return ExitUsage;
    }
    // As the IDE's compiler: a name without extension is the .dpr.
    if (QFileInfo(project).suffix().isEmpty())
        project += QStringLiteral(".dpr");
    if (QFileInfo(project).suffix().compare(QLatin1String("dpr"), Qt::CaseInsensitive) != 0) {
        PrintError(project + QStringLiteral(": only .dpr projects are built here"));
        return ExitUsage;
    }
    return build(project, *tools);
}
