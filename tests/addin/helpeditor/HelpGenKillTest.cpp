// The real quorbel-ide killed while its help editor generates a large
// table's sources: each of map.def, the .hpj and the .rtf is then the
// earlier generation's or the new one, byte for byte.
#include "HelpTableTest.h"

#include "SafeFile.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <gtest/gtest.h>

#include <iostream>
#include <memory>

namespace {

class HelpGenKill : public THelpTableTest {
protected:
    // The IDE's settings, sockets and data inside the test's directory.
    QProcessEnvironment Environment() const
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        env.insert(QStringLiteral("QUORBEL_REGISTRY"), Dir.filePath(QStringLiteral("registry.ini")));
        env.insert(QStringLiteral("XDG_RUNTIME_DIR"), Dir.filePath(QStringLiteral("runtime")));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), Dir.path());
        env.insert(QStringLiteral("XDG_DATA_HOME"), Dir.filePath(QStringLiteral("share")));
        return env;
    }

    QProcess *Start(const QString &script)
    {
        auto *p = new QProcess;
        QProcessEnvironment env = Environment();
        env.insert(QStringLiteral("TEMP"), Dir.path());
        // No compiler run after the generation: only the sources are watched.
        env.insert(QStringLiteral("PATH"), QStringLiteral("/nonexistent"));
        p->setProcessEnvironment(env);
        p->start(QStringLiteral(QUORBEL_IDE), {QStringLiteral("--script"), script});
        EXPECT_TRUE(p->waitForStarted());
        return p;
    }
};

TEST_F(HelpGenKill, SourcesAreOldOrNewAfterAKill)
{
    QDir(Dir.path()).mkpath(QStringLiteral("runtime"));
    QFile::setPermissions(Dir.filePath(QStringLiteral("runtime")),
                          QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    QDir(Dir.path()).mkpath(QStringLiteral("lib"));
    const QString addin = Dir.filePath(QStringLiteral("lib/libquorbel.so"));
    ASSERT_TRUE(QFile::copy(QStringLiteral(QUORBEL_ADDIN), addin));
    WriteFileAtomically(Project, "program App;\r\nbegin\r\nend.\r\n");

    // The earlier generation: two topics.
    const int first = Topic(QStringLiteral("First"), QStringLiteral("Old text"), -1, false, QStringLiteral("old"));
    Topic(QStringLiteral("Second"), QStringLiteral("More"), first);
    Generate(AtomicFileWriter());
    const QStringList files = {Hlp + QStringLiteral("/map.def"), Hlp + QStringLiteral("/App.hpj"),
                               Hlp + QStringLiteral("/App.rtf")};
    QList<QByteArray> old;
    for (const QString &f : files)
        old << ReadWholeFile(f, 1 << 28);

    // Enough topics that writing takes a while, each with a long page.
    const QString text = QStringLiteral("Some words of a page, \u20ac and caf\u00e9. ").repeated(40);
    for (int i = 0; i < 3000; ++i)
        Topic(QStringLiteral("Topic %1").arg(i), text, i % 50 == 0 ? -1 : first, i % 7 == 0, QStringLiteral("k%1").arg(i));
    Data.Table2.Close();
    Data.Query1.Close();

    {
        QProcess registration;
        registration.setProcessEnvironment(Environment());
        registration.start(QStringLiteral(QUORBEL_IDE), {QStringLiteral("--register-addin"), addin});
        ASSERT_TRUE(registration.waitForFinished(60000));
        ASSERT_EQ(registration.exitCode(), 0) << registration.readAllStandardError().toStdString();
    }
    const QString script = Dir.filePath(QStringLiteral("script.txt"));
    WriteFileAtomically(script, QStringLiteral("open %1\nclick EditAyudaItem\nmodal-timeout 120000\npress btnWord\n")
                                    .arg(Project)
                                    .toUtf8());

    // A whole run, timed: the kills are spread over it.
    const auto restore = [&] {
        for (int i = 0; i < files.size(); ++i)
            WriteFileAtomically(files[i], old[i]);
    };
    QElapsedTimer clock;
    clock.start();
    std::unique_ptr<QProcess> whole(Start(script));
    ASSERT_TRUE(whole->waitForFinished(300000));
    const qint64 full = clock.elapsed();
    ASSERT_EQ(whole->exitCode(), 0) << whole->readAllStandardError().toStdString();
    QList<QByteArray> fresh;
    for (const QString &f : files)
        fresh << ReadWholeFile(f, 1 << 28);
    EXPECT_NE(fresh[0], old[0]);
    EXPECT_EQ(fresh[1], old[1]); // an existing project file is the user's
    EXPECT_NE(fresh[2], old[2]);
    ASSERT_TRUE(fresh[2].contains("Topic 2999"));

    int sawOld = 0, sawNew = 0;
    for (int k = 1; k <= 8; ++k) {
        SCOPED_TRACE(::testing::Message() << "kill " << k << " of 8 after " << full * k / 9 << " ms of " << full);
        restore();
        std::unique_ptr<QProcess> ide(Start(script));
        QThread::msleep(full * k / 9);
        ide->kill();
        ASSERT_TRUE(ide->waitForFinished(60000));
        for (int i = 0; i < files.size(); ++i) {
            const QByteArray now = ReadWholeFile(files[i], 1 << 28);
            EXPECT_TRUE(now == old[i] || now == fresh[i]) << files[i].toStdString() << ": " << now.size() << " bytes";
            if (i == 2)
                (now == old[i] ? sawOld : sawNew) += 1;
        }
    }
    std::cerr << "full run " << full << " ms; document old after " << sawOld << " kills, new after " << sawNew << "\n";
}

} // namespace
