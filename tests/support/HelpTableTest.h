// A project's help table, created and opened as the help editor does, in a
// temporary project (<tmp>/work/App.dpr with its HLP folder), and topics
// appended as the editor appends them: for the tests of the generator, the
// help compiler and the viewer, which all start from such a table.
#pragma once

#include "core/DM.h"
#include "helpeditor/HelpGen.h"

#include <QDir>
#include <QTemporaryDir>

#include <gtest/gtest.h>

class THelpTableTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        Hlp = Dir.path() + QStringLiteral("/work/HLP");
        Project = Dir.path() + QStringLiteral("/work/App.dpr");
        QDir().mkpath(Hlp);
        CreateHelpTable(Hlp);
        Data.Table2.DatabaseName = Hlp;
        Data.Table2.Open();
        EnsureParentIndex(Data.Table2);
        Data.Query1.DatabaseName = Hlp;
    }
    // Appends a topic (top level without a parent); returns its Map.
    int Topic(const QString &title, const QString &text = {}, int parent = -1, bool popup = false,
              const QString &keyword = {})
    {
        Data.Table2.Append();
        Data.Table2Titulo->SetAsString(title);
        if (parent < 0)
            Data.Table2Level->SetAsString(QStringLiteral("1"));
        else
            Data.Table2parent->SetAsInteger(parent);
        Data.Table2Popup->SetAsBoolean(popup);
        Data.Table2Keyword->SetAsString(keyword);
        Data.Table2TExto->SetAsString(text);
        Data.Table2.Post();
        return Data.Table2Map->AsInteger();
    }
    // The contents page's own record.
    void Contents(const QString &text)
    {
        Data.Table2.Append();
        Data.Table2Titulo->SetAsString(QStringLiteral("Contens"));
        Data.Table2Map->SetAsInteger(0);
        Data.Table2TExto->SetAsString(text);
        Data.Table2.Post();
    }
    // map.def, App.hpj and App.rtf, as "Generete HLP,RTF files" writes them.
    void Generate(TFileWriter &writer)
    {
        THelpGenerator generator(Data, writer, Project);
        generator.WriteMapFile();
        generator.WriteHelpProject();
        generator.WriteDocument();
    }

    QTemporaryDir Dir;
    QString Hlp, Project;
    TSYS Data;
};
