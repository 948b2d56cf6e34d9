// The version editor's option to write the values into the built file as
// well: off by default and then the file is left alone; on, the file reads
// back what version.rc says; a file that cannot take them is reported and
// kept as it was.
#include "version/verdlg.h"

#include "core/StringTable.h"

#include "PeBuilder.h"
#include "Registry.h"
#include "ScriptedDialogs.h"
#include "TestServices.h"
#include "VersionInfo.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace {

const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");

class BuiltFileOption : public ::testing::Test {
protected:
    void SetUp() override
    {
        Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"),
                              FData.path() + QStringLiteral("/libquorbel.so"));
        // A compiler that succeeds: the option does not depend on it.
        FCompiler = FData.path() + QStringLiteral("/brcc32");
        QFile f(FCompiler);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("#!/bin/sh\ncp version.rc version.res\n");
        f.close();
        ::chmod(QFile::encodeName(FCompiler).constData(), 0755);
        FBuilt = BuildDll(FDir.path(), QStringLiteral("Demo.dll"),
                          "1 VERSIONINFO FILEVERSION 1,0,0,0 PRODUCTVERSION 1,0,0,0 FILEOS 0x4L FILETYPE 0x2L\n"
                          "{ BLOCK \"StringFileInfo\" { BLOCK \"040904E4\" { VALUE \"CompanyName\", \"Old\\0\" } }\n"
                          "  BLOCK \"VarFileInfo\" { VALUE \"Translation\", 0x0409, 1252 } }\n"
                          "101 RCDATA { \"kept\\0\" }\n");
    }
    void TearDown() override { Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel")); }

    std::unique_ptr<TFverDlg> Opened(const QString &file)
    {
        TAddinServices services = TestServices();
        const QString compiler = FCompiler;
        services.FindTool = [compiler](const QString &command) {
            return command == QLatin1String("brcc32") ? compiler : QString();
        };
        auto dialog = std::make_unique<TFverDlg>(nullptr, services);
        dialog->ProjectDir = FDir.path() + QLatin1Char('/');
        dialog->OutputFileName = file;
        dialog->FormShow();
        return dialog;
    }
    static QByteArray Bytes(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static QString Value(const QString &file, const QString &path)
    {
        QByteArray data;
        uint32_t handle = 0;
        TVerValue value;
        if (!GetFileVersionInfo(file, handle, GetFileVersionInfoSize(file, handle), data)
            || !VerQueryValue(data, path, value))
            return QStringLiteral("<none>");
        return value.Fixed ? QString::number(value.Fixed->FileVersionMS, 16) + QLatin1Char('.')
                + QString::number(value.Fixed->FileVersionLS, 16) + QLatin1Char('/')
                + QString::number(value.Fixed->FileOS, 16)
                           : value.Text;
    }
    QTemporaryDir FDir, FData;
    QString FCompiler, FBuilt;
};

TEST_F(BuiltFileOption, OffByDefaultLeavesTheBuiltFileAlone)
{
    ASSERT_FALSE(FBuilt.isEmpty());
    ScriptedDialogs dialogs;
    auto dialog = Opened(FBuilt);
    auto *option = dialog->findChild<QCheckBox *>(QStringLiteral("cbWriteBuilt"));
    ASSERT_TRUE(option);
    EXPECT_EQ(option->text(), LoadStr(txt::WriteBuiltOption));
    EXPECT_FALSE(option->isChecked());
    EXPECT_TRUE(option->isEnabled());
    const QByteArray before = Bytes(FBuilt);
    dialog->CIA->setText(QStringLiteral("New"));
    ASSERT_TRUE(dialog->Button1Click());
    EXPECT_EQ(Bytes(FBuilt), before);
    EXPECT_TRUE(QFile::exists(FDir.path() + QStringLiteral("/version.res")));

    // Nothing built: the dialog read the host itself, which is not written.
    auto unbuilt = Opened(QString());
    EXPECT_FALSE(unbuilt->cbWriteBuilt->isEnabled());
}

TEST_F(BuiltFileOption, OnWritesWhatTheScriptSaysIntoTheBuiltFile)
{
    ASSERT_FALSE(FBuilt.isEmpty());
    ScriptedDialogs dialogs;
    auto dialog = Opened(FBuilt);
    dialog->FVersion->setText(QStringLiteral("3,0,0,1"));
    dialog->TipoOS->setCurrentText(QStringLiteral("WinNT"));
    dialog->CIA->setText(QStringLiteral("Compañía"));
    dialog->GenVer->setText(QStringLiteral("3.0 beta"));
    QTest::mouseClick(dialog->cbWriteBuilt, Qt::LeftButton, {}, QPoint(5, dialog->cbWriteBuilt->height() / 2));
    ASSERT_TRUE(dialog->cbWriteBuilt->isChecked());
    ASSERT_TRUE(dialog->Button1Click());
    EXPECT_TRUE(dialogs.log.isEmpty()) << dialogs.log.join('\n').toStdString();
    EXPECT_EQ(Value(FBuilt, QStringLiteral("\\")), QStringLiteral("30000.1/40004"));
    EXPECT_EQ(Value(FBuilt, QStringLiteral("\\StringFileInfo\\040904E4\\CompanyName")), QStringLiteral("Compañía"));
    EXPECT_EQ(Value(FBuilt, QStringLiteral("\\StringFileInfo\\040904E4\\FileVersion")), QStringLiteral("3.0 beta"));
    EXPECT_EQ(Value(FBuilt, QStringLiteral("\\StringFileInfo\\040904E4\\PrivateBuild")), dialog->Privada->text());
    // The editor reads back what it wrote.
    auto again = Opened(FBuilt);
    EXPECT_EQ(again->FVersion->text(), QStringLiteral("3,0,0,1"));
    EXPECT_EQ(again->CIA->text(), QStringLiteral("Compañía"));
}

TEST_F(BuiltFileOption, AFileThatCannotTakeTheValuesIsReportedAndKept)
{
    const QString bad = FDir.path() + QStringLiteral("/Bad.dll");
    {
        QFile f(bad);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("MZ not really a program, long enough to be read as one ........");
    }
    ScriptedDialogs dialogs;
    auto dialog = Opened(bad);
    dialogs.log.clear();
    dialog->ELenguaje->setCurrentText(QStringLiteral("U.S. English"));
    dialog->TCodigos->setCurrentText(QStringLiteral("Multilingual"));
    dialog->cbWriteBuilt->setChecked(true);
    const QByteArray before = Bytes(bad);
    EXPECT_TRUE(dialog->Button1Click());
    ASSERT_EQ(dialogs.log.size(), 1);
    EXPECT_TRUE(dialogs.log.first().startsWith(QStringLiteral("error: ")
                                               + LoadStr(txt::BuiltFileNotWritten).arg(bad, QString()).trimmed()))
        << dialogs.log.first().toStdString();
    EXPECT_TRUE(dialogs.log.first().contains(QStringLiteral("not a Windows program file"))) << dialogs.log.first().toStdString();
    EXPECT_EQ(Bytes(bad), before);
    EXPECT_TRUE(QFile::exists(FDir.path() + QStringLiteral("/version.rc")));
}

} // namespace
