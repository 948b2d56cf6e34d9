// hcw: the help compiler the help editor runs on its help project. It writes
// the help file and the error log the project names, and, unless /C is given,
// opens the help file in quorbel-help.
//
// Exit status: 0 when the project compiled without errors, 1 when there were
// errors (the help file still holds what could be read), 2 for a wrong
// command line.
#include "HelpCompiler.h"
#include "HelpProject.h"

#include "Exception.h"
#include "Process.h"
#include "SafeFile.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstdio>

namespace {

void Usage()
{
    std::fputs("usage: hcw [/C] [/E] [/M] PROJECT.hpj\n"
               "Compiles the help project into the help file its HLP= line names (one HTML\n"
               "page that quorbel-help and any web browser open) and writes the error log\n"
               "its ERRORLOG= line names.\n"
               "  /C  compile only: do not open the result in quorbel-help\n"
               "  /E  exit when done (always)\n"
               "  /M  minimized (accepted; there is no window)\n"
               "Without /C the help file is opened in quorbel-help (beside hcw or on the PATH;\n"
               "QUORBEL_HELP_VIEWER names another program).\n",
               stderr);
}

} // namespace

int main(int argc, char **argv)
{
    // The pictures need QImage's built-in BMP and PNG formats only: no display.
    QCoreApplication app(argc, argv);

    bool compileOnly = false;
    QString projectPath;
    for (int i = 1; i < argc; ++i) {
        const QString arg = QString::fromLocal8Bit(argv[i]);
        if (arg.size() >= 2 && (arg.startsWith(QLatin1Char('/')) || arg.startsWith(QLatin1Char('-')))
            && arg.size() <= 4 && !arg.contains(QLatin1Char('.'))) {
            bool known = true;
            for (QChar c : arg.mid(1).toUpper()) {
                if (c == QLatin1Char('C'))
                    compileOnly = true;
                else if (c != QLatin1Char('E') && c != QLatin1Char('M'))
                    known = false;
            }
            if (known)
                continue;
        }
        if (arg == QLatin1String("-h") || arg == QLatin1String("--help") || !projectPath.isEmpty()) {
            Usage();
            return 2;
        }
        projectPath = arg;
    }
    if (projectPath.isEmpty()) {
        Usage();
        return 2;
    }

    const THelpProject project = ReadHelpProject(projectPath);
    const THcwResult result = CompileHelpFile(project);
    int errors = result.Errors();
    for (const THelpMessage &m : result.Messages)
        std::fprintf(stderr, "%s\n", qPrintable(m.Format()));

    const QString helpFile = project.HelpFile();
    // A project that could not be read names no help file.
    const bool written = project.Read && result.WriteError.isEmpty();
    if (project.Read && !written) {
        std::fprintf(stderr, "%s(0): Cannot write the help file: %s\n", qPrintable(helpFile),
                     qPrintable(QStringLiteral("Cannot write %1: %2").arg(helpFile, result.WriteError)));
        ++errors;
    }
    const QString log = project.ErrorLog();
    if (!log.isEmpty()) {
        try {
            WriteFileAtomically(log, ErrorLogBytes(project, result));
        } catch (const Exception &e) {
            std::fprintf(stderr, "%s(0): Cannot write the error log: %s\n", qPrintable(log), e.what());
        }
    }
    std::printf("%s: %d topics, %d errors, %d notes\n", qPrintable(written ? helpFile : project.Path), result.Topics,
                errors, result.Notes());

    if (!compileOnly && written) {
        // QUORBEL_HELP_VIEWER names another viewer, as QUORBEL_WINDRES does for brcc32.
        QString viewer = qEnvironmentVariable("QUORBEL_HELP_VIEWER");
        if (viewer.isEmpty())
            viewer = FindCommand(QStringLiteral("quorbel-help"), ToolSearchDirs());
        const int error = viewer.isEmpty() ? ENOENT : StartDetached({viewer, helpFile}, SW_SHOW);
        if (error == ENOENT)
            std::printf("hcw: the help viewer quorbel-help is not installed; open %s in a web browser\n",
                        qPrintable(helpFile));
        else if (error != 0)
            std::printf("hcw: cannot start %s: %s\n", qPrintable(viewer), qPrintable(SystemErrorText(error)));
    }
    return errors ? 1 : 0;
}
