// quorbel-ide with the real libquorbel.so, started as a user would, driven
// by a script on the offscreen platform.
#include "IdeHome.h"
#include "PeBuilder.h"
#include "Registry.h"
#include "TableStore.h"
#include "VersionInfo.h"

#include <QCoreApplication>
#include <QDate>
#include <QDir>
#include <QFile>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <future>
#include <thread>

#include <sys/stat.h>

namespace {

using e2e::BuildDir;
using IdeRun = e2e::TIdeRun;

// One item of dump-menus.
struct MenuItem {
    QString menu;
    int index = -1;
    QString caption;
    QString shortcut;
};

class IdeEndToEnd : public e2e::TIdeHome {
protected:
    void SetUp() override
    {
        TIdeHome::SetUp();
        if (HasFatalFailure())
            return;
        copyDemo();
    }

    IdeRun launch(const QStringList &args, const QProcessEnvironment &env, int timeoutMs = 60000) const
    {
        return run(args, env, timeoutMs);
    }

    IdeRun registerAddin(const QString &path) const
    {
        return launch({QStringLiteral("--register-addin"), path}, environment());
    }

    // The environment with a stand-in help viewer: a shell script of body,
    // where %1 is the file it records into (viewer.args in the home).
    QProcessEnvironment withViewerRecorder(const QString &body) const
    {
        const QString recorder = home.filePath(QStringLiteral("viewer"));
        QFile f(recorder);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write((QStringLiteral("#!/bin/sh\n") + body.arg(home.filePath(QStringLiteral("viewer.args")))).toUtf8());
        f.close();
        QFile::setPermissions(recorder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        QProcessEnvironment env = environment();
        env.insert(QStringLiteral("QUORBEL_HELP_VIEWER"), recorder);
        return env;
    }

    IdeRun script(const QStringList &lines, const QStringList &args = {}) const
    {
        const QString file = write(QStringLiteral("script.txt"), lines.join(QLatin1Char('\n')).toUtf8());
        return launch(QStringList{QStringLiteral("--script"), file} + args, environment());
    }

    void copyDemo()
    {
        const QString from = QStringLiteral(QUORBEL_SOURCE_DIR "/examples/demo");
        QDir().mkpath(home.filePath(QStringLiteral("demo")));
        for (const QString &name : QDir(from).entryList(QDir::Files))
            ASSERT_TRUE(QFile::copy(from + QLatin1Char('/') + name, home.filePath(QStringLiteral("demo/") + name)));
        demo = home.filePath(QStringLiteral("demo/Demo.dpr"));
    }

    static std::map<QString, MenuItem> Items(const IdeRun &run, std::map<QString, int> &bar)
    {
        std::map<QString, MenuItem> items;
        for (const QString &line : run.log) {
            const QStringList f = line.split(QLatin1Char('\t'));
            if (f.value(0) == QLatin1String("menu") && f.size() >= 4)
                bar[f.at(2)] = f.at(1).toInt();
            else if (f.value(0) == QLatin1String("item") && f.size() >= 6)
                items[f.at(3)] = MenuItem{f.at(1), f.at(2).toInt(), f.at(4), f.at(5)};
        }
        return items;
    }

    QString demo;
};

} // namespace

TEST_F(IdeEndToEnd, TheSevenCommandsSitInTheirMenusWithTheirShortcuts)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const IdeRun run = script({QStringLiteral("dump-menus")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.has(QStringLiteral("expert-registered Quorbels Expert")));
    EXPECT_TRUE(run.starting(QStringLiteral("addin-error")).isEmpty());

    std::map<QString, int> bar;
    const auto items = Items(run, bar);
    auto expect = [&](const char *name, const char *menu, int index, const char *caption, const char *shortcut) {
        const auto it = items.find(QLatin1String(name));
        ASSERT_NE(it, items.end()) << name;
        EXPECT_EQ(it->second.menu, QLatin1String(menu)) << name;
        EXPECT_EQ(it->second.index, index) << name;
        EXPECT_EQ(it->second.caption, QString::fromUtf8(caption)) << name;
        EXPECT_EQ(it->second.shortcut, QLatin1String(shortcut)) << name;
    };
    const int paste = items.at(QStringLiteral("EditPasteItem")).index;
    const int windowList = items.at(QStringLiteral("ViewWindowListItem")).index;
    expect("IdeExpt1", "EditMenu", paste + 1, "Macros...", "Ctrl+Alt+L");
    expect("ViewTraceItem", "ViewMenu", windowList + 1, "Trace Window", "Ctrl+Alt+T");
    expect("IdeExpt2", "ViewMenu", windowList + 2, "&Browse Entity", "Ctrl+Alt+B");
    expect("IdeExpt3", "ViewMenu", windowList + 3, "String &Table", "Ctrl+Alt+W");
    expect("EditInsertarCabeceraItem", "ProjectMenu", bar.at(QStringLiteral("ProjectMenu")) + 1,
           "E&dit Version Resource", "Ctrl+Alt+V");
    expect("EditAyudaItem", "ProjectMenu", bar.at(QStringLiteral("ProjectMenu")) + 2, "Help Proyect",
           "Ctrl+Alt+H");
    expect("EditProjectsNewItem", "FileMenu", bar.at(QStringLiteral("FileMenu")) + 6, "&Projects...", "");

    // Quitting releases the expert after the script, as at a normal exit.
    const int end = run.indexOf(QStringLiteral("script-end"));
    const int released = run.indexOf(QStringLiteral("expert-released Quorbels Expert"));
    EXPECT_GE(end, 0);
    EXPECT_GT(released, end);
}

// Alt and a letter picks one item only: in the menu bar and in each menu,
// the IDE's items and the add-in's together have distinct access keys.
TEST_F(IdeEndToEnd, EveryMenuKeepsItsAccessKeysDistinctWithTheAddinLoaded)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const IdeRun run = script({QStringLiteral("dump-menus")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    ASSERT_TRUE(run.has(QStringLiteral("expert-registered Quorbels Expert")));
    auto accessKey = [](const QString &caption) {
        for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
            if (caption.at(i) != QLatin1Char('&'))
                continue;
            if (caption.at(i + 1) != QLatin1Char('&'))
                return caption.at(i + 1).toLower();
            ++i; // "&&" is a plain "&"
        }
        return QChar();
    };
    std::map<QString, std::map<QChar, QStringList>> keys; // menu -> key -> captions
    int addinItems = 0;
    for (const QString &line : run.log) {
        const QStringList f = line.split(QLatin1Char('\t'));
        QString menu, caption;
        if (f.value(0) == QLatin1String("menu") && f.size() >= 4) {
            menu = QStringLiteral("(bar)");
            caption = f.at(3);
        } else if (f.value(0) == QLatin1String("item") && f.size() >= 5) {
            menu = f.at(1);
            caption = f.at(4);
            addinItems += f.at(3) == QLatin1String("EditProjectsNewItem") || f.at(3) == QLatin1String("IdeExpt2");
        } else {
            continue;
        }
        if (const QChar key = accessKey(caption); !key.isNull())
            keys[menu][key] << caption;
    }
    EXPECT_EQ(addinItems, 2);
    EXPECT_GE(keys.size(), 6u);
    for (const auto &[menu, byKey] : keys)
        for (const auto &[key, captions] : byKey)
            EXPECT_EQ(captions.size(), 1) << menu.toStdString() << ": " << captions.join(" / ").toStdString();
}

TEST_F(IdeEndToEnd, ClosingTheProjectSendsCode5BeforeTheExpertGoes)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const QString other = home.filePath(QStringLiteral("demo/Other.dpr"));
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("program Other;\r\nuses Shapes in 'Shapes.pas';\r\nbegin\r\nend.\r\n");
    f.close();

