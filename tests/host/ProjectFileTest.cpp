// The project's units come from the uses clause of its .dpr file.
#include "ProjectFile.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace qide;

namespace {
QStringList Names(const QList<TProjectUnit> &units)
{
    QStringList out;
    for (const TProjectUnit &u : units)
        out << u.name + QLatin1Char('=') + u.fileName;
    return out;
}

void Touch(const QString &path)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
}
} // namespace

TEST(ProjectFile, UsesClauseWithCommentsAcrossLines)
{
    const QString dpr = QStringLiteral(
        "program Demo; // uses Fake in 'fake.pas';\n"
        "{ uses Other in 'other.pas'; }\n"
        "{$APPTYPE CONSOLE}\n"
        "USES\n"
        "  Forms, (* the VCL *)\n"
        "  Unit1 in 'Unit1.pas' {Form1},\n"
        "  Unit2\n"
        "    in\n"
        "    'sub\\Unit2.pas', // second\n"
        "  Quote in 'it''s.pas';\n"
        "uses Later in 'later.pas';\n"
        "begin\nend.\n");
    EXPECT_EQ(Names(ParseUsesClause(dpr)),
              (QStringList{"Forms=", "Unit1=Unit1.pas", "Unit2=sub\\Unit2.pas", "Quote=it's.pas"}));
}

TEST(ProjectFile, PackagesAndDottedNamesAndBrokenClauses)
{
    EXPECT_EQ(Names(ParseUsesClause(QStringLiteral("package P; requires vcl; contains A in 'a.pas';"))),
              QStringList{"A=a.pas"});
    EXPECT_EQ(Names(ParseUsesClause(QStringLiteral("program P; uses System.SysUtils, B in 'b.pas';"))),
              (QStringList{"System.SysUtils=", "B=b.pas"}));
    // A clause cut short keeps what came before the break.
    EXPECT_EQ(Names(ParseUsesClause(QStringLiteral("program P; uses A in 'a.pas', B in ;"))),
              QStringList{"A=a.pas"});
    EXPECT_TRUE(ParseUsesClause(QStringLiteral("program P; begin end.")).isEmpty());
    EXPECT_TRUE(ParseUsesClause(QStringLiteral("program P; { uses A in 'a.pas'; ")).isEmpty());
}

TEST(ProjectFile, UnitPathsResolveAgainstTheProjectWithoutRegardToCase)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    Touch(root + QStringLiteral("/Unit1.pas"));
    Touch(root + QStringLiteral("/Lib/Tools.PAS"));
    EXPECT_EQ(ResolveUnitPath(root, QStringLiteral("Unit1.pas")), root + QStringLiteral("/Unit1.pas"));
    EXPECT_EQ(ResolveUnitPath(root, QStringLiteral("UNIT1.PAS")), root + QStringLiteral("/Unit1.pas"));
    EXPECT_EQ(ResolveUnitPath(root, QStringLiteral("lib\\tools.pas")), root + QStringLiteral("/Lib/Tools.PAS"));
    EXPECT_EQ(ResolveUnitPath(root + QStringLiteral("/Lib"), QStringLiteral("..\\unit1.pas")),
              root + QStringLiteral("/Unit1.pas"));
    // Missing files keep the name as written, made absolute.
    EXPECT_EQ(ResolveUnitPath(root, QStringLiteral("gone\\X.pas")), root + QStringLiteral("/gone/X.pas"));
}

TEST(ProjectFile, ProjectFilesListTheProjectThenItsUnits)
{
    QTemporaryDir dir;
    const QString root = dir.path();
    Touch(root + QStringLiteral("/A.pas"));
    QFile f(root + QStringLiteral("/P.dpr"));
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("program P;\r\nuses\r\n  SysUtils,\r\n  A in 'a.pas',\r\n  B in 'B.pas';\r\nbegin\r\nend.\r\n");
    f.close();
    EXPECT_EQ(ProjectFiles(root + QStringLiteral("/P.dpr")),
              (QStringList{root + "/P.dpr", root + "/A.pas", root + "/B.pas"}));
    EXPECT_ANY_THROW(ProjectFiles(root + QStringLiteral("/missing.dpr")));
}
