// A language table in a temporary project and a registry of its own, for
// the string table window's tests.
#pragma once

#include "ScriptedDialogs.h"
#include "LanguageRecords.h"
#include "TestServices.h"

#include "core/DM.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <initializer_list>
#include <memory>

namespace LanguageTesting {

class LanguageTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        FOldRegistry = qgetenv("QUORBEL_REGISTRY");
        qputenv("QUORBEL_REGISTRY", (Dir.path() + QStringLiteral("/registry.ini")).toUtf8());
    }
    void TearDown() override { qputenv("QUORBEL_REGISTRY", FOldRegistry); }

    QString ProjectDir() const { return Dir.path() + QStringLiteral("/work"); }
    QString LangDir() const { return ProjectDir() + QStringLiteral("/LANG"); }

    // A data module of our own, on a new table in LANG.
    void OpenOwnTable()
    {
        Data = std::make_unique<TSYS>();
        CreateTable();
        Data->Table1.DatabaseName = LangDir();
        Data->Table1.Open();
    }
    // What the expert hands the string table window.
    TAddinServices Services() const
    {
        TAddinServices services = TestServices();
        services.Data = Data.get();
        return services;
    }
    void CreateTable()
    {
        QDir().mkpath(LangDir());
        CreateLanguageTable(LangDir());
    }

    // A record: its identifier (empty: none) and the texts from L1 on.
    static void Add(TTable &table, const QString &idst, std::initializer_list<QString> texts)
    {
        AddLanguageRecord(table, idst, texts);
    }
    static QString Current(TTable &table, const QString &field = QStringLiteral("idst"))
    {
        return table.FieldByName(field)->AsString();
    }

    QTemporaryDir Dir;
    ScriptedDialogs Dialogs;
    std::unique_ptr<TSYS> Data;

private:
    QByteArray FOldRegistry;
};

} // namespace LanguageTesting