    const IdeRun run = script({QStringLiteral("open ") + demo, QStringLiteral("dump-project"),
                            QStringLiteral("open ") + other, // another project closes the first
                            QStringLiteral("close-all"),     // File > Close All
                            QStringLiteral("dump-project"), QStringLiteral("open ") + demo});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.has(QStringLiteral("unit 3 ") + home.filePath(QStringLiteral("demo/Reports.pas"))));
    EXPECT_EQ(run.starting(QStringLiteral("notify 5 ")),
              (QStringList{QStringLiteral("notify 5 ") + demo, QStringLiteral("notify 5 ") + other,
                           QStringLiteral("notify 5 ") + demo}));
    // The last closing comes from quitting, before the expert is released.
    EXPECT_LT(run.log.lastIndexOf(QStringLiteral("notify 5 ") + demo),
              run.indexOf(QStringLiteral("expert-released Quorbels Expert")));
    EXPECT_TRUE(run.has(QStringLiteral("project ")));
}

TEST_F(IdeEndToEnd, AddinShortcutsWorkInTheEditor)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const IdeRun run = script({QStringLiteral("dump-windows"), QStringLiteral("key Ctrl+Alt+T"),
                            QStringLiteral("dump-windows")},
                           {home.filePath(QStringLiteral("demo/Shapes.pas"))});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QStringList trace = run.starting(QStringLiteral("window TFTrace "));
    ASSERT_EQ(trace.size(), 2);
    EXPECT_TRUE(trace.at(0).contains(QStringLiteral("visible=0")));
    EXPECT_TRUE(trace.at(1).contains(QStringLiteral("visible=1")));
}

TEST_F(IdeEndToEnd, AMissingLibraryIsReportedAndSkipped)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    {
        // A second add-in whose library is gone, in the IDE's registry file.
        const QByteArray own = qgetenv("QUORBEL_REGISTRY");
        qputenv("QUORBEL_REGISTRY", home.filePath(QStringLiteral("registry.ini")).toUtf8());
        Registry::writeString(HKEY::CurrentUser, QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts"),
                              QStringLiteral("Broken"), QStringLiteral("/nonexistent/libbroken.so"));
        qputenv("QUORBEL_REGISTRY", own);
    }

    const IdeRun run = script({QStringLiteral("dump-menus")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QStringList errors = run.starting(QStringLiteral("addin-error "));
    ASSERT_EQ(errors.size(), 1);
    EXPECT_TRUE(errors.first().contains(QStringLiteral("/nonexistent/libbroken.so")));
    const QStringList messages = run.starting(QStringLiteral("message: "));
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages.first().contains(QStringLiteral("Broken")));
    // The good add-in still runs.
    EXPECT_TRUE(run.has(QStringLiteral("expert-registered Quorbels Expert")));
    std::map<QString, int> bar;
    EXPECT_EQ(Items(run, bar).count(QStringLiteral("IdeExpt1")), 1u);
}

TEST_F(IdeEndToEnd, AHostAbortIsShownAndTheIdeRunsOn)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    // Macros with no file open: the add-in's check asks the host to abort.
    // An empty macro store, so that the macro list opens without a notice.
    QFile store(home.filePath(QStringLiteral("lib/Quorbel.dat")));
    ASSERT_TRUE(store.open(QIODevice::WriteOnly));
    store.close();
    const IdeRun run = script({QStringLiteral("modal accept"), QStringLiteral("modal accept"),
                               QStringLiteral("click IdeExpt1"),
                            QStringLiteral("echo still running"), QStringLiteral("open ") + demo,
                            QStringLiteral("dump-editor")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.has(QStringLiteral("message: Es necesario que tener abierto un proyecto o fichero .pas")));
    EXPECT_TRUE(run.starting(QStringLiteral("modal-timeout")).isEmpty());
    EXPECT_TRUE(run.has(QStringLiteral("still running")));
    EXPECT_EQ(run.starting(QStringLiteral("editor cursor=1:1")).size(), 1);
}

