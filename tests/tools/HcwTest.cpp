// hcw run as the help editor runs it, on the project, map file and document
// the help editor's generator writes, judged by the help file and error log.
#include "HelpCompiler.h"
#include "HelpTableTest.h"
#include "HelpProject.h"
#include "RtfReader.h"

#include "core/DM.h"
#include "helpeditor/HelpGen.h"

#include "CodePage.h"
#include "SafeFile.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <functional>

#include <gtest/gtest.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

struct THelpFile {
    QString Html;
    QStringList Order;                 // section ids in document order
    QMap<QString, QString> Sections;   // id -> its HTML
    QJsonObject Index;
};

THelpFile Parse(const QByteArray &bytes)
{
    THelpFile f;
    f.Html = QString::fromUtf8(bytes);
    static const QRegularExpression section(QStringLiteral("<section class=\"[^\"]*\" id=\"([^\"]*)\"[^>]*>(.*?)</section>"),
                                            QRegularExpression::DotMatchesEverythingOption);
    for (auto it = section.globalMatch(f.Html); it.hasNext();) {
        const auto m = it.next();
        f.Order.append(m.captured(1));
        f.Sections.insert(m.captured(1), m.captured(2));
    }
    static const QRegularExpression index(
        QStringLiteral("<script type=\"application/json\" id=\"quorbel-help-index\">(.*?)</script>"),
        QRegularExpression::DotMatchesEverythingOption);
    const auto m = index.match(f.Html);
    f.Index = QJsonDocument::fromJson(m.captured(1).replace(QLatin1String("<\\/"), QLatin1String("</")).toUtf8()).object();
    return f;
}

