// The macro placeholders in quorbel-ide with the real libquorbel.so: where
// the caret lands, the formatted date, and the selection the macro replaces,
// as the real editor answers them.
#include "IdeHome.h"

#include <QDate>

namespace {

// One 2150-byte macro record: title length byte, 100 title bytes, NUL-ended body.
QByteArray Record(const QByteArray &title, const QByteArray &body)
{
    QByteArray record(2150, '\0');
    record[0] = char(title.size());
    record.replace(1, title.size(), title);
    record.replace(101, body.size(), body);
    return record;
}

using Result = e2e::TIdeRun;

class MacroPlaceholdersEndToEnd : public e2e::TIdeHome {
protected:
    void SetUp() override
    {
        TIdeHome::SetUp();
        if (HasFatalFailure())
            return;
        unit = write(QStringLiteral("Shapes.pas"), "unit Shapes;\n\ninterface\n\nimplementation\n\nend.\n");
        ASSERT_EQ(run({QStringLiteral("--register-addin"), addin}).exitCode, 0);
    }

    // Stores one macro (none for an empty body), runs "Macros..." on it after the given editor
    // commands, and returns the log.
    Result InsertMacro(const QByteArray &body, const QStringList &before)
    {
        QFile store(home.filePath(QStringLiteral("lib/Quorbel.dat")));
        EXPECT_TRUE(store.open(QIODevice::WriteOnly));
        if (!body.isEmpty())
            store.write(Record("Macro", body));
        store.close();
        QStringList lines{QStringLiteral("open ") + unit};
        lines << before
              << QStringList{QStringLiteral("modal select ListBox1 0"), QStringLiteral("modal invoke Button1"),
                             QStringLiteral("click IdeExpt1"), QStringLiteral("dump-editor"),
                             QStringLiteral("save")};
        return script(lines);
    }

    QStringList Lines() const
    {
        QFile f(unit);
        EXPECT_TRUE(f.open(QIODevice::ReadOnly));
        return QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    }

    static QString Cursor(const Result &r)
    {
        for (const QString &line : r.log)
            if (line.startsWith(QStringLiteral("editor cursor=")))
                return line.section(QLatin1Char(' '), 1, 1);
        return {};
    }

    QString unit;
};

TEST_F(MacroPlaceholdersEndToEnd, CaretAndFormattedDateLandAsTyped)
{
    const QString before = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    const Result r = InsertMacro("{ Changed $DATE:yyyy-MM-dd$ }\r\nprocedure $CURSOR$;\r\n",
                                 {QStringLiteral("cursor 4 1")});
    const QString after = QDate::currentDate().toString(QStringLiteral("yyyy-MM-dd"));
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString();
    EXPECT_TRUE(r.log.filter(QStringLiteral("message:")).isEmpty()) << r.log.join('\n').toStdString();
    const QStringList lines = Lines();
    ASSERT_GE(lines.size(), 7);
    EXPECT_TRUE(lines.at(3) == QStringLiteral("{ Changed %1 }").arg(before)
                || lines.at(3) == QStringLiteral("{ Changed %1 }").arg(after))
        << lines.at(3).toStdString();
    EXPECT_EQ(lines.at(4), QStringLiteral("procedure ;"));
    EXPECT_EQ(lines.mid(5, 2), (QStringList{QString(), QStringLiteral("implementation")}));
    // Line 5, just after "procedure ".
    EXPECT_EQ(Cursor(r), QStringLiteral("cursor=5:11"));
}

TEST_F(MacroPlaceholdersEndToEnd, SelectionInTheEditorIsReplacedByTheMacro)
{
    // "interface\n\nimpl" selected: from line 3 column 1 to line 5 column 5.
    const Result r = InsertMacro("{$SELECTION$}$CURSOR$", {QStringLiteral("select 3 1 5 5")});
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString();
    const QStringList lines = Lines();
    ASSERT_GE(lines.size(), 5);
    EXPECT_EQ(lines.mid(2, 3), (QStringList{QStringLiteral("{interface"), QString(), QStringLiteral("impl}ementation")}));
    EXPECT_EQ(Cursor(r), QStringLiteral("cursor=5:6"));
}

TEST_F(MacroPlaceholdersEndToEnd, ASnippetFileImportsThroughTheMacroListAndItsFileDialog)
{
    const QString snippets = home.filePath(QStringLiteral("pascal.json"));
    QFile f(snippets);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("{\n  // VS Code's own comment\n  \"Proc\": {\n    \"prefix\": \"proc\",\n"
            "    \"body\": [\"procedure ${1:Name};\", \"{ $TM_LINE_NUMBER }\"],\n  },\n}\n");
    f.close();
    // The store is empty: the import, then the imported macro inserted.
    const Result r = InsertMacro("", {QStringLiteral("cursor 4 1"), QStringLiteral("modal invoke Importar1"),
                                      QStringLiteral("modal text fileNameEdit ") + snippets,
                                      QStringLiteral("modal accept"), QStringLiteral("modal accept")});
    ASSERT_EQ(r.exitCode, 0) << r.errors.toStdString();
    const QStringList messages = r.log.filter(QStringLiteral("message:"));
    ASSERT_EQ(messages.size(), 1) << r.log.join('\n').toStdString();
    EXPECT_TRUE(messages.at(0).contains(QStringLiteral("1 of 1 snippets")));
    EXPECT_TRUE(messages.at(0).contains(QStringLiteral("Proc: $TM_LINE_NUMBER"))) << messages.at(0).toStdString();
    const QStringList lines = Lines();
    ASSERT_GE(lines.size(), 6);
    EXPECT_EQ(lines.mid(3, 2), (QStringList{QStringLiteral("procedure Name;"), QStringLiteral("{ TM_LINE_NUMBER }")}));
    EXPECT_EQ(Cursor(r), QStringLiteral("cursor=4:11"));
}

} // namespace