TEST_F(IdeEndToEnd, EditsAreSavedWithTheFilesOwnLineEnds)
{
    const QString unit = home.filePath(QStringLiteral("demo/Geometry.pas"));
    const IdeRun run = script({QStringLiteral("open ") + unit, QStringLiteral("cursor 1 6"),
                            QStringLiteral("type Plane"), QStringLiteral("save"), QStringLiteral("dump-editor")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    QFile f(unit);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray bytes = f.readAll();
    EXPECT_TRUE(bytes.startsWith("unit PlaneGeometry;\n\n{ Plain")) << bytes.left(40).toStdString();
    EXPECT_FALSE(bytes.contains('\r'));
    EXPECT_TRUE(run.has(QStringLiteral("saved ") + unit));
    EXPECT_EQ(run.starting(QStringLiteral("editor cursor=1:11 top=1 modified=0")).size(), 1);
}

TEST_F(IdeEndToEnd, RegistrationWritesTheAbsolutePath)
{
    QProcessEnvironment env = environment();
    const IdeRun missing = launch({QStringLiteral("--register-addin"), home.filePath(QStringLiteral("none.so"))}, env);
    EXPECT_EQ(missing.exitCode, 1);
    EXPECT_TRUE(launch({QStringLiteral("--registered-addin")}, env).log.value(0).isEmpty());

    ASSERT_TRUE(QFile::copy(addin, home.filePath(QStringLiteral("libquorbel.so"))));
    QProcess p;
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home.path());
    p.start(ide, {QStringLiteral("--register-addin"), QStringLiteral("libquorbel.so")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_EQ(p.exitCode(), 0);
    EXPECT_EQ(launch({QStringLiteral("--registered-addin")}, env).log.value(0),
              home.filePath(QStringLiteral("libquorbel.so")));
}

// Registration makes this build's quorbel-help the program for help files,
// again and again without harm; where the entry cannot go, the add-in is
// registered all the same and the reason is printed.
TEST_F(IdeEndToEnd, RegistrationInstallsTheHelpViewersDesktopEntry)
{
    const QString built = BuildDir() + QStringLiteral("/share/applications/quorbel-help.desktop");
    const QString installed = home.filePath(QStringLiteral("share/applications/quorbel-help.desktop"));
    auto bytes = [](const QString &path) {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    };
    const IdeRun first = registerAddin(addin);
    ASSERT_EQ(first.exitCode, 0) << first.errors.toStdString();
    EXPECT_FALSE(bytes(built).isEmpty());
    EXPECT_EQ(bytes(installed), bytes(built));
    EXPECT_TRUE(first.has(QStringLiteral("Installed ") + installed)) << first.log.join('\n').toStdString();
    // The picture the entry names comes with it.
    const QString icon = QStringLiteral("share/icons/hicolor/32x32/apps/quorbel-help.png");
    EXPECT_EQ(bytes(home.filePath(icon)), bytes(BuildDir() + QLatin1Char('/') + icon));
    EXPECT_FALSE(bytes(home.filePath(icon)).isEmpty());
    const IdeRun again = registerAddin(addin);
    ASSERT_EQ(again.exitCode, 0);
    EXPECT_EQ(bytes(installed), bytes(built));
    EXPECT_TRUE(again.starting(QStringLiteral("Installed ")).isEmpty());
    // xdg-mime writes the choice to the config home; without xdg-utils only
    // the entry is installed and the run says so.
    if (!QStandardPaths::findExecutable(QStringLiteral("xdg-mime")).isEmpty())
        EXPECT_TRUE(bytes(home.filePath(QStringLiteral("mimeapps.list")))
                        .contains("application/winhlp=quorbel-help.desktop"));
    else
        EXPECT_TRUE(first.errors.contains(QStringLiteral("xdg-utils is not installed")));

    // A file where the data directory should be: a failure that holds for
    // root too.
    QFile blocker(home.filePath(QStringLiteral("blocked")));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("XDG_DATA_HOME"), blocker.fileName());
    QFile::remove(home.filePath(QStringLiteral("registry.ini")));
    const IdeRun blocked = launch({QStringLiteral("--register-addin"), addin}, env);
    EXPECT_EQ(blocked.exitCode, 0);
    EXPECT_TRUE(blocked.errors.contains(QStringLiteral("The help viewer was not installed in ") + blocker.fileName()))
        << blocked.errors.toStdString();
    EXPECT_EQ(launch({QStringLiteral("--registered-addin")}, env).log.value(0), addin);
}

TEST_F(IdeEndToEnd, WithoutADisplayItSaysHowToRun)
{
    QProcessEnvironment env = environment();
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    const IdeRun run = launch({demo}, env);
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_TRUE(run.errors.contains(QStringLiteral("xvfb-run"))) << run.errors.toStdString();
}

TEST_F(IdeEndToEnd, ScriptErrorsAreLoggedAndFailTheRun)
{
    const IdeRun run = script({QStringLiteral("frobnicate"), QStringLiteral("click NoSuchItem"),
                            QStringLiteral("echo after")});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.starting(QStringLiteral("script-error ")).size(), 2);
    EXPECT_TRUE(run.has(QStringLiteral("after")));
}

TEST_F(IdeEndToEnd, ProjectGroupsOpenAProjectThroughTheIde)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const IdeRun run = script({
        QStringLiteral("open ") + demo,
        // Projects...: no group file yet (a notice), a new group, the open
        // project added to it, Esc keeps the groups.
        QStringLiteral("modal accept"), QStringLiteral("modal invoke btnNuevoGrupo"),
        QStringLiteral("modal key Return"), QStringLiteral("modal select Proyectos 0"),
        QStringLiteral("modal invoke btnAdd"), QStringLiteral("modal key Return"),
        QStringLiteral("modal key Escape"), QStringLiteral("click EditProjectsNewItem"),
        QStringLiteral("close-all"), QStringLiteral("dump-project"),
        // Projects... again: a double-click on the project opens it in the IDE.
        QStringLiteral("modal dblclick Proyectos 1"), QStringLiteral("click EditProjectsNewItem"),
        QStringLiteral("dump-project")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-error")).isEmpty()) << run.log.join('\n').toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-timeout")).isEmpty());
    EXPECT_EQ(run.starting(QStringLiteral("project ")),
              (QStringList{QStringLiteral("project "), QStringLiteral("project ") + demo}));
    EXPECT_EQ(run.starting(QStringLiteral("notify 4 ")).size(), 2);
    QFile groups(home.filePath(QStringLiteral("lib/proj.dat")));
    ASSERT_TRUE(groups.open(QIODevice::ReadOnly));
    EXPECT_TRUE(groups.readAll().contains(demo.toUtf8()));
}

