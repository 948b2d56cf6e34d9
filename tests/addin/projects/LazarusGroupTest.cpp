#include "projects/LazarusGroup.h"

#include "Exception.h"
#include "UnreadableEntries.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace {

class LazarusGroup : public ::testing::Test {
protected:
    QString path(const QString &name) const { return FDir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes = "program x; begin end.\n") const
    {
        QDir().mkpath(QFileInfo(path(name)).absolutePath());
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    static QStringList Projects(const TImportedGroup &group)
    {
        QStringList out;
        for (const TImportedProject &p : group.Projects)
            out << p.Label + QLatin1Char('=') + p.Path;
        return out;
    }
    QTemporaryDir FDir;
};

// As Lazarus saves a group: numbered target elements with build-mode
// children, paths relative to the group file, one going up a level.
TEST_F(LazarusGroup, RelativeTargetsBecomeAbsoluteProgramSourcesAndTheRestIsListed)
{
    write(QStringLiteral("apps/editor/editor.lpi"), "<CONFIG/>");
    write(QStringLiteral("apps/editor/editor.lpr"));
    write(QStringLiteral("tools/conv.dpr"));
    write(QStringLiteral("pkg/widgets.lpk"), "<CONFIG/>");
    write(QStringLiteral("apps/nosource/nosource.lpi"), "<CONFIG/>");
    const QByteArray lpg = R"(<?xml version="1.0" encoding="UTF-8"?>
<CONFIG>
  <ProjectGroup FileVersion="2">
    <Targets Count="6">
      <Target1 FileName="editor/editor.lpi">
        <BuildModes Count="1">
          <Mode1 Name="Default" Compile="True"/>
        </BuildModes>
      </Target1>
      <Target2 FileName="../tools/conv.dpr"/>
      <Target3 FileName="../pkg/widgets.lpk"/>
      <Target4 FileName="gone/gone.lpi"/>
      <Target5 FileName="nosource/nosource.lpi"/>
      <Target6/>
    </Targets>
  </ProjectGroup>
</CONFIG>
)";
    write(QStringLiteral("apps/all.lpg"), lpg);
    const TImportedGroup group = TLazarusGroup::Import(path(QStringLiteral("apps/all.lpg")));
    EXPECT_EQ(group.Name, QStringLiteral("all"));
    EXPECT_EQ(Projects(group), (QStringList{QStringLiteral("editor=") + path(QStringLiteral("apps/editor/editor.lpr")),
                                            QStringLiteral("conv=") + path(QStringLiteral("tools/conv.dpr"))}));
    ASSERT_EQ(group.NotImported.size(), 4) << group.NotImported.join('\n').toStdString();
    EXPECT_EQ(group.NotImported.at(0), QStringLiteral("../pkg/widgets.lpk: not a project the list can hold"));
    EXPECT_EQ(group.NotImported.at(1), QStringLiteral("gone/gone.lpi: not found"));
    EXPECT_EQ(group.NotImported.at(2), path(QStringLiteral("apps/nosource/nosource.lpr")) + QStringLiteral(": not found"));
    EXPECT_EQ(group.NotImported.at(3), QStringLiteral("<Target6>: not found"));
}

// The list style of newer Lazarus versions: repeated Item elements, the
// file name on the item or on a Target child; a group saved on Windows.
TEST_F(LazarusGroup, ItemListsTargetChildrenAndBackslashesAreRead)
{
    write(QStringLiteral("a/a.lpr"));
    write(QStringLiteral("b/b.lpr"));
    write(QStringLiteral("c d/c&d.dpr"));
    const QByteArray lpg = R"(<CONFIG><ProjectGroup FileVersion="2"><Targets>
<Item FileName="a\a.lpr"/><Item><Target FileName="b/b.lpr"/></Item>
<Item FileName="c d/c&amp;d.dpr"/></Targets></ProjectGroup></CONFIG>)";
    const TImportedGroup group = TLazarusGroup::Read(lpg, path(QStringLiteral("my;group.lpg")));
    EXPECT_EQ(Projects(group), (QStringList{QStringLiteral("a=") + path(QStringLiteral("a/a.lpr")),
                                            QStringLiteral("b=") + path(QStringLiteral("b/b.lpr")),
                                            QStringLiteral("c&d=") + path(QStringLiteral("c d/c&d.dpr"))}));
    EXPECT_TRUE(group.NotImported.isEmpty());
    EXPECT_EQ(group.Name, QStringLiteral("my;group")); // a group name may hold ";"
}

// A .lpi names its main source, which need not share its name: the unit at
// General/MainUnit (0 when left out), in the numbered and the list style.
TEST_F(LazarusGroup, ALazarusProjectIsListedByTheMainSourceItsLpiNames)
{
    write(QStringLiteral("old/tool.lpi"), R"(<CONFIG><ProjectOptions><Units Count="2">
<Unit0><Filename Value="src\main.lpr"/><IsPartOfProject Value="True"/></Unit0>
<Unit1><Filename Value="other.pas"/></Unit1></Units></ProjectOptions></CONFIG>)");
    write(QStringLiteral("old/src/main.lpr"));
    write(QStringLiteral("new/app.lpi"), R"(<CONFIG><ProjectOptions><General><MainUnit Value="1"/></General>
<Units><Unit><Filename Value="unit1.pas"/></Unit><Unit><Filename Value="start.dpr"/></Unit></Units>
</ProjectOptions></CONFIG>)");
    write(QStringLiteral("new/app.lpr")); // not the one the .lpi names
    write(QStringLiteral("new/start.dpr"));
    const TImportedGroup group = TLazarusGroup::Read(R"(<CONFIG><ProjectGroup FileVersion="2"><Targets Count="2">
<Target1 FileName="old/tool.lpi"/><Target2 FileName="new/app.lpi"/></Targets></ProjectGroup></CONFIG>)",
                                                     path(QStringLiteral("g.lpg")));
    EXPECT_EQ(Projects(group), (QStringList{QStringLiteral("main=") + path(QStringLiteral("old/src/main.lpr")),
                                            QStringLiteral("start=") + path(QStringLiteral("new/start.dpr"))}));
}

TEST_F(LazarusGroup, WhatIsNoProjectGroupIsRefusedWithTheFileAndTheReason)
{
    const QString lpg = path(QStringLiteral("x.lpg"));
    for (const QByteArray &bytes : {QByteArray("<CONFIG><ProjectSession/></CONFIG>"), QByteArray("not xml"),
                                    QByteArray("<CONFIG><ProjectGroup><Targets><Item1 FileName=\"a\"")}) {
        try {
            TLazarusGroup::Read(bytes, lpg);
            ADD_FAILURE() << bytes.constData();
        } catch (const Exception &e) {
            EXPECT_TRUE(e.message().startsWith(lpg + QStringLiteral(" is not a Lazarus project group: ")))
                << e.message().toStdString();
        }
    }
    // Not a regular file, or too large: refused without reading (a pipe
    // would block the window forever).
    for (const TUnreadableEntry &entry : UnreadableEntries()) {
        const QString where = path(QString::fromLatin1(entry.name));
        ASSERT_TRUE(entry.make(where));
        EXPECT_THROW(TLazarusGroup::Import(where), Exception) << entry.name;
    }
    EXPECT_THROW(TLazarusGroup::Import(path(QStringLiteral("none.lpg"))), Exception);
}

} // namespace