class Hcw : public THelpTableTest {
protected:
    // Contents, a jump target with a child and a pop-up child, a top-level
    // pop-up and a title with blanks and characters outside the code page.
    void Tree()
    {
        Alpha = Topic(QStringLiteral("Alpha"), QStringLiteral("Alpha text"), -1, false, QStringLiteral("first;shared"));
        Topic(QStringLiteral("Beta"), QStringLiteral("Beta pops"), -1, true);
        Child = Topic(QStringLiteral("Child"), QStringLiteral("A\r\nB {\\b bold}"), Alpha, false, QStringLiteral("shared"));
        Note = Topic(QStringLiteral("Note"), QStringLiteral("A note"), Alpha, true);
        Omega = Topic(QStringLiteral(" \u03a9 caf\u00e9 "), QStringLiteral("\u4e2d \u20ac"), Child);
        Contents(QStringLiteral("Welcome"));
    }
    void Generate() { THelpTableTest::Generate(AtomicFileWriter()); }
    // hcw as btnWordClick starts it.
    int Run(const QStringList &args = {QStringLiteral("/C"), QStringLiteral("/E"), QStringLiteral("/M")},
            QString project = {})
    {
        if (project.isEmpty())
            project = Hlp + QStringLiteral("/App.hpj");
        QProcess p;
        p.setProgram(QStringLiteral(QUORBEL_HCW));
        p.setArguments(args + QStringList{project});
        p.start();
        EXPECT_TRUE(p.waitForFinished(60000));
        Errors = QString::fromUtf8(p.readAllStandardError());
        Output = QString::fromUtf8(p.readAllStandardOutput());
        Result = Parse(ReadAll(Dir.path() + QStringLiteral("/work/App.hlp")));
        Log = QString::fromUtf8(ReadAll(Dir.path() + QStringLiteral("/work/App.ERR")));
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    // The line of the document holding text, counted from 1.
    int RtfLine(const QByteArray &text) const
    {
        const QByteArray rtf = ReadAll(Hlp + QStringLiteral("/App.rtf"));
        const qsizetype at = rtf.indexOf(text);
        return at < 0 ? -1 : int(rtf.left(at).count('\n')) + 1;
    }

    int Alpha = 0, Child = 0, Note = 0, Omega = 0;
    QString Errors, Output, Log;
    THelpFile Result;
};

TEST_F(Hcw, EveryTopicUnderItsContextStringAndMapNumber)
{
    Tree();
    Generate();
    ASSERT_EQ(Run(), 0) << Errors.toStdString();
    const QString omega = QStringLiteral("\u03a9_caf\u00e9");
    // The contents page first; the "Contens" record's page stays a page of its own.
    ASSERT_FALSE(Result.Order.isEmpty());
    EXPECT_EQ(Result.Order.first(), QStringLiteral("Contens"));
    // The table's order: the title with a leading blank first.
    EXPECT_EQ(Result.Order, (QStringList{QStringLiteral("Contens"), omega, QStringLiteral("Alpha"), QStringLiteral("Beta"),
                                         QStringLiteral("Child"), QStringLiteral("Contens-2"), QStringLiteral("Note")}));
    EXPECT_TRUE(Result.Sections.value(QStringLiteral("Contens-2")).contains(QStringLiteral("Welcome")));
    EXPECT_TRUE(Log.contains(QStringLiteral("Duplicate context string \"Contens\""))) << Log.toStdString();
    EXPECT_EQ(Result.Index.value(QStringLiteral("contents")).toString(), QStringLiteral("Contens"));

    // Each map.def line: the number's anchor on its topic's page, and in the index.
    const QJsonObject map = Result.Index.value(QStringLiteral("map")).toObject();
    const QStringList lines = DecodeText(ReadAll(Hlp + QStringLiteral("/map.def"))).split(QStringLiteral("\r\n"), Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 6);
    for (const QString &line : lines) {
        const QString context = line.section(QStringLiteral(" = "), 0, 0);
        const QString number = line.section(QStringLiteral(" = "), 1, 1);
        EXPECT_EQ(map.value(number).toString(), context) << line.toStdString();
        EXPECT_TRUE(Result.Sections.value(context).contains(QStringLiteral("<a id=\"map-%1\">").arg(number)))
            << line.toStdString();
    }
    EXPECT_EQ(map.value(QString::number(Omega)).toString(), omega);
    // Titles and text outside the code page come through the \u escapes.
    EXPECT_TRUE(Result.Sections.value(omega).contains(QStringLiteral("\u4e2d \u20ac")));
    // The help project's colours: light yellow topics, grey heading.
    EXPECT_TRUE(Result.Html.contains(QStringLiteral("background:#ffffe6")));
    EXPECT_TRUE(Result.Html.contains(QStringLiteral("background:#c0c0c0")));
    // Fonts, sizes and bold as rules of the style sheet.
    const auto bold = QRegularExpression(QStringLiteral("<span class=\"(c\\d+)\">bold<")).match(Result.Sections.value(QStringLiteral("Child")));
    ASSERT_TRUE(bold.hasMatch());
    EXPECT_TRUE(Result.Html.contains(QRegularExpression(QStringLiteral("\\.%1\\{font-family:'MS Sans Serif',sans-serif;font-size:10pt;font-weight:bold;\\}").arg(bold.captured(1)))));
}

TEST_F(Hcw, JumpsPopupsAndKeywordsPointToTheirTopics)
{
    Tree();
    Generate();
    ASSERT_EQ(Run(), 0) << Errors.toStdString();
    const QString alpha = Result.Sections.value(QStringLiteral("Alpha"));
    const auto jump = QRegularExpression(QStringLiteral("<a class=\"jump\" data-target=\"Child\" href=\"#Child\">"
                                                        "<span class=\"bm (bm\\d+)\" title=\"boton.bmp\"></span><span [^>]*> Child</span></a>"))
                          .match(alpha);
    ASSERT_TRUE(jump.hasMatch()) << alpha.toStdString();
    // The picture itself, once, as a PNG.
    const QJsonObject picture = Result.Index.value(QStringLiteral("pictures")).toObject().value(jump.captured(1)).toObject();
    EXPECT_EQ(picture.value(QStringLiteral("file")).toString(), QStringLiteral("boton.bmp"));
    EXPECT_TRUE(picture.value(QStringLiteral("png")).toString().startsWith(QStringLiteral("data:image/png;base64,iVBOR")));
    EXPECT_EQ(Result.Html.count(QStringLiteral(".%1{").arg(jump.captured(1))), 1);
    EXPECT_TRUE(alpha.contains(QStringLiteral("<a class=\"popup\" data-target=\"Note\" href=\"#Note\">")));
    // The contents page lists the top-level topics that are not pop-ups, with bola.bmp.
    const QString contents = Result.Sections.value(QStringLiteral("Contens"));
    EXPECT_TRUE(contents.contains(QRegularExpression(QStringLiteral("href=\"#Alpha\"><span class=\"bm bm\\d+\" title=\"bola.bmp\"></span><span [^>]*>Alpha</span></a>"))));
    EXPECT_FALSE(contents.contains(QStringLiteral("#Beta")));
    // The hidden target text is not shown, and nor are the footnote marks.
    EXPECT_FALSE(alpha.contains(QStringLiteral("</a>Child")));
    EXPECT_FALSE(alpha.contains(QStringLiteral("</a>Note")));
    EXPECT_FALSE(alpha.contains(QStringLiteral("<sup>")));

    const QJsonObject keywords = Result.Index.value(QStringLiteral("keywords")).toObject();
    EXPECT_EQ(keywords.value(QStringLiteral("first")).toArray(), QJsonArray({QStringLiteral("Alpha")}));
    EXPECT_EQ(keywords.value(QStringLiteral("shared")).toArray(),
              QJsonArray({QStringLiteral("Alpha"), QStringLiteral("Child")}));
    EXPECT_EQ(keywords.value(QStringLiteral("Index")).toArray(), QJsonArray({QStringLiteral("Contens")}));
    // Pop-up topics have neither title nor keywords.
    for (const QJsonValue &t : Result.Index.value(QStringLiteral("topics")).toArray()) {
        const QJsonObject o = t.toObject();
        const bool popup = o.value(QStringLiteral("id")) == QStringLiteral("Note") || o.value(QStringLiteral("id")) == QStringLiteral("Beta");
        EXPECT_EQ(o.value(QStringLiteral("popup")).toBool(), popup) << o.value(QStringLiteral("id")).toString().toStdString();
    }
}

TEST_F(Hcw, BrokenJumpAndMissingBitmapNamedWithTheirLinesAndTheRestStillCompiled)
{
    Topic(QStringLiteral("Alpha"), QStringLiteral("Go {\\uldb there}{\\v No_such_topic} now"));
    Topic(QStringLiteral("Gamma"), QStringLiteral("Last"));
    Generate();
    ASSERT_TRUE(QFile::remove(Hlp + QStringLiteral("/bola.bmp")));
    ASSERT_EQ(Run(), 1);
    const QString rtf = QDir(Hlp).absoluteFilePath(QStringLiteral("App.rtf"));
    const QString jump = QStringLiteral("%1(%2): Unknown context string \"No_such_topic\" in a jump")
                             .arg(rtf)
                             .arg(RtfLine("No_such_topic"));
    const QString bitmap = QStringLiteral("%1(%2): Bitmap not found: bola.bmp").arg(rtf).arg(RtfLine("bola.bmp"));
    for (const QString &where : {Errors, Log}) {
        EXPECT_TRUE(where.contains(jump)) << where.toStdString();
        EXPECT_TRUE(where.contains(bitmap)) << where.toStdString();
    }
    // What could be read is there.
    EXPECT_EQ(Result.Order, (QStringList{QStringLiteral("Contens"), QStringLiteral("Alpha"), QStringLiteral("Gamma")}));
    EXPECT_TRUE(Result.Sections.value(QStringLiteral("Alpha")).contains(QStringLiteral(" now")));
    EXPECT_EQ(Result.Index.value(QStringLiteral("messages")).toArray().size(), 3); // both bola.bmp and the jump
}

TEST_F(Hcw, NamesFoundWithoutRegardToCaseAndOutputsWhereTheProjectSays)
{
    Tree();
    Generate();
    // Files renamed the other way round from what the project names.
    ASSERT_TRUE(QFile::rename(Hlp + QStringLiteral("/App.rtf"), Hlp + QStringLiteral("/APP.Rtf")));
    ASSERT_TRUE(QFile::rename(Hlp + QStringLiteral("/map.def"), Hlp + QStringLiteral("/Map.Def")));
    ASSERT_TRUE(QFile::rename(Hlp + QStringLiteral("/boton.bmp"), Hlp + QStringLiteral("/BOTON.BMP")));
    // Started from elsewhere, with a relative project path.
    QProcess p;
    p.setProgram(QStringLiteral(QUORBEL_HCW));
    p.setWorkingDirectory(Dir.path());
    p.setArguments({QStringLiteral("/C"), QStringLiteral("work/HLP/App.hpj")});
    p.start();
    ASSERT_TRUE(p.waitForFinished(60000));
    EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
    Result = Parse(ReadAll(Dir.path() + QStringLiteral("/work/App.hlp")));
    EXPECT_EQ(Result.Order.size(), 7);
    EXPECT_EQ(Result.Index.value(QStringLiteral("map")).toObject().size(), 6);
    EXPECT_TRUE(Result.Sections.value(QStringLiteral("Alpha")).contains(QStringLiteral("title=\"boton.bmp\"")));
    EXPECT_TRUE(QFile::exists(Dir.path() + QStringLiteral("/work/App.ERR")));
    // Nothing but the two outputs is left beside them (no temporary file).
    EXPECT_EQ(QDir(Dir.path() + QStringLiteral("/work")).entryList(QDir::Files),
              (QStringList{QStringLiteral("App.ERR"), QStringLiteral("App.hlp")}));
}

TEST_F(Hcw, UnreadableProjectAndWrongCommandLine)
{
    EXPECT_EQ(Run({QStringLiteral("/C")}, Hlp + QStringLiteral("/None.hpj")), 1);
    EXPECT_TRUE(Errors.contains(QDir(Hlp).absoluteFilePath(QStringLiteral("None.hpj")) + QStringLiteral("(0): Cannot read the help project")))
        << Errors.toStdString();
    EXPECT_FALSE(QFile::exists(Hlp + QStringLiteral("/None.hlp")));
    // A file the project names that is not there: its line in the project.
    WriteFileAtomically(Hlp + QStringLiteral("/Two.hpj"), "[OPTIONS]\r\nHLP=..\\Two.hlp \r\n[FILES] \r\nGone.rtf \r\n");
    EXPECT_EQ(Run({QStringLiteral("/C")}, Hlp + QStringLiteral("/Two.hpj")), 1);
    EXPECT_TRUE(Errors.contains(QStringLiteral("Two.hpj(4): Cannot find the file Gone.rtf"))) << Errors.toStdString();
    EXPECT_TRUE(QFile::exists(Dir.path() + QStringLiteral("/work/Two.hlp")));
    EXPECT_EQ(Run({QStringLiteral("/C"), QStringLiteral("a.hpj")}, QStringLiteral("b.hpj")), 2);
}

// Without /C, as btnHcwClick starts it: compiled, then shown in the viewer.
TEST_F(Hcw, WithoutCompileOnlyTheViewerOpensTheHelpFile)
{
    Tree();
    Generate();
    const QString recorder = Dir.path() + QStringLiteral("/viewer.sh");
    const QString args = Dir.path() + QStringLiteral("/viewer.args");
    WriteFileAtomically(recorder, QStringLiteral("#!/bin/sh\necho \"$@\" > %1.tmp && mv %1.tmp %1\n").arg(args).toUtf8());
    ASSERT_TRUE(QFile::setPermissions(recorder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    qputenv("QUORBEL_HELP_VIEWER", recorder.toUtf8());
    const int status = Run({});
    qunsetenv("QUORBEL_HELP_VIEWER");
    EXPECT_EQ(status, 0) << Errors.toStdString();
    for (int i = 0; i < 100 && !QFile::exists(args); ++i)
        QThread::msleep(50);
    EXPECT_EQ(ReadAll(args), QDir(Dir.path()).absoluteFilePath(QStringLiteral("work/App.hlp")).toUtf8() + "\n");

    // No viewer: a note, and the same result as with /C.
    qputenv("QUORBEL_HELP_VIEWER", QByteArray("/nonexistent/quorbel-help"));
    EXPECT_EQ(Run({}), 0);
    qunsetenv("QUORBEL_HELP_VIEWER");
    EXPECT_TRUE(Output.contains(QStringLiteral("hcw: the help viewer quorbel-help is not installed"))) << Output.toStdString();
    EXPECT_EQ(Result.Order.size(), 7);
}

// The reader on its own: the parts of the subset the generator does not write.
TEST(RtfReader, FormattingEscapesAndFootnotes)
{
    const QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0\\froman Times;}{\\f1\\fswiss Arial;}}"
                           "{\\colortbl;\\red255\\green0\\blue0;}"
                           "#{\\footnote # first}${\\footnote $ Caf\\'e9}{\\super K}{\\footnote K a; b ;a}"
                           "\\f1\\fs30\\cf1\\b Bold \\b0\\i it\\i0 \\u8364?\\uc2\\u937xx!\\par"
                           "{\\ul pop}{\\v second@other.hlp}{\\uldb\\{bmr pic.bmp\\}}{\\v %first>win}"
                           "\\{not a picture\\}\\page"
                           "#{\\footnote # second}\\line x\\page}";
    const TRtfDocument doc = ReadRtf(rtf);
    ASSERT_EQ(doc.Topics.size(), 2);
    ASSERT_EQ(doc.Fonts.size(), 2);
    EXPECT_EQ(doc.Fonts[1].Name, QStringLiteral("Arial"));
    ASSERT_EQ(doc.Colors.size(), 2);
    EXPECT_FALSE(doc.Colors[0].isValid());
    EXPECT_EQ(doc.Colors[1], QColor(255, 0, 0));
    const TRtfTopic &t = doc.Topics[0];
    EXPECT_EQ(t.Context, QStringLiteral("first"));
    EXPECT_EQ(t.Title, QStringLiteral("Caf\u00e9"));
    EXPECT_EQ(t.Keywords, (QStringList{QStringLiteral("a"), QStringLiteral("b")}));
    QString text;
    QList<const TRtfItem *> links;
    for (const TRtfItem &item : t.Items) {
        if (item.Type == TRtfItem::Run)
            text += item.Text;
        if (item.Type == TRtfItem::Link)
            links.append(&item);
    }
    EXPECT_EQ(text, QStringLiteral("Bold it\u20ac\u03a9!{not a picture}"));
    EXPECT_TRUE(t.Items[0].Style.Bold);
    EXPECT_EQ(t.Items[0].Style.HalfPoints, 30);
    EXPECT_EQ(t.Items[0].Style.Font, 1);
    EXPECT_EQ(t.Items[0].Style.Color, 1);
    ASSERT_EQ(links.size(), 2);
    EXPECT_TRUE(links[0]->Popup);
    EXPECT_EQ(links[0]->Target, QStringLiteral("second"));
    EXPECT_FALSE(links[1]->Popup);
    EXPECT_EQ(links[1]->Target, QStringLiteral("first"));
    ASSERT_EQ(links[1]->Content.size(), 1);
    EXPECT_EQ(links[1]->Content[0].Type, TRtfItem::Bitmap);
    EXPECT_EQ(links[1]->Content[0].Text, QStringLiteral("pic.bmp"));
    EXPECT_EQ(doc.Topics[1].Context, QStringLiteral("second"));
    EXPECT_EQ(CountRtfPages(rtf), 2);
}

TEST(HelpProject, SectionsAsPeopleEditThem)
{
    QTemporaryDir dir;
    QDir().mkpath(dir.path() + QStringLiteral("/Sub"));
    WriteFileAtomically(dir.path() + QStringLiteral("/Sub/ids.h"), "#define IDH_ONE 0x10\n// note\nTwo=3\nbad line here\n");
    THelpProject p;
    p.Path = dir.path() + QStringLiteral("/x.hpj");
    p.Dir = dir.path();
    ParseHelpProject(p, "; comment\r\n[options]\r\nTITLE = My help \r\nROOT=.\\SUB \r\n"
                        "[MAP]\r\n#include <sub\\IDS.H>\r\nthree 3\r\n"
                        "[WINDOWS]\r\nmain=\"Caption, with comma\",(0,0,100,100),0,(255,255,230),(r12632256),1\r\n"
                        "[CONFIG]\r\nBrowseButtons()\r\n");
    EXPECT_EQ(p.Title(), QStringLiteral("My help"));
    EXPECT_EQ(p.RootDirs().first(), dir.path() + QStringLiteral("/Sub"));
    ASSERT_EQ(p.Map.size(), 3);
    EXPECT_EQ(p.Map[0].Context, QStringLiteral("IDH_ONE"));
    EXPECT_EQ(p.Map[0].Number, 16);
    EXPECT_EQ(p.Map[1].Number, 3);
    EXPECT_EQ(p.Map[2].Context, QStringLiteral("three"));
    ASSERT_EQ(p.Messages.size(), 1);
    EXPECT_EQ(p.Messages[0].Format(), dir.path() + QStringLiteral("/Sub/ids.h(4): Invalid map entry: bad line here"));
    ASSERT_EQ(p.Windows.size(), 1);
    EXPECT_EQ(p.Windows[0].Caption, QStringLiteral("Caption, with comma"));
    EXPECT_EQ(p.Windows[0].Topic, QColor(255, 255, 230));
    EXPECT_EQ(p.Windows[0].NonScroll, QColor(192, 192, 192));
    EXPECT_EQ(p.Config, QStringList{QStringLiteral("BrowseButtons()")});
    EXPECT_EQ(p.HelpFile(), dir.path() + QStringLiteral("/x.hlp"));
}

} // namespace