TEST_F(IdeEndToEnd, AMacroGoesInAtTheCursorThroughItsShortcut)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    QFile store(home.filePath(QStringLiteral("lib/Quorbel.dat")));
    ASSERT_TRUE(store.open(QIODevice::WriteOnly));
    store.close();
    const QString unit = home.filePath(QStringLiteral("demo/Geometry.pas"));
    const IdeRun run = script({QStringLiteral("open ") + unit, QStringLiteral("cursor 3 1"),
                               // Macros...: a new two-line macro, then pick it.
                               QStringLiteral("modal invoke Nuevo1"), QStringLiteral("modal text Edit1 Stamp"),
                               QStringLiteral("modal text Memo1 { Checked: $FILE$ }\\n{ done }"),
                               QStringLiteral("modal invoke Button1"), QStringLiteral("modal select ListBox1 0"),
                               QStringLiteral("modal invoke Button1"), QStringLiteral("key Ctrl+Alt+L"),
                               QStringLiteral("save")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-")).filter(QStringLiteral("error")).isEmpty());
    QFile f(unit);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QByteArray expected = "unit Geometry;\n\n{ Checked: " + unit.toUtf8() + " }\n{ done }{ Plain geometric";
    EXPECT_TRUE(f.readAll().startsWith(expected));
}

TEST_F(IdeEndToEnd, AStoredMacroReplacesOnlyTheFirstDatePlaceholder)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    // One stored record: title length byte, 100 title bytes, NUL-ended body in 2049.
    QByteArray record(2150, '\0');
    const QByteArray title = "Dated";
    const QByteArray body = "{ $DATE$ and $DATE$ }";
    record[0] = char(title.size());
    record.replace(1, title.size(), title);
    record.replace(101, body.size(), body);
    QFile store(home.filePath(QStringLiteral("lib/Quorbel.dat")));
    ASSERT_TRUE(store.open(QIODevice::WriteOnly));
    store.write(record);
    store.close();

    const QString unit = home.filePath(QStringLiteral("demo/Geometry.pas"));
    const IdeRun run = script({QStringLiteral("open ") + unit, QStringLiteral("cursor 3 5"),
                               QStringLiteral("modal select ListBox1 0"),
                               QStringLiteral("modal invoke Button1"),
                               QStringLiteral("click IdeExpt1"), QStringLiteral("save")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_EQ(run.starting(QStringLiteral("modal-")),
              QStringList{QStringLiteral("modal-open TFMacrosForm FMacrosForm")});
    EXPECT_TRUE(run.starting(QStringLiteral("message:")).isEmpty()) << run.log.join('\n').toStdString();
    QFile f(unit);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    const QString date = QLocale::system().toString(QDate::currentDate(), QLocale::ShortFormat);
    ASSERT_GE(lines.size(), 3);
    EXPECT_EQ(lines.at(2), QStringLiteral("{ Pl{ ") + date
                               + QStringLiteral(" and $DATE$ }ain geometric helpers used by the shapes. }"));
}

TEST_F(IdeEndToEnd, AFileTheEditorCannotKeepIsWarnedAboutAndSavedUneditedAsRead)
{
    const QString unit = home.filePath(QStringLiteral("demo/Latin.pas"));
    const QByteArray bytes = "\xef\xbb\xbfunit Latin; { Espa\xf1" "a }\r\nend.\r\n"; // not UTF-8 after the BOM
    QFile f(unit);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
    f.close();
    const IdeRun run = script({QStringLiteral("open ") + unit, QStringLiteral("save")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QStringList warnings = run.starting(QStringLiteral("file-warning ") + unit);
    ASSERT_EQ(warnings.size(), 1) << run.log.join('\n').toStdString();
    EXPECT_TRUE(warnings.first().contains(QStringLiteral("not UTF-8")));
    EXPECT_TRUE(run.has(QStringLiteral("saved ") + unit));
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_EQ(f.readAll(), bytes);
}

TEST_F(IdeEndToEnd, AProjectThatIsAPipeIsRefusedWithTheReasonAndTheIdeRunsOn)
{
    const QString pipe = home.filePath(QStringLiteral("demo/Pipe.dpr"));
    ASSERT_EQ(::mkfifo(QFile::encodeName(pipe).constData(), 0600), 0);
    const IdeRun run = script({QStringLiteral("modal accept"), QStringLiteral("open ") + pipe,
                               QStringLiteral("open ") + demo, QStringLiteral("dump-project")});
    EXPECT_EQ(run.exitCode, 1); // the failed open is a script error
    EXPECT_TRUE(run.has(QStringLiteral("message: Cannot open file ") + pipe
                        + QStringLiteral(": it is not a regular file (a device, pipe or socket)")))
        << run.log.join('\n').toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-timeout")).isEmpty());
    EXPECT_TRUE(run.has(QStringLiteral("project ") + demo));
}

TEST_F(IdeEndToEnd, TheVersionEditorShowsTheBuiltDllAndCompilesItsScriptTwice)
{
    // Demo.dll from the demo's own script, as the build makes it.
    QFile rc(QStringLiteral(QUORBEL_SOURCE_DIR "/examples/demo/Demo.rc"));
    ASSERT_TRUE(rc.open(QIODevice::ReadOnly));
    QDir(home.path()).mkpath(QStringLiteral("dll"));
    const QString dll = BuildDll(home.filePath(QStringLiteral("dll")), QStringLiteral("Demo.dll"), rc.readAll());
    ASSERT_FALSE(dll.isEmpty());
    const QString target = home.filePath(QStringLiteral("demo/Demo.dll"));
    QFile::remove(target);
    ASSERT_TRUE(QFile::copy(dll, target));
    ASSERT_EQ(registerAddin(addin).exitCode, 0);

    const QStringList show = {QStringLiteral("modal show FVersion"), QStringLiteral("modal show TipoOS"),
                              QStringLiteral("modal show CIA"), QStringLiteral("modal show Coopyrag"),
                              QStringLiteral("modal show Privada"), QStringLiteral("modal show ELenguaje"),
                              QStringLiteral("modal show TCodigos"), QStringLiteral("modal invoke Button1")};
    const IdeRun run = script(QStringList{QStringLiteral("open ") + demo} + show
                              + QStringList{QStringLiteral("key Ctrl+Alt+V")} + show
                              + QStringList{QStringLiteral("click EditInsertarCabeceraItem")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("message: ")).isEmpty()) << run.log.join('\n').toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-error")).isEmpty()) << run.log.join('\n').toStdString();
    const QStringList values = run.starting(QStringLiteral("modal-value "));
    const QStringList once = {QStringLiteral("modal-value FVersion 1,2,0,7"),
                              QStringLiteral("modal-value TipoOS WinNT"),
                              QStringLiteral("modal-value CIA Quorbel Demo"),
                              QStringLiteral("modal-value Coopyrag \u00A9 2024 Quorbel Demo"),
                              QStringLiteral("modal-value Privada 8"),
                              QStringLiteral("modal-value ELenguaje U.S. English"),
                              QStringLiteral("modal-value TCodigos Multilingual")};
    EXPECT_EQ(values, once + once);

    const QString dir = home.filePath(QStringLiteral("demo/"));
    QFile script(dir + QStringLiteral("version.rc"));
    ASSERT_TRUE(script.open(QIODevice::ReadOnly));
    const QByteArray text = script.readAll();
    EXPECT_TRUE(text.contains("            VALUE \"PrivateBuild\", \"8\\0\"\r\n"));
    EXPECT_TRUE(text.contains("\"\xA9 2024 Quorbel Demo\\0\"\r\n"));
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("version.res")));
    EXPECT_TRUE(QFile::exists(dir + QStringLiteral("version.bak")));
    // The tool was found beside the IDE and stored at once.
    QFile conf(home.filePath(QStringLiteral("lib/Ideexe.dat")));
    ASSERT_TRUE(conf.open(QIODevice::ReadOnly));
    EXPECT_TRUE(conf.readAll().mid(256, 256).contains("/brcc32"));
}

// Values with quotes, backslashes and characters beyond Windows-1252 go
// from a built DLL through the editor and the real brcc32 into version.res;
// linked into the DLL again, the editor shows them as they were.
TEST_F(IdeEndToEnd, VersionValuesWithQuotesBackslashesAndAnyCharacterComeBackWhole)
{
    const QByteArray rc = QStringLiteral(
        "1 VERSIONINFO\r\n FILEVERSION 4,0,0,1\r\n PRODUCTVERSION 4,0,0,0\r\n"
        " FILEOS 0x40004L\r\n FILETYPE 0x2L\r\n"
        "{\r\n BLOCK \"StringFileInfo\"\r\n {\r\n  BLOCK \"040904E4\"\r\n  {\r\n"
        "   VALUE \"CompanyName\", \"Quorbel \"\"Demo\"\"\\0\"\r\n"
        "   VALUE \"FileDescription\", \"C:\\\\temp\\\\x\\0\"\r\n"
        "   VALUE \"LegalCopyright\", \"\u00A9 2026 \u0416\\0\"\r\n"
        "   VALUE \"ProductName\", \"Demo \u2713\\0\"\r\n"
        "  }\r\n }\r\n BLOCK \"VarFileInfo\"\r\n {\r\n"
        "  VALUE \"Translation\", 0x0409, 1252\r\n }\r\n}\r\n").toUtf8();
    const QString dir = home.filePath(QStringLiteral("demo/"));
    QDir(home.path()).mkpath(QStringLiteral("dll"));
    const QString dll = BuildDll(home.filePath(QStringLiteral("dll")), QStringLiteral("Demo.dll"), rc,
                                 TPeKind::Pe32Plus, 65001);
    ASSERT_FALSE(dll.isEmpty());
    QFile::remove(dir + QStringLiteral("Demo.dll"));
    ASSERT_TRUE(QFile::copy(dll, dir + QStringLiteral("Demo.dll")));
    ASSERT_EQ(registerAddin(addin).exitCode, 0);

    QStringList show;
    for (const char *name : {"CIA", "Descrip", "Coopyrag", "NomProducto", "Comen"})
        show << QStringLiteral("modal show ") + QLatin1String(name);
    const QStringList expected = {QStringLiteral("modal-value CIA Quorbel \"Demo\""),
                                  QStringLiteral("modal-value Descrip C:\\temp\\x"),
                                  QStringLiteral("modal-value Coopyrag \u00A9 2026 \u0416"),
                                  QStringLiteral("modal-value NomProducto Demo \u2713"),
                                  QStringLiteral("modal-value Comen say \"hi\" in D:\\data\\")};
    const IdeRun first = script(QStringList{QStringLiteral("open ") + demo,
                                            QStringLiteral("modal text Comen say \"hi\" in D:\\data\\")}
                                + show
                                + QStringList{QStringLiteral("modal invoke Button1"),
                                              QStringLiteral("click EditInsertarCabeceraItem")});
    ASSERT_EQ(first.exitCode, 0) << first.errors.toStdString();
    EXPECT_TRUE(first.starting(QStringLiteral("message: ")).isEmpty()) << first.log.join('\n').toStdString();
    EXPECT_TRUE(first.starting(QStringLiteral("modal-error")).isEmpty()) << first.log.join('\n').toStdString();
    EXPECT_EQ(first.starting(QStringLiteral("modal-value ")), expected);

    // The compiled resource in the project's DLL, then the editor once more.
    const QString relinked = LinkDllFromRes(dir, QStringLiteral("Relinked.dll"), QStringLiteral("version.res"));
    ASSERT_FALSE(relinked.isEmpty());
    QFile::remove(dir + QStringLiteral("Demo.dll"));
    ASSERT_TRUE(QFile::rename(relinked, dir + QStringLiteral("Demo.dll")));
    const IdeRun second = script(QStringList{QStringLiteral("open ") + demo} + show
                                 + QStringList{QStringLiteral("modal reject"),
                                               QStringLiteral("click EditInsertarCabeceraItem")});
    ASSERT_EQ(second.exitCode, 0) << second.errors.toStdString();
    EXPECT_TRUE(second.starting(QStringLiteral("message: ")).isEmpty()) << second.log.join('\n').toStdString();
    EXPECT_EQ(second.starting(QStringLiteral("modal-value ")), expected);
}

TEST_F(IdeEndToEnd, TheTableCommandsCreateTheProjectTablesWhenTheUserAgrees)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const IdeRun run = script({QStringLiteral("open ") + demo,
                               // String Table: Yes, then the window closes.
                               QStringLiteral("modal invoke yes"), QStringLiteral("modal reject"),
                               QStringLiteral("click IdeExpt3"),
                               // Help Proyect: Yes; the editor window is not modal.
                               QStringLiteral("modal invoke yes"), QStringLiteral("click EditAyudaItem"),
                               // The table is open now: no question.
                               QStringLiteral("modal reject"), QStringLiteral("click IdeExpt3")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-error")).isEmpty()) << run.log.join('\n').toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-timeout")).isEmpty()) << run.log.join('\n').toStdString();
    EXPECT_EQ(run.starting(QStringLiteral("message: ")),
              QStringList({QStringLiteral("message: This project dont have a language engine, Create it"),
                           QStringLiteral("message: This proyect don't have Expert Help initialized, Do you "
                                          "like initialize NOW?")}));
    EXPECT_EQ(run.starting(QStringLiteral("modal-open TLDBrowse")).size(), 2);
    for (const char *file : {"demo/LANG/language.db", "demo/HLP/Ayuda.db", "demo/HLP/bola.bmp", "demo/HLP/boton.bmp"})
        EXPECT_TRUE(QFile::exists(home.filePath(QString::fromLatin1(file)))) << file;
}

