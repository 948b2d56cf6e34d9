// A home of its own for the quorbel-ide runs of an end-to-end test: the real
// libquorbel.so copied in and registered by the test, and the registry,
// runtime, config and data directories inside the home, so no run sees
// another's or the user's.
#pragma once

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace e2e {

inline QString BuildDir()
{
    const QString fromEnv = qEnvironmentVariable("QUORBEL_BUILD_DIR");
    if (!fromEnv.isEmpty())
        return fromEnv;
    return QDir(QCoreApplication::applicationDirPath() + QStringLiteral("/..")).absolutePath();
}

struct TIdeRun {
    int exitCode = -1; // -2 for a crash, -1 for a run that did not finish
    QStringList log;   // the IDE's log lines
    QString errors;
    int indexOf(const QString &line) const { return int(log.indexOf(line)); }
    bool has(const QString &line) const { return log.contains(line); }
    QStringList starting(const QString &prefix) const
    {
        QStringList out;
        for (const QString &l : log)
            if (l.startsWith(prefix))
                out << l;
        return out;
    }
};

class TIdeHome : public ::testing::Test {
protected:
    void SetUp() override
    {
        ide = BuildDir() + QStringLiteral("/bin/quorbel-ide");
        const QString built = BuildDir() + QStringLiteral("/lib/libquorbel.so");
        ASSERT_TRUE(QFile::exists(ide)) << ide.toStdString();
        ASSERT_TRUE(QFile::exists(built)) << built.toStdString();
        ASSERT_TRUE(home.isValid());
        QDir(home.path()).mkpath(QStringLiteral("lib"));
        QDir(home.path()).mkpath(QStringLiteral("runtime"));
        QFile::setPermissions(home.filePath(QStringLiteral("runtime")),
                              QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        addin = home.filePath(QStringLiteral("lib/libquorbel.so"));
        ASSERT_TRUE(QFile::copy(built, addin));
    }

    QProcessEnvironment environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUORBEL_REGISTRY"), home.filePath(QStringLiteral("registry.ini")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), home.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), home.path());
        // Registration installs the help viewer's desktop entry here.
        env.insert(QStringLiteral("XDG_DATA_HOME"), home.filePath(QStringLiteral("share")));
        env.insert(QStringLiteral("TEMP"), home.path()); // Free Pascal's debug server FIFO
        return env;
    }

    TIdeRun run(const QStringList &args, int timeoutMs = 60000) const { return run(args, environment(), timeoutMs); }

    TIdeRun run(const QStringList &args, const QProcessEnvironment &env, int timeoutMs = 60000) const
    {
        QProcess p;
        p.setProcessEnvironment(env);
        p.start(ide, args);
        TIdeRun r;
        if (!p.waitForStarted() || !p.waitForFinished(timeoutMs)) {
            p.kill();
            p.waitForFinished();
            r.errors = QStringLiteral("did not finish");
            return r;
        }
        r.exitCode = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -2;
        r.log = QString::fromUtf8(p.readAllStandardOutput()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
        r.errors = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // name inside the home; returns its path.
    QString write(const QString &name, const QByteArray &bytes) const
    {
        const QString path = home.filePath(name);
        QFile f(path);
        EXPECT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate)) << path.toStdString();
        f.write(bytes);
        return path;
    }

    TIdeRun script(const QStringList &lines, int timeoutMs = 60000) const
    {
        return run({QStringLiteral("--script"), write(QStringLiteral("script.txt"), lines.join(QLatin1Char('\n')).toUtf8())},
                   timeoutMs);
    }

    QTemporaryDir home;
    QString ide;
    QString addin;
};

} // namespace e2e