namespace {

int Count(const QString &text, const QString &what)
{
    return int(text.count(what));
}

// A "{" left open in a topic's text, and a document that ends in 100,000 of
// them: one message each, naming the line, exit 1, and the pages still written.
TEST_F(Hcw, UnbalancedBracesReportedOnceWithTheirLineAndThePagesStillWritten)
{
    Topic(QStringLiteral("Alpha"), QStringLiteral("Go {\\b on"));
    Topic(QStringLiteral("Gamma"), QStringLiteral("Last"));
    Generate();
    EXPECT_EQ(Run(), 1);
    const QString rtf = QDir(Hlp).absoluteFilePath(QStringLiteral("App.rtf"));
    const QString open = QStringLiteral("%1(%2): Unbalanced braces: this \"{\" is not closed").arg(rtf).arg(RtfLine("Go {"));
    EXPECT_EQ(Count(Errors, QStringLiteral("Unbalanced")), 1) << Errors.toStdString();
    EXPECT_TRUE(Errors.contains(open)) << Errors.toStdString();
    EXPECT_TRUE(Log.contains(open)) << Log.toStdString();
    EXPECT_EQ(Result.Order, (QStringList{QStringLiteral("Contens"), QStringLiteral("Alpha"), QStringLiteral("Gamma")}));

    QFile f(Hlp + QStringLiteral("/App.rtf"));
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write(QByteArray(100000, '{'));
    f.write("\n}}");
    f.close();
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Count(Errors, QStringLiteral("Unbalanced")), 1) << Errors.left(2000).toStdString();
    EXPECT_TRUE(Errors.contains(QStringLiteral("Unbalanced braces: 99999 groups are not closed"))) << Errors.left(2000).toStdString();
    EXPECT_EQ(Result.Order.size(), 3);

