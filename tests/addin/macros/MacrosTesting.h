// Shared by the macro tests: a data directory registered as the add-in's
// home, and hand-built macro records.
#pragma once

#include "ModalDriver.h"
#include "Registry.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QPointer>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString &text, std::ostream *os)
{
    *os << '"' << text.toStdString() << '"';
}

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

// Acts on the next modal dialog; one the action left open is cancelled soon
// after, so a dialog that ignores the action fails its test instead of hanging.
inline void Drive(std::function<void(QDialog *)> action)
{
    OnNextModal([action](QDialog *dialog) {
        QPointer<QDialog> guard(dialog);
        action(dialog);
        QTimer::singleShot(500, [guard] {
            if (guard && guard->isVisible())
                guard->reject();
        });
    });
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
