// quorbel-lang: the string table's exchange with gettext .po files, for
// builds and CI, on a project's LANG/language.db without the IDE.
//
//   quorbel-lang export DIR --language N|NAME -o FILE.po [--source N|NAME]
//   quorbel-lang export DIR --template -o FILE.pot [--source N|NAME]
//   quorbel-lang import DIR --language N|NAME [--source N|NAME] [--fuzzy] FILE.po
//   quorbel-lang report DIR [--language N|NAME] [--fail-on-untranslated]
//
// DIR is the project's directory or its LANG directory. Exit codes: 0 done,
// 1 an error (the reason on standard error), 2 a wrong command line, 3 the
// report found untranslated strings and was asked to fail on them.
#include "gettext/PoExchange.h"

#include "core/DM.h"
#include "core/StringTable.h"

#include "Dialogs.h"
#include "Paths.h"
#include "SafeFile.h"
#include "TableStore.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <optional>

namespace {

const char Usage[] =
    "usage: quorbel-lang export DIR --language N|NAME -o FILE.po [--source N|NAME]\n"
    "       quorbel-lang export DIR --template -o FILE.pot [--source N|NAME]\n"
    "       quorbel-lang import DIR --language N|NAME [--source N|NAME] [--fuzzy] FILE.po\n"
    "       quorbel-lang report DIR [--language N|NAME] [--fail-on-untranslated]\n"
    "DIR is a project's directory or its LANG directory, which holds language.db.\n"
    "N is a language's column, 1 to 7; NAME its name in the string table's options,\n"
    "or that name's gettext code. The source language is the first unless named.\n";

void Print(FILE *to, const QString &text)
{
    std::fprintf(to, "%s\n", text.toLocal8Bit().constData());
}

int Fail(const QString &text)
{
    Print(stderr, QStringLiteral("quorbel-lang: ") + text);
    return 1;
}

int Wrong(const QString &text)
{
    Print(stderr, QStringLiteral("quorbel-lang: ") + text);
    std::fputs(Usage, stderr);
    return 2;
}

// No questions from a command: a missing table is not created here.
class TCommandDialogs final : public TDialogService {
public:
    void ShowMessage(const QString &text) override { Print(stdout, text); }
    bool AskYesNo(const QString &) override { return false; }
    void ShowError(const QString &text) override { Print(stderr, text); }
    QString GetOpenFileName(const QString &, const QString &, const QString &) override { return {}; }
};

// A column from "3" or from a stored name or its code; -1 when none.
int ColumnOf(const QString &given, const QStringList &names)
{
    bool number = false;
    const int n = given.toInt(&number);
    if (number)
        return n >= 1 && n <= PoLanguageCount ? n - 1 : -1;
    for (int i = 0; i < names.size(); ++i)
        if (!names[i].trimmed().isEmpty() && names[i].trimmed().compare(given.trimmed(), Qt::CaseInsensitive) == 0)
            return i;
    for (int i = 0; i < names.size(); ++i)
        if (!LanguageCode(names[i]).isEmpty() && LanguageCode(names[i]).compare(given, Qt::CaseInsensitive) == 0)
            return i;
    return -1;
}

struct TArguments {
    QString Command, Dir, Output, File;
    std::optional<QString> Language, Source;
    bool Fuzzy = false, FailOnUntranslated = false, Template = false;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty() || args.first() == QLatin1String("--help") || args.first() == QLatin1String("-h")) {
        std::fputs(Usage, args.isEmpty() ? stderr : stdout);
        return args.isEmpty() ? 2 : 0;
    }