    // "}" with no "{": its first line.
    WriteFileAtomically(Hlp + QStringLiteral("/App.rtf"), "{\\rtf1 #{\\footnote # One}One}\n}}\\page\n");
    EXPECT_EQ(Run(), 1);
    EXPECT_TRUE(Errors.contains(QStringLiteral("%1(2): Unbalanced braces: 2 \"}\" without \"{\"").arg(rtf))) << Errors.toStdString();
}

// A help project or map file that includes itself: one message naming it,
// not the same lines read again until too deep.
TEST_F(Hcw, IncludeCycleReportedOnceNamingTheFile)
{
    Tree();
    Generate();
    const QString hpj = Hlp + QStringLiteral("/App.hpj");
    QByteArray project = ReadAll(hpj);
    project.replace("[MAP]\r\n", "[MAP]\r\n#INCLUDE App.hpj\r\n");
    WriteFileAtomically(hpj, project);
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Count(Errors, QStringLiteral("cycle")), 1) << Errors.toStdString();
    EXPECT_EQ(Count(Errors, QStringLiteral("Invalid map entry")), 0) << Errors.toStdString();
    EXPECT_TRUE(Errors.contains(QStringLiteral("App.hpj(14): #INCLUDE cycle: %1 is already being read")
                                    .arg(QFileInfo(hpj).absoluteFilePath())))
        << Errors.toStdString();
    EXPECT_EQ(Result.Index.value(QStringLiteral("map")).toObject().size(), 6);

    // map.def -> other.def -> map.def.
    WriteFileAtomically(Hlp + QStringLiteral("/other.def"), "#include map.def\r\n");
    QByteArray map = ReadAll(Hlp + QStringLiteral("/map.def"));
    WriteFileAtomically(Hlp + QStringLiteral("/map.def"), map + "#include other.def\r\n");
    EXPECT_EQ(Run(), 1);
    EXPECT_EQ(Count(Errors, QStringLiteral("cycle")), 2) << Errors.toStdString(); // both cycles, once each
    EXPECT_EQ(Count(Errors, QStringLiteral("other.def(1): #INCLUDE cycle: ")), 1) << Errors.toStdString();
    EXPECT_FALSE(Log.contains(QStringLiteral("used again"))) << Log.toStdString();
}

