// A language table in a temporary project, and gettext's own tools run on
// the files the tests write.
#pragma once

#include "core/DM.h"
#include "LanguageRecords.h"

#include "TableStore.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <initializer_list>

namespace GettextTesting {

struct TRun {
    int Status = -1;
    QString Out, Err;
};

inline TRun RunTool(const QString &program, const QStringList &arguments, const QString &dir = {})
{
    QProcess process;
    if (!dir.isEmpty())
        process.setWorkingDirectory(dir);
    process.start(program, arguments);
    TRun run;
    if (!process.waitForFinished(60000))
        return run;
    run.Status = process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
    run.Out = QString::fromUtf8(process.readAllStandardOutput());
    run.Err = QString::fromUtf8(process.readAllStandardError());
    return run;
}

// msgfmt's checks of a file we wrote: the status, and what it said.
inline TRun MsgfmtCheck(const QString &path)
{
    return RunTool(QStringLiteral("msgfmt"),
               {QStringLiteral("--check-format"), QStringLiteral("--check-header"), QStringLiteral("-o"),
                QStringLiteral("/dev/null"), path});
}

class TableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        QDir().mkpath(LangDir());
        CreateLanguageTable(LangDir());
        Table.DatabaseName = LangDir();
        Table.TableName = QStringLiteral("language.db");
        Table.Open();
    }

    QString ProjectDir() const { return Dir.path() + QStringLiteral("/work"); }
    QString LangDir() const { return ProjectDir() + QStringLiteral("/LANG"); }
    QString Path(const QString &name) const { return Dir.path() + QLatin1Char('/') + name; }

    // A record: its identifier and the texts from L1 on.
    static void Add(TTable &table, const QString &idst, std::initializer_list<QString> texts)
    {
        AddLanguageRecord(table, idst, texts);
    }
    // Every record's idst and L1 to L7, in identifier order.
    static std::vector<QStringList> Rows(TTable &table)
    {
        std::vector<QStringList> rows;
        const QString index = table.IndexName();
        table.SetIndexName(QString());
        for (int r = 1; r <= table.RecordCount(); ++r) {
            QStringList row;
            for (int f = 0; f < table.FieldCount(); ++f)
                row << table.ValueAt(r, table.Fields(f)).toString();
            rows.push_back(row);
        }
        table.SetIndexName(index);
        return rows;
    }
    static QString Text(TTable &table, const QString &idst, int language)
    {
        if (!table.Locate(QStringLiteral("idst"), idst))
            return QStringLiteral("<no record>");
        return table.FieldByName(QStringLiteral("L%1").arg(language))->AsString();
    }

    QTemporaryDir Dir;
    TTable Table;
};

} // namespace GettextTesting
