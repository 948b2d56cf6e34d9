// Shared by the macro tests: a data directory registered as the add-in's
// home, and hand-built macro records.
#pragma once

#include "Registry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace MacrosTesting {

inline const QString ExpertsKey = QStringLiteral("\\Software\\Borland\\Delphi\\2.0\\Experts");

// One 2150-byte record built by hand: length byte, 100 title bytes, body and NUL.
inline QByteArray Record(const QByteArray &title, const QByteArray &body)
{
    QByteArray rec(2150, '\0');
    rec[0] = char(title.size());
    rec.replace(1, title.size(), title);
    rec.replace(101, body.size(), body);
    return rec;
}

inline void RegisterAddin(const QString &libraryPath)
{
    Registry::writeString(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"), libraryPath);
}

class DataDirTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterAddin(Dir() + QStringLiteral("/libquorbel.so")); }
    void TearDown() override
    {
        Registry::deleteValue(HKEY::CurrentUser, ExpertsKey, QStringLiteral("Quorbel"));
    }

    QString Dir() const { return FDir.path(); }
    QString DatPath() const { return Dir() + QStringLiteral("/Quorbel.dat"); }
    void WriteDat(const QByteArray &bytes) const
    {
        QFile f(DatPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        ASSERT_EQ(f.write(bytes), bytes.size());
    }
    QByteArray ReadDat() const
    {
        QFile f(DatPath());
        if (!f.open(QIODevice::ReadOnly))
            return QByteArray("<missing>");
        return f.readAll();
    }

private:
    QTemporaryDir FDir;
};

} // namespace MacrosTesting