// Eight levels of map files are read; the ninth is refused, with one message.
TEST(HelpProject, IncludesNestEightLevelsDeep)
{
    QTemporaryDir dir;
    for (int level = 1; level <= 9; ++level)
        WriteFileAtomically(dir.path() + QStringLiteral("/m%1.h").arg(level),
                            QStringLiteral("#define IDH_%1 %1\n#include m%2.h\n").arg(level).arg(level + 1).toUtf8());
    THelpProject p;
    p.Path = dir.path() + QStringLiteral("/x.hpj");
    p.Dir = dir.path();
    ParseHelpProject(p, "[MAP]\r\n#include m1.h\r\n");
    QStringList mapped;
    for (const THelpMapEntry &e : p.Map)
        mapped.append(e.Context);
    EXPECT_EQ(mapped, (QStringList{QStringLiteral("IDH_1"), QStringLiteral("IDH_2"), QStringLiteral("IDH_3"),
                                   QStringLiteral("IDH_4"), QStringLiteral("IDH_5"), QStringLiteral("IDH_6"),
                                   QStringLiteral("IDH_7"), QStringLiteral("IDH_8")}));
    ASSERT_EQ(p.Messages.size(), 1);
    EXPECT_EQ(p.Messages[0].Format(), dir.path() + QStringLiteral("/m8.h(2): #INCLUDE nested too deeply: m9.h"));
}

} // namespace

