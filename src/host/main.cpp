// quorbel-ide [PROJECT.dpr | FILE.pas ...]
//   --script FILE          run a command script after start-up, then quit
//   --log                  write the IDE's events to standard output
//   --register-addin PATH  register an add-in library as "Quorbel", make this
//                          build's quorbel-help the program for help files, exit
//   --registered-addin     print the registered "Quorbel" library and exit
#include "AddinLoader.h"
#include "AppBuilder.h"
#include "HelpViewerSetup.h"
#include "Ide.h"
#include "ProjectFile.h"
#include "ScriptRunner.h"

#include "Registry.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QFileInfo>
#include <QIcon>
#include <QPixmap>
#include <QTimer>

#include <cstdio>

#include "quorbel-ide.xpm"

namespace {

void Print(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void PrintError(const QString &line)
{
    std::fputs(line.toUtf8().constData(), stderr);
    std::fputc('\n', stderr);
}

bool HasArg(int argc, char **argv, const char *name)
{
    for (int i = 1; i < argc; ++i)
        if (qstrcmp(argv[i], name) == 0)
            return true;
    return false;
}

// The add-in registration needs no window system.
int RegistrationCommand(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const QString key = qide::TAddinLoader::ExpertsKey;
    const QString value = QStringLiteral("Quorbel");
    const qsizetype at = args.indexOf(QStringLiteral("--register-addin"));
    if (at < 0) {
        Print(Registry::readString(HKEY::CurrentUser, key, value));
        return 0;
    }
    if (at + 1 >= args.size()) {
        PrintError(QStringLiteral("--register-addin needs the path of the add-in library"));
        return 2;
    }
    const QFileInfo library(qide::AbsoluteUserPath(args.at(at + 1)));
    if (!library.isFile()) {
        PrintError(QStringLiteral("No add-in library at %1").arg(library.absoluteFilePath()));
        return 1;
    }
    Registry::writeString(HKEY::CurrentUser, key, value, library.absoluteFilePath());
    Print(QStringLiteral("Registered %1 as add-in \"Quorbel\" in %2")
              .arg(library.absoluteFilePath(), Registry::storePath()));
    // The add-in's help opens through it; without it the add-in still works.
    const qide::THelpViewerSetup viewer = qide::InstallHelpViewerEntry(QCoreApplication::applicationDirPath());
    for (const QString &line : viewer.Done)
        Print(line);
    for (const QString &line : viewer.Problems)
        PrintError(line);
    return 0;
}

} // namespace

int main(int argc, char **argv)
{
    if (HasArg(argc, argv, "--register-addin") || HasArg(argc, argv, "--registered-addin"))
        return RegistrationCommand(argc, argv);

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")
        && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        PrintError(QStringLiteral(
            "quorbel-ide needs a display: neither DISPLAY nor WAYLAND_DISPLAY is set.\n"
            "Run it inside a desktop session, under a virtual display (xvfb-run -a quorbel-ide ...),\n"
            "or without any window (QT_QPA_PLATFORM=offscreen quorbel-ide --script FILE)."));
        return 2;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("quorbel-ide"));
    QApplication::setApplicationVersion(QStringLiteral("1.0"));
    // Every window's icon unless it has its own; the desktop entry names it too.
    QApplication::setWindowIcon(QIcon(QPixmap(IdeIcon_xpm)));
    QGuiApplication::setDesktopFileName(QStringLiteral("quorbel-ide"));
    QApplication::setQuitOnLastWindowClosed(false);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("A small Pascal IDE that hosts Quorbel add-ins."));
    parser.addHelpOption();
    parser.addVersionOption();
    const QCommandLineOption scriptOption(QStringLiteral("script"),
                                          QStringLiteral("Run the command script FILE, then quit."),
                                          QStringLiteral("FILE"));
    const QCommandLineOption logOption(QStringLiteral("log"),
                                       QStringLiteral("Write the IDE's events to standard output."));
    parser.addOption(scriptOption);
    parser.addOption(logOption);
    parser.addPositionalArgument(QStringLiteral("files"),
                                 QStringLiteral("A project (.dpr) or source files to open."),
                                 QStringLiteral("[PROJECT.dpr | FILE.pas ...]"));
    parser.process(app);

    QStringList script;
    const bool scripted = parser.isSet(scriptOption);
    QString scriptError;
    if (scripted && !qide::TScriptRunner::ReadScript(parser.value(scriptOption), script, scriptError)) {
        PrintError(scriptError);
        return 2;
    }

    int exitCode = 0;
    {
        qide::TIde ide;
        if (scripted || parser.isSet(logOption))
            QObject::connect(&ide, &qide::TIde::event, &ide, [](const QString &line) { Print(line); });

        std::unique_ptr<qide::TScriptRunner> runner;
        if (scripted) {
            runner = std::make_unique<qide::TScriptRunner>(&ide, script, &Print);
            QObject::connect(runner.get(), &qide::TScriptRunner::finished, &app, [&](int code) {
                exitCode = code;
                ide.shutdown(false);
                QApplication::exit(code);
            });
        }

        ide.mainWindow()->show();
        ide.loadAddins();

        const QStringList files = parser.positionalArguments();
        QTimer::singleShot(0, &ide, [&] {
            ide.reportAddinErrors();
            // A project first: opening it closes whatever is open.
            for (const QString &f : files)
                if (qide::TIde::isProjectFile(f)) {
                    ide.openProject(f);
                    break;
                }
            for (const QString &f : files)
                if (!qide::TIde::isProjectFile(f))
                    ide.openPath(f);
            if (runner)
                runner->start();
        });

        const int rc = QApplication::exec();
        if (!scripted)
            exitCode = rc;
        ide.shutdown(false);
        runner.reset();
        // ~TIde: windows go, then the add-in libraries are unloaded.
    }
    return exitCode;
}
