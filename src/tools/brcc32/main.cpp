// brcc32: the resource compiler command the version and language tools run.
// It compiles FILE.rc into FILE.res beside the script with the MinGW windres.
//
// Callers judge success by FILE.res being there, so after a run FILE.res
// exists exactly when this run compiled the script: the output is written to
// a temporary file and renamed into place on success, and any failure also
// removes a FILE.res left from an earlier run.
#include "CodePage.h"
#include "Exception.h"
#include "Process.h"
#include "SafeFile.h"

#include <QFile>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr const char *DefaultWindres = "x86_64-w64-mingw32-windres";
constexpr const char *WindresPackage = "binutils-mingw-w64-x86-64";
// Scripts are a few kilobytes; the cap keeps a wrong argument from eating memory.
constexpr qint64 MaxScriptBytes = 16 * 1024 * 1024;
// Every .res starts with an empty 32-byte resource entry.
constexpr off_t ResHeaderBytes = 32;

enum ExitCode { ExitOk = 0, ExitFailed = 1, ExitUsage = 2, ExitCannotRun = 126, ExitNotFound = 127 };

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

void error(const std::string &text)
{
    std::fprintf(stderr, "brcc32: %s\n", text.c_str());
}

bool endsWithNoCase(const std::string &s, const char *suffix)
{
    const size_t n = std::strlen(suffix);
    return s.size() >= n && strncasecmp(s.c_str() + s.size() - n, suffix, n) == 0;
}

struct TTarget {
    std::string dir;        // where the script is; windres runs there
    std::string scriptName; // the script's name inside dir
    std::string resPath;    // FILE.res beside the script
};

TTarget targetFor(const std::string &script)
{
    TTarget t;
    const size_t slash = script.rfind('/');
    t.dir = slash == std::string::npos ? std::string(".") : script.substr(0, slash + 1);
    t.scriptName = slash == std::string::npos ? script : script.substr(slash + 1);
    const size_t dot = t.scriptName.rfind('.');
    const std::string stem = dot == std::string::npos ? t.scriptName : t.scriptName.substr(0, dot);
    t.resPath = (slash == std::string::npos ? std::string() : t.dir) + stem + ".res";
    return t;
}

void removeStaleRes(const TTarget &t)
{
    if (::unlink(t.resPath.c_str()) != 0 && errno != ENOENT)
        error("cannot remove the old " + t.resPath + ": " + std::strerror(errno));
}

// windres hands the script name to the preprocessor, which would take a
// leading '-' for an option.
std::string asArgument(const std::string &name)
{
    return name.starts_with('-') ? "./" + name : name;
}

std::string windresCommand()
{
    const char *set = std::getenv("QUORBEL_WINDRES");
    std::string command = set && *set ? set : DefaultWindres;
    // windres starts in the script's directory: a relative path given here
    // must not be looked up from there.
    if (command.find('/') != std::string::npos && !command.starts_with('/')) {
        if (char *cwd = ::getcwd(nullptr, 0)) {
            command = std::string(cwd) + '/' + command;
            std::free(cwd);
        }
    }
    return command;
}

int compile(const TTarget &t, const std::string &scriptPath)
{
    QByteArray bytes;
    try {
        bytes = ReadWholeFile(QFile::decodeName(QByteArray::fromStdString(scriptPath)), MaxScriptBytes);
    } catch (const EInOutError &e) {
        if (::access(scriptPath.c_str(), F_OK) != 0 && errno == ENOENT)
            error(scriptPath + ": no such file");
        else
            error(e.what());
        return ExitFailed;
    }
    // The same rule every data-file reader follows; the script itself is left as it is.
    const char *codePage = IsUtf8Text(bytes.constData(), bytes.size()) ? "65001" : "1252";

    // The temporary output sits beside FILE.res so that the rename cannot
    // cross file systems.
    std::string temp = t.dir + (t.dir.ends_with('/') ? "" : "/") + ".brcc32-XXXXXX.res";
    const int fd = ::mkstemps(temp.data(), 4);
    if (fd < 0) {
        error("cannot create a temporary file in " + t.dir + ": " + std::strerror(errno));
        return ExitFailed;
    }
    // mkstemps makes the file private; the .res gets the usual permissions.
    const mode_t mask = ::umask(0);
    ::umask(mask);
    ::fchmod(fd, 0666 & ~mask);
    ::close(fd);
    const std::string tempName = temp.substr(temp.rfind('/') + 1);

    const std::string windres = windresCommand();
    TSpawnRequest request;
    for (const std::string &argument :
         {windres, std::string("--preprocessor=cpp"), std::string("--codepage=") + codePage,
          std::string("-i"), asArgument(t.scriptName), std::string("-O"), std::string("res"),
          std::string("-o"), tempName})
        request.Arguments << QFile::decodeName(QByteArray::fromStdString(argument));
    request.WorkingDir = QFile::decodeName(QByteArray::fromStdString(t.dir));
    request.Wait = true;
    const TSpawnResult run = SpawnProcess(request);
    // The compiler's own words first, then ours.
    std::fputs(run.Output.toLocal8Bit().constData(), stderr);
    const int startError = run.Error;
    int result = ExitOk;
    if (startError == ENOENT) {
        error(windres + " not found; install the Debian package " + WindresPackage +
              " (or point QUORBEL_WINDRES at a windres)");
        result = ExitNotFound;
    } else if (startError != 0) {
        error("cannot run " + windres + ": " + std::strerror(startError));
        result = ExitCannotRun;
    } else if (run.ExitStatus != 0) {
        error("cannot compile " + scriptPath + " (" + windres + " exited with status " +
              std::to_string(run.ExitStatus) + ")");
        result = ExitFailed;
    } else {
        struct stat written {};
        if (::stat(temp.c_str(), &written) != 0 || written.st_size < ResHeaderBytes) {
            error(windres + " reported success but wrote no resource file");
            result = ExitFailed;
        } else if (::rename(temp.c_str(), t.resPath.c_str()) != 0) {
            error("cannot write " + t.resPath + ": " + std::strerror(errno));
            result = ExitFailed;
        }
    }
    if (result != ExitOk)
        ::unlink(temp.c_str());
    return result;
}

} // namespace

int main(int argc, char **argv)
{
    std::string script;
    bool haveScript = false;
    bool optionsEnded = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            if (arg == "--") {
                optionsEnded = true;
            } else if (arg == "-r" || arg == "-R") {
                // A .res is all this command writes.
            } else if (arg == "-h" || arg == "-?" || arg == "--help") {
                printUsage(stdout);
                return ExitOk;
            } else {
                error("ignoring unknown option " + arg);
            }
            continue;
        }
        if (haveScript) {
            error("one script at a time: " + script + " and " + arg);
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
    if (target.scriptName.empty()) {
        error(script + " names a directory, not a script");
        return ExitUsage;
    }
    if (endsWithNoCase(target.scriptName, ".res")) {
        error(script + " is a .res file; the output would overwrite it");
        return ExitUsage;
    }
    const int result = compile(target, script);
    if (result != ExitOk)
        removeStaleRes(target);
    return result;
}