namespace {

QString Describe(const QList<TRtfTopic> &topics, const TRtfDocument &doc)
{
    QString out;
    for (const TRtfFont &f : doc.Fonts)
        out += f.Name + QLatin1Char(';');
    for (const QColor &c : doc.Colors)
        out += c.name() + QLatin1Char(';');
    const std::function<void(const QList<TRtfItem> &)> items = [&](const QList<TRtfItem> &list) {
        for (const TRtfItem &i : list) {
            out += QStringLiteral("|%1:%2:%3:%4:%5:%6:%7").arg(i.Type).arg(i.Text, i.Target).arg(i.Line)
                       .arg(i.Style.Bold).arg(i.Style.HalfPoints).arg(i.Para.LeftIndent);
            items(i.Content);
        }
    };
    for (const TRtfTopic &t : topics) {
        out += QStringLiteral("\n%1/%2/%3/%4:").arg(t.Context, t.Title, t.Keywords.join(QLatin1Char(','))).arg(t.Line);
        items(t.Items);
    }
    return out;
}

// The document read in chunks of any size reads as when read whole: the
// cuts fall inside control words, \'hh escapes, parameters and line ends.
TEST(RtfReader, AnySplitOfTheBytesReadsTheSame)
{
    const QByteArray rtf = "{\\rtf1\\ansi{\\fonttbl{\\f0\\froman Times;}{\\f12\\fswiss Arial;}}"
                           "{\\colortbl;\\red255\\green0\\blue128;}\r\n"
                           "#{\\footnote # first}${\\footnote $ Caf\\'e9}K{\\footnote K a;b}\r\n"
                           "\\f12\\fs-30\\fs30\\li-120\\b Bold\\b0 \\u8364?\\'41\\\r\n"
                           "{\\uldb jump}{\\v second}\\{bmc x.bmp\\}\\par\r\n\\page"
                           "#{\\footnote # second}\\line\\tab x\\page}";
    struct TCollect final : TRtfSink {
        QList<TRtfTopic> Topics;
        void Topic(TRtfTopic &t, const TRtfDocument &) override { Topics.append(std::move(t)); }
    };
    const TRtfDocument whole = ReadRtf(rtf);
    const QString expected = Describe(whole.Topics, whole);
    ASSERT_EQ(whole.Topics.size(), 2);
    for (qsizetype chunk = 1; chunk <= 16; ++chunk) {
        TCollect collect;
        TRtfStreamReader reader(collect);
        for (qsizetype at = 0; at < rtf.size(); at += chunk)
            reader.Feed(rtf.constData() + at, qMin(chunk, rtf.size() - at));
        reader.Finish();
        EXPECT_EQ(Describe(collect.Topics, reader.Document()), expected) << "chunks of " << chunk;
        EXPECT_TRUE(reader.Problems().isEmpty());
    }
}

// The index block is what QJsonDocument would write for it, keys sorted and
// escapes alike, though it is written a piece at a time.
TEST_F(Hcw, IndexIsCompactJsonWhateverTheKeywordsHold)
{
    Topic(QStringLiteral("Alpha"), QStringLiteral("One"), -1, false,
          QStringLiteral("z;B;a;\u00e9;\U0001F600;\uE000;10;2;</script>;x\\\"y"));
    Topic(QStringLiteral("Beta </b>"), QStringLiteral("Two"), -1, false, QStringLiteral("a;\U0001F600"));
    Generate();
    Run(); // the jump to "Beta </b>" is cut at ">", and so unknown
    const QByteArray html = ReadAll(Dir.path() + QStringLiteral("/work/App.hlp"));
    const QByteArray open = "<script type=\"application/json\" id=\"quorbel-help-index\">";
    const qsizetype from = html.indexOf(open) + open.size();
    const QByteArray written = html.mid(from, html.indexOf("</script>", from) - from);
    QByteArray json = written;
    const QJsonDocument parsed = QJsonDocument::fromJson(json.replace("<\\/", "</"));
    ASSERT_TRUE(parsed.isObject()) << written.left(300).toStdString();
    EXPECT_EQ(QString::fromUtf8(written).toStdString(), QString::fromUtf8(parsed.toJson(QJsonDocument::Compact).replace("</", "<\\/")).toStdString());
    EXPECT_EQ(parsed.object().value(QStringLiteral("keywords")).toObject().size(), 12); // with the contents page's two
}

} // namespace