// The string table from a user's first use: the table is created, two
// languages named, two strings typed in both, one inserted at the cursor;
// then English is compiled into the program's resources and Spanish into its
// own library, and both hold the strings as typed, numbered by identifier.
TEST_F(IdeEndToEnd, StringTableInsertsACallAndCompilesBothVariants)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const QString quoted = QStringLiteral("Hello \"world\" C:\\temp");
    const IdeRun run = script({
        QStringLiteral("open ") + demo, QStringLiteral("cursor 13 1"),
        // The first command creates the table and fills it.
        QStringLiteral("modal invoke Yes"), QStringLiteral("modal invoke btnSetLang"),
        QStringLiteral("modal text Edit1 English"), QStringLiteral("modal text Edit2 Spanish"),
        QStringLiteral("modal invoke Button1"),
        QStringLiteral("modal invoke Insert1"), QStringLiteral("modal text DBEdit1 IDS_HELLO"),
        QStringLiteral("modal text DBMemo1 ") + quoted, QStringLiteral("modal select ComboBox1 1"),
        QStringLiteral("modal text DBMemo1 Hola"), QStringLiteral("modal invoke Button1"),
        QStringLiteral("modal invoke Insert1"), QStringLiteral("modal text DBEdit1 ids bye"),
        QStringLiteral("modal text DBMemo1 Goodbye, until tomorrow"), QStringLiteral("modal select ComboBox1 1"),
        QStringLiteral("modal text DBMemo1 Adiós"), QStringLiteral("modal invoke Button1"),
        QStringLiteral("modal select DB3DGrid1 0"), QStringLiteral("modal key Return"),
        QStringLiteral("click IdeExpt3"), QStringLiteral("dump-text"),
        // The second compiles English linked in, then Spanish as a library.
        QStringLiteral("modal invoke btnCompile"), QStringLiteral("modal select ComboBox1 1"),
        QStringLiteral("modal invoke CheckBox1"), QStringLiteral("modal invoke btnCompile"),
        QStringLiteral("modal reject"), QStringLiteral("click IdeExpt3")});
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    const QString log = run.log.join(QLatin1Char('\n'));
    EXPECT_TRUE(run.starting(QStringLiteral("modal-error")).isEmpty()) << log.toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-timeout")).isEmpty()) << log.toStdString();
    EXPECT_EQ(run.starting(QStringLiteral("message: ")),
              QStringList(QStringLiteral("message: This project dont have a language engine, Create it")));
    // The grid is ordered by the English text: Goodbye comes first.
    EXPECT_TRUE(run.has(QStringLiteral("text: LangEx(IDS_BYE{Goodbye, until...})"))) << log.toStdString();

    const QString lang = home.filePath(QStringLiteral("demo/LANG/"));
    QFile unit(home.filePath(QStringLiteral("demo/language.pas")));
    ASSERT_TRUE(unit.open(QIODevice::ReadOnly));
    EXPECT_TRUE(unit.readAll().contains("    cLib :='Spanisty.dll';\r\n"));
    EXPECT_TRUE(QFile::exists(lang + QStringLiteral("Englisty.lan")));
    const QString res = lang + QStringLiteral("Englisty.res");
    EXPECT_EQ(LoadStringResource(res, 1000), QStringLiteral("Goodbye, until tomorrow"));
    EXPECT_EQ(LoadStringResource(res, 1001), QStringLiteral("Hello \"world\" C:\\temp"));
    const QString dll = lang + QStringLiteral("Spanisty/Spanisty.dll");
    // A 32-bit library, as a 32-bit program loads it.
    EXPECT_EQ(ReadPeHeaders(dll).Machine, 0x14C);
    EXPECT_EQ(ReadPeHeaders(dll).Magic, 0x10B);
    EXPECT_EQ(LoadStringResource(dll, 1000), QStringLiteral("Adiós"));
    EXPECT_EQ(LoadStringResource(dll, 1001), QStringLiteral("Hola"));
    EXPECT_EQ(LoadStringResource(dll, 1002).value_or(QString()), QString());
}

