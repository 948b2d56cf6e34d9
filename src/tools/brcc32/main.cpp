// brcc32: the resource compiler command the version and language tools run.
// It compiles FILE.rc into FILE.res beside the script with the MinGW windres.
//
// Callers judge success by FILE.res being there, so after a run FILE.res
// exists exactly when this run compiled the script: the output is written to
// a temporary file and renamed into place on success, and any failure also
// removes a FILE.res left from an earlier run.
#include "CodePage.h"
#include "Exception.h"
#include "SafeFile.h"
#include "ToolKit.h"

#include <QFile>

#include <cerrno>
#include <cstdio>

#include <unistd.h>

namespace {

constexpr const char *DefaultWindres = "x86_64-w64-mingw32-windres";
constexpr TToolHint WindresHint{"binutils-mingw-w64-x86-64", "QUORBEL_WINDRES at a windres"};
// Scripts are a few kilobytes; the cap keeps a wrong argument from eating memory.
constexpr qint64 MaxScriptBytes = 16 * 1024 * 1024;
// Every .res starts with an empty 32-byte resource entry.
constexpr qint64 ResHeaderBytes = 32;

void printUsage(FILE *to)
{
    std::fputs("usage: brcc32 FILE.rc [-r]\n"
               "Compiles FILE.rc into FILE.res in the same directory.\n"
               "  -r   write a .res file (the only output; accepted for compatibility)\n"
               "The script is read as UTF-8 when it is valid UTF-8 holding non-ASCII text,\n"
               "otherwise as Windows-1252. QUORBEL_WINDRES names the windres to run\n"
               "(default x86_64-w64-mingw32-windres).\n",
               to);
}

struct TTarget {
    QString dir;        // where the script is; windres runs there
    QString scriptName; // the script's name inside dir
    QString resPath;    // FILE.res beside the script
};

TTarget targetFor(const QString &script)
{
    TTarget t;
    const qsizetype slash = script.lastIndexOf(QLatin1Char('/'));
    t.dir = slash < 0 ? QStringLiteral(".") : script.left(slash + 1);
    t.scriptName = script.mid(slash + 1);
    const qsizetype dot = t.scriptName.lastIndexOf(QLatin1Char('.'));
    const QString stem = dot < 0 ? t.scriptName : t.scriptName.left(dot);
    t.resPath = (slash < 0 ? QString() : t.dir) + stem + QStringLiteral(".res");
    return t;
}

// windres hands the script name to the preprocessor, which would take a
// leading '-' for an option.
QString asArgument(const QString &name)
{
    return name.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + name : name;
}

int compile(const TTarget &t, const QString &scriptPath)
{
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(scriptPath, MaxScriptBytes);
    } catch (const EInOutError &e) {
        if (::access(QFile::encodeName(scriptPath).constData(), F_OK) != 0 && errno == ENOENT)
            PrintError(scriptPath + QStringLiteral(": no such file"));
        else
            PrintError(e.message());
        return ExitFailed;
    }
    // The same rule every data-file reader follows; the script itself is left as it is.
    const char *codePage = IsUtf8Text(bytes.constData(), bytes.size()) ? "65001" : "1252";

    TTempBeside temp;
    if (!temp.Create(t.dir, ".res"))
        return ExitFailed;
    const QString windres = ToolCommand("QUORBEL_WINDRES", DefaultWindres);
    const TToolRun run = RunTool({windres, QStringLiteral("--preprocessor=cpp"),
                                  QStringLiteral("--codepage=") + QLatin1String(codePage), QStringLiteral("-i"),
                                  asArgument(t.scriptName), QStringLiteral("-O"), QStringLiteral("res"),
                                  QStringLiteral("-o"), temp.FileName()},
                                 t.dir, WindresHint);
    if (run.Code == ExitFailed)
        PrintError(QStringLiteral("cannot compile %1 (%2 exited with status %3)")
                       .arg(scriptPath, windres)
                       .arg(run.Status));
    if (run.Code != ExitOk)
        return run.Code;
    return temp.MoveInto(t.resPath, ResHeaderBytes, windres, "resource file") ? ExitOk : ExitFailed;
}

} // namespace

int main(int argc, char **argv)
{
    SetProgramName("brcc32");
    QString script;
    bool haveScript = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QFile::decodeName(argv[i]);
        if (!optionsEnded && arg.size() > 1 && arg[0] == QLatin1Char('-')) {
            if (arg == QLatin1String("--")) {
                optionsEnded = true;
            } else if (arg == QLatin1String("-r") || arg == QLatin1String("-R")) {
                // A .res is all this command writes.
            } else if (arg == QLatin1String("-h") || arg == QLatin1String("-?") || arg == QLatin1String("--help")) {
                printUsage(stdout);
                return ExitOk;
            } else {
                PrintError(QStringLiteral("ignoring unknown option ") + arg);
            }
            continue;
        }
        if (haveScript) {
            PrintError(QStringLiteral("one script at a time: %1 and %2").arg(script, arg));
            printUsage(stderr);
            return ExitUsage;
        }
        script = arg;
        haveScript = true;
    }
    if (!haveScript) {
        printUsage(stderr);
        return ExitUsage;
    }
    const TTarget target = targetFor(script);
    if (target.scriptName.isEmpty()) {
        PrintError(script + QStringLiteral(" names a directory, not a script"));
        return ExitUsage;
    }
    if (target.scriptName.endsWith(QLatin1String(".res"), Qt::CaseInsensitive)) {
        PrintError(script + QStringLiteral(" is a .res file; the output would overwrite it"));
        return ExitUsage;
    }
    const int result = compile(target, script);
    if (result != ExitOk)
        RemoveOldOutput(target.resPath);
    return result;
}