    TArguments a;
    a.Command = args.takeFirst();
    if (a.Command != QLatin1String("export") && a.Command != QLatin1String("import")
        && a.Command != QLatin1String("report"))
        return Wrong(QStringLiteral("unknown command %1").arg(a.Command));
    QStringList plain;
    for (int i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        const auto value = [&]() -> std::optional<QString> {
            if (i + 1 >= args.size())
                return std::nullopt;
            return args[++i];
        };
        if (arg == QLatin1String("--language") || arg == QLatin1String("--source") || arg == QLatin1String("-o")) {
            const std::optional<QString> v = value();
            if (!v)
                return Wrong(QStringLiteral("%1 needs a value").arg(arg));
            (arg == QLatin1String("-o") ? a.Output : arg == QLatin1String("--source") ? a.Source.emplace()
                                                                                      : a.Language.emplace()) = *v;
        } else if (arg == QLatin1String("--template") && a.Command == QLatin1String("export")) {
            a.Template = true;
        } else if (arg == QLatin1String("--fuzzy") && a.Command == QLatin1String("import")) {
            a.Fuzzy = true;
        } else if (arg == QLatin1String("--fail-on-untranslated") && a.Command == QLatin1String("report")) {
            a.FailOnUntranslated = true;
        } else if (arg.startsWith(QLatin1Char('-')) && arg.size() > 1) {
            return Wrong(QStringLiteral("unknown option %1").arg(arg));
        } else {
            plain << arg;
        }
    }
    const int wantPlain = a.Command == QLatin1String("import") ? 2 : 1;
    if (plain.size() != wantPlain)
        return Wrong(a.Command == QLatin1String("import") ? QStringLiteral("import needs DIR and FILE.po")
                                                          : QStringLiteral("%1 needs DIR alone").arg(a.Command));
    a.Dir = plain[0];
    if (wantPlain == 2)
        a.File = plain[1];
    if (a.Template && a.Language)
        return Wrong(QStringLiteral("a template has no language: --template or --language"));
    if (a.Command != QLatin1String("report") && !a.Language && !a.Template)
        return Wrong(QStringLiteral("%1 needs --language").arg(a.Command));
    if (a.Command == QLatin1String("export") && a.Output.isEmpty())
        return Wrong(QStringLiteral("export needs -o FILE.po"));

    const QStringList names = StoredLanguageNames();
    const int language = a.Language ? ColumnOf(*a.Language, names) : -1;
    if (a.Language && language < 0)
        return Wrong(QStringLiteral("no language %1 (1 to 7, or a name of the string table's options)").arg(*a.Language));
    const int source = a.Source ? ColumnOf(*a.Source, names) : 0;
    if (source < 0)
        return Wrong(QStringLiteral("no language %1 (1 to 7, or a name of the string table's options)").arg(*a.Source));

    // The project's directory, or its LANG directory itself.
    QString dir = QDir::cleanPath(QFileInfo(a.Dir).absoluteFilePath());
    QString projectDir = dir, subdirectory = QStringLiteral("LANG");
    if (QFileInfo(FindEntryNoCase(dir, QStringLiteral("language.db"))).exists()) {
        projectDir = QFileInfo(dir).path();
        subdirectory = QFileInfo(dir).fileName();
    }
    if (!QFileInfo(projectDir).isDir())
        return Fail(QStringLiteral("%1 is no directory").arg(a.Dir));

    TCommandDialogs dialogs;
    TTable table;
    table.TableName = QStringLiteral("language.db");
    try {
        OpenProjectTable(dialogs, projectDir + QStringLiteral("/project.dpr"), table, subdirectory,
                         txt::AskCreateLanguage, CreateLanguageTable);
        if (!table.Active())
            return Fail(QStringLiteral("no string table at %1").arg(table.FilePath()));

        const QString languageName = language >= 0 ? names.value(language).trimmed() : QString();
        if (a.Command == QLatin1String("export")) {
            const int count = ExportLanguage(
                table, {a.Template ? source : language, source, languageName, ProjectNameOf(projectDir), a.Template},
                a.Output, AtomicFileWriter());
            Print(stdout, LoadStr(txt::PoExported)
                              .arg(count)
                              .arg(a.Template ? QStringLiteral("the template")
                                   : languageName.isEmpty() ? QStringLiteral("L%1").arg(language + 1)
                                                            : languageName)
                              .arg(a.Output));
        } else if (a.Command == QLatin1String("import")) {
            const TPoImportReport report = ImportLanguage(table, a.File, {language, source, languageName, a.Fuzzy});
            Print(stdout, report.Text());
        } else {
            // A language asked for by number is reported even without a name.
            QStringList shown = names;
            if (language >= 0 && shown[language].trimmed().isEmpty())
                shown[language] = QStringLiteral("L%1").arg(language + 1);
            std::vector<TUntranslated> report = FindUntranslated(table, shown);
            if (language >= 0)
                std::erase_if(report, [&](const TUntranslated &item) { return item.Language != language; });
            Print(stdout, UntranslatedText(report));
            if (a.FailOnUntranslated)
                for (const TUntranslated &item : report)
                    if (!item.Identifiers.isEmpty())
                        return 3;
        }
    } catch (const Exception &e) {
        return Fail(e.message());
    } catch (const std::exception &e) {
        return Fail(QString::fromUtf8(e.what()));
    }
    return 0;
}