// With the IDE's own directory on the PATH, Project > Compile passes over the
// dcc32 built there (it links resource libraries only) for the next compiler.
TEST_F(IdeEndToEnd, CompileDoesNotTakeTheResourceLibraryLinkerForACompiler)
{
    const QString fake = home.filePath(QStringLiteral("fakebin"));
    ASSERT_TRUE(QDir().mkpath(fake));
    QFile fpc(fake + QStringLiteral("/fpc"));
    ASSERT_TRUE(fpc.open(QIODevice::WriteOnly));
    fpc.write("#!/bin/sh\necho \"fake fpc $*\"\n");
    fpc.close();
    fpc.setPermissions(fpc.permissions() | QFileDevice::ExeOwner);
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("PATH"), BuildDir() + QStringLiteral("/bin:") + fake + QStringLiteral(":/usr/bin:/bin"));
    const QString file = home.filePath(QStringLiteral("script.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(("open " + demo + "\nclick ProjectCompileItem\n").toUtf8());
    f.close();
    const IdeRun run = launch({QStringLiteral("--script"), file}, env);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.has(QStringLiteral("compiled 1 ") + demo)) << run.log.join('\n').toStdString();
    EXPECT_TRUE(run.log.join('\n').contains(QStringLiteral("fake fpc -Mdelphi Demo.dpr")))
        << run.log.join('\n').toStdString();
}

// The help editor from a user's first use: the table is created, three
// topics in two levels added from the toolbar (the second and third under the
// first), the sources generated and the help compiler beside the IDE (hcw,
// found before anything on the PATH) run on the project with its switches.
TEST_F(IdeEndToEnd, HelpEditorAddsTopicsGeneratesAndStartsTheCompiler)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    QProcessEnvironment env = environment();
    const QString picture = home.filePath(QStringLiteral("tree.png"));
    const QString file = home.filePath(QStringLiteral("script.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("open %1\nmodal invoke Yes\nclick EditAyudaItem\n"
                           "press btnNuevo\npress btnNuevo\nkey Up\npress btnNuevo\ngrab FAyudaW %2\n"
                           "modal-timeout 20000\npress btnWord\n")
                .arg(demo, picture)
                .toUtf8());
    f.close();
    const IdeRun run = launch({QStringLiteral("--script"), file}, env);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString() << run.log.join('\n').toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("modal-timeout")).isEmpty()) << run.log.join('\n').toStdString();
    EXPECT_TRUE(QFile::exists(picture));
    const QString hlp = home.filePath(QStringLiteral("demo/HLP/"));
    QFile map(hlp + QStringLiteral("map.def"));
    ASSERT_TRUE(map.open(QIODevice::ReadOnly));
    EXPECT_EQ(map.readAll(), QByteArray("New_Topic2 = 1\r\nNew_Topic3 = 2\r\nNew_Topic4 = 3\r\n"));
    EXPECT_TRUE(QFile::exists(hlp + QStringLiteral("Demo.hpj")));
    QFile rtf(hlp + QStringLiteral("Demo.rtf"));
    ASSERT_TRUE(rtf.open(QIODevice::ReadOnly));
    const QByteArray document = rtf.readAll();
    for (const char *title : {"New Topic2", "New Topic3", "New Topic4"})
        EXPECT_TRUE(document.contains(title)) << title;
    // The two subtopics are jumps on the first topic's page.
    const qsizetype page2 = document.indexOf("{\\footnote \\super # New_Topic2}");
    const qsizetype page3 = document.indexOf("{\\footnote \\super # New_Topic3}");
    for (const char *jump : {"{\\uldb \\{bmc boton.bmp\\} New Topic3}\r\n{\\v New_Topic3}",
                             "{\\uldb \\{bmc boton.bmp\\} New Topic4}\r\n{\\v New_Topic4}"}) {
        const qsizetype at = document.indexOf(jump);
        EXPECT_TRUE(page2 >= 0 && at > page2 && at < page3) << jump;
    }
    // The compiler runs detached: give it a moment to have written the help
    // file and then the error log, both where the project says, beside Demo.dpr.
    QFile log(home.filePath(QStringLiteral("demo/Demo.ERR")));
    for (int i = 0; i < 200 && !log.exists(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(log.open(QIODevice::ReadOnly));
    EXPECT_TRUE(log.readAll().contains("4 topics")); // the contents page and the three
    QFile help(home.filePath(QStringLiteral("demo/Demo.hlp")));
    ASSERT_TRUE(help.open(QIODevice::ReadOnly));
    const QByteArray html = help.readAll();
    for (const char *topic : {"id=\"New_Topic2\"", "id=\"New_Topic3\"", "id=\"New_Topic4\"", "<a id=\"map-3\">"})
        EXPECT_TRUE(html.contains(topic)) << topic;
    EXPECT_TRUE(html.contains("class=\"jump\" data-target=\"New_Topic3\" href=\"#New_Topic3\""));
}

// F1 in the help editor opens the add-in's own help, installed beside the
// registered library, at the help editor's page: the viewer's command line
// is taken by a recorder named as the viewer.
TEST_F(IdeEndToEnd, HelpKeyInTheHelpEditorOpensTheAddinsHelpAtItsPage)
{
    const QString built = BuildDir() + QStringLiteral("/lib/quorbel.hlp");
    ASSERT_TRUE(QFile::exists(built)) << built.toStdString();
    const QString help = home.filePath(QStringLiteral("lib/quorbel.hlp"));
    ASSERT_TRUE(QFile::copy(built, help));
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const QString record = home.filePath(QStringLiteral("viewer.args"));
    const QProcessEnvironment env = withViewerRecorder(QStringLiteral("printf '%s\\n' \"$@\" > '%1.tmp'\nmv '%1.tmp' '%1'\n"));
    const QString file = home.filePath(QStringLiteral("script.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    // The new topic's title is open for typing, and keys in that box are
    // its own: Enter ends the rename before F1 reaches the window.
    f.write(QStringLiteral("open %1\nmodal invoke Yes\nclick EditAyudaItem\npress btnNuevo\nkey Return\nkey F1\nwait 300\n")
                .arg(demo)
                .toUtf8());
    f.close();
    const IdeRun run = launch({QStringLiteral("--script"), file}, env);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString() << run.log.join('\n').toStdString();
    QFile args(record);
    for (int i = 0; i < 200 && !args.exists(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly)) << run.log.join('\n').toStdString();
    EXPECT_EQ(QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts),
              (QStringList{help, QStringLiteral("-context"), QStringLiteral("42")}));
}

// Help > Quorbel Guide opens the guide beside the registered add-in at its
// contents page; with no guide there, the message names the file.
TEST_F(IdeEndToEnd, TheHelpMenuOpensTheAddinsGuideAtItsContents)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const QString help = home.filePath(QStringLiteral("lib/quorbel.hlp"));
    const QString record = home.filePath(QStringLiteral("viewer.args"));
    const QProcessEnvironment env = withViewerRecorder(QStringLiteral("printf '%s\\n' \"$@\" > '%1.tmp'\nmv '%1.tmp' '%1'\n"));
    const QString file = home.filePath(QStringLiteral("script.txt"));
    auto run = [&] {
        QFile f(file);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write("modal accept\nclick HelpGuideItem\nwait 300\n");
        f.close();
        return launch({QStringLiteral("--script"), file}, env);
    };
    const IdeRun missing = run();
    ASSERT_EQ(missing.exitCode, 0) << missing.errors.toStdString();
    EXPECT_EQ(missing.starting(QStringLiteral("message: ")).size(), 1) << missing.log.join('\n').toStdString();
    EXPECT_TRUE(missing.starting(QStringLiteral("message: ")).value(0).contains(help));
    EXPECT_FALSE(QFile::exists(record));

    ASSERT_TRUE(QFile::copy(BuildDir() + QStringLiteral("/lib/quorbel.hlp"), help));
    const IdeRun shown = run();
    ASSERT_EQ(shown.exitCode, 0) << shown.errors.toStdString();
    EXPECT_TRUE(shown.starting(QStringLiteral("message: ")).isEmpty()) << shown.log.join('\n').toStdString();
    QFile args(record);
    for (int i = 0; i < 200 && !args.exists(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(args.open(QIODevice::ReadOnly));
    EXPECT_EQ(QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts), QStringList{help});
}

// F1 in a tool window of the running IDE opens that tool's page, not the
// IDE's own help that F1 opens in its main and editor windows.
TEST_F(IdeEndToEnd, HelpKeyInAToolWindowOpensItsPageOfTheGuide)
{
    ASSERT_TRUE(QFile::copy(BuildDir() + QStringLiteral("/lib/quorbel.hlp"), home.filePath(QStringLiteral("lib/quorbel.hlp"))));
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const QString record = home.filePath(QStringLiteral("viewer.args"));
    const QProcessEnvironment env = withViewerRecorder(QStringLiteral("echo \"$3\" >> '%1'\n"));
    const QString file = home.filePath(QStringLiteral("script.txt"));
    QFile f(file);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(QStringLiteral("open %1\nclick ViewTraceItem\nkey F1\nwait 300\n"
                           "open %2\nclick IdeExpt2\nkey F1\nwait 300\n")
                .arg(demo, home.filePath(QStringLiteral("demo/Shapes.pas")))
                .toUtf8());
    f.close();
    const IdeRun run = launch({QStringLiteral("--script"), file}, env);
    ASSERT_EQ(run.exitCode, 0) << run.errors.toStdString() << run.log.join('\n').toStdString();
    EXPECT_TRUE(run.starting(QStringLiteral("message: ")).isEmpty()) << run.log.join('\n').toStdString();
    QStringList pages;
    for (int i = 0; i < 200 && pages.size() < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        QFile args(record);
        if (args.open(QIODevice::ReadOnly))
            pages = QString::fromUtf8(args.readAll()).split('\n', Qt::SkipEmptyParts);
    }
    EXPECT_EQ(pages, (QStringList{QStringLiteral("50"), QStringLiteral("20")}));
}

// The trace window of the running IDE lists what a shell pipeline sends: the
// sender's call returns once each line is in the list, so a clean exit means
// all 1,000 arrived.
TEST_F(IdeEndToEnd, TraceWindowReceivesLinesFromAShellPipeline)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    auto ide = std::async(std::launch::async, [this] {
        return script({"click ViewTraceItem", "wait 8000", "dump-windows", "quit"});
    });
    const QString socket = home.filePath(QStringLiteral("runtime/quorbel/TFTrace"));
    for (int i = 0; i < 300 && !QFile::exists(socket); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    ASSERT_TRUE(QFile::exists(socket));
    QProcess sender;
    sender.setProcessEnvironment(environment());
    sender.start(QStringLiteral("/bin/sh"),
                 {QStringLiteral("-c"), QStringLiteral("seq 1 1000 | '%1' -").arg(QUORBEL_TRACE)});
    ASSERT_TRUE(sender.waitForFinished(30000));
    EXPECT_EQ(sender.exitCode(), 0) << sender.readAllStandardError().toStdString();
    const IdeRun run = ide.get();
    EXPECT_EQ(run.exitCode, 0) << run.errors.toStdString();
    EXPECT_TRUE(run.has(QStringLiteral("window TFTrace FTrace visible=1 title=Trace Window")))
        << run.log.join(QLatin1Char('\n')).toStdString();
    // Once the IDE is gone, nobody receives.
    QProcess after;
    after.setProcessEnvironment(environment());
    after.start(QStringLiteral(QUORBEL_TRACE), {QStringLiteral("late")});
    ASSERT_TRUE(after.waitForFinished(10000));
    EXPECT_EQ(after.exitCode(), 2);
}

// A form designer asks the running IDE's help editor for a topic: the user
// picks one in the window, shown modally for the choice, and
// quorbel-pick-topic prints its number.
TEST_F(IdeEndToEnd, PickTopicAsksTheRunningHelpEditor)
{
    ASSERT_EQ(registerAddin(addin).exitCode, 0);
    const QString hlp = home.filePath(QStringLiteral("demo/HLP"));
    ASSERT_TRUE(QDir().mkpath(hlp));
    int alpha = 0;
    {
        TTable t;
        t.DatabaseName = hlp;
        t.TableName = QStringLiteral("Ayuda.db");
        t.FieldDefs = {{"Titulo", TFieldType::String, 40},   {"parent", TFieldType::Integer},
                       {"Level", TFieldType::String, 1},     {"Map", TFieldType::AutoInc},
                       {"Popup", TFieldType::Boolean},       {"Keyword", TFieldType::String, 255},
                       {"TExto", TFieldType::Memo, 255}};
        t.IndexDefs = {{"prymary", "Titulo;parent", true}};
        t.CreateTable();
        t.Open();
        for (const char *title : {"Beta", "Alpha"}) {
            t.Append();
            t.FieldByName(QStringLiteral("Titulo"))->SetAsString(QString::fromLatin1(title));
            t.FieldByName(QStringLiteral("Level"))->SetAsString(QStringLiteral("1"));
            t.Post();
        }
        ASSERT_TRUE(t.Locate(QStringLiteral("Titulo"), QStringLiteral("Alpha")));
        alpha = t.FieldByName(QStringLiteral("Map"))->AsInteger();
        t.Close();
    }
    const QString file = home.filePath(QStringLiteral("script.txt"));
    {
        QFile f(file);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QStringLiteral("open %1\nclick EditAyudaItem\necho ready\n"
                               // The picker: open the root, pick its first topic.
                               "modal select TreeView1 0\nmodal key Right\n"
                               "modal select TreeView1 1\nmodal key Return\n"
                               "wait 4000\ndump-windows\n")
                    .arg(demo)
                    .toUtf8());
    }
    // A reply block of this test's own, for the IDE and the command alike.
    QProcessEnvironment env = environment();
    env.insert(QStringLiteral("QUORBEL_SHM_PREFIX"),
               QStringLiteral("quorbel-e2e-%1-").arg(QCoreApplication::applicationPid()));
    const QString block = QStringLiteral("/dev/shm/") + env.value(QStringLiteral("QUORBEL_SHM_PREFIX"))
                        + QStringLiteral("ShareMem Unique");
    QProcess ide;
    ide.setProcessEnvironment(env);
    ide.start(this->ide, {QStringLiteral("--script"), file});
    ASSERT_TRUE(ide.waitForStarted());
    QByteArray log;
    while (!log.contains("\nready\n") && ide.waitForReadyRead(30000))
        log += ide.readAllStandardOutput();
    ASSERT_TRUE(log.contains("\nready\n")) << log.toStdString();

    QProcess pick;
    pick.setProcessEnvironment(env);
    pick.start(QStringLiteral(QUORBEL_PICK_TOPIC), {});
    ASSERT_TRUE(pick.waitForFinished(30000));
    EXPECT_EQ(pick.exitCode(), 0) << pick.readAllStandardError().toStdString();
    EXPECT_EQ(pick.readAllStandardOutput(), QByteArray::number(alpha) + '\n');

    ASSERT_TRUE(ide.waitForFinished(60000));
    log += ide.readAllStandardOutput();
    EXPECT_EQ(ide.exitCode(), 0) << ide.readAllStandardError().toStdString();
    const QString text = QString::fromUtf8(log);
    EXPECT_TRUE(text.contains(QStringLiteral("modal-open TFAyudaW FAyudaW"))) << text.toStdString();
    EXPECT_FALSE(text.contains(QStringLiteral("modal-error"))) << text.toStdString();
    // Afterwards the window is hidden, with its own caption again.
    EXPECT_TRUE(text.contains(QStringLiteral("window TFAyudaW FAyudaW visible=0 title=Project Help Editor")))
        << text.toStdString();

    // With the IDE gone nobody answers.
    QProcess late;
    late.setProcessEnvironment(env);
    late.start(QStringLiteral(QUORBEL_PICK_TOPIC), {});
    ASSERT_TRUE(late.waitForFinished(10000));
    EXPECT_EQ(late.exitCode(), 2);
    EXPECT_TRUE(QFile::exists(block));
    QFile::remove(block);
}
