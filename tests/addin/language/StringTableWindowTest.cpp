// The string table window on a project's language table: its settings in
// the registry, the grid's columns and incremental search, and the edits
// through the pop-up commands and the edit dialog.
#include "LanguageTesting.h"

#include "language/FSEdit.h"
#include "language/Grid3d.h"
#include "language/lbrowse.h"

#include "core/StringTable.h"

#include "ModalDriver.h"
#include "Registry.h"
#include "TestServices.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QDirIterator>
#include <QFileInfo>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace {

using namespace LanguageTesting;

const QString Key = QStringLiteral("Software\\Borland\\Delphi\\2.0\\ExpLang");

QString Stored(const QString &name)
{
    bool found = false;
    const QString value = Registry::readString(HKEY::CurrentUser, Key, name, &found);
    return found ? value : QStringLiteral("<absent>");
}

class StringTableWindow : public LanguageTableTest {
protected:
    void TearDown() override
    {
        LanguageSearchText().clear();
        LanguageTableTest::TearDown();
    }
    // The window shown and active, so focus moves between its controls.
    void ShowActive(TLDBrowse &window)
    {
        window.show();
        window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    }
    // Focus into from, then on to to: "from" is left as a user leaves it.
    static void Leave(QWidget *from, QWidget *to)
    {
        from->setFocus(Qt::TabFocusReason);
        to->setFocus(Qt::TabFocusReason);
    }
    static QStringList Columns(TLDBrowse &window)
    {
        QStringList names;
        TDataSetModel &model = window.DB3DGrid1->Model();
        for (int c = 0; c < model.columnCount(); ++c)
            names << model.FieldAt(c)->FieldName();
        return names;
    }
};

TEST_F(StringTableWindow, FirstUseShowsDefaultsWithoutErrorAndWritesNothingUntilSaved)
{
    {
        TLDBrowse window(nullptr, Services());
        EXPECT_EQ(window.ComboBox1->count(), 7);
        EXPECT_EQ(window.LanguageNames(), QStringList(7, QString()));
        EXPECT_EQ(window.InitId, 1000);
        EXPECT_EQ(window.Edit2->text(), QStringLiteral("1000"));
        EXPECT_EQ(window.CurLang, 0);
        EXPECT_EQ(window.ComboBox1->currentIndex(), 0);
        EXPECT_FALSE(window.CheckBox1->isChecked());
        EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join(" | ").toStdString();
        EXPECT_EQ(Registry::valueNames(HKEY::CurrentUser, Key), QStringList());
    }
    // Closing the add-in saves them.
    EXPECT_EQ(Stored(QStringLiteral("InitId")), QStringLiteral("1000"));
    EXPECT_EQ(Stored(QStringLiteral("curlang")), QStringLiteral("0"));
    EXPECT_EQ(Stored(QStringLiteral("CreateMode")), QStringLiteral("OFF"));
    EXPECT_EQ(Stored(QStringLiteral("L7")), QString());
}

TEST_F(StringTableWindow, MangledStoredValuesFallBackToDefaults)
{
    Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("InitId"), QStringLiteral("12x"));
    Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("curlang"), QStringLiteral("9"));
    Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("CreateMode"), QStringLiteral("on"));
    Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("L2"), QStringLiteral("Spanish"));
    TLDBrowse window(nullptr, Services());
    EXPECT_EQ(window.InitId, 1000);
    EXPECT_EQ(window.CurLang, 0);
    EXPECT_FALSE(window.CheckBox1->isChecked());
    EXPECT_EQ(window.ComboBox1->itemText(1), QStringLiteral("Spanish"));
    EXPECT_TRUE(Dialogs.log.isEmpty());
}

TEST_F(StringTableWindow, CurrentLanguageIsTheOnlyTextColumnAndItsIndexIsSearched)
{
    Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("curlang"), QStringLiteral("2"));
    OpenOwnTable();
    TTable &table = Data->Table1;
    // L1 and L3 sort the other way round.
    Add(table, QStringLiteral("IDS_ONE"), {QStringLiteral("Zeta"), {}, QStringLiteral("Apple")});
    Add(table, QStringLiteral("IDS_TWO"), {QStringLiteral("Alpha"), {}, QStringLiteral("Banana")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    // Ordered and searched by the language shown from the first showing on,
    // before the language list was ever left.
    EXPECT_EQ(Columns(window), QStringList({QStringLiteral("L3"), QStringLiteral("idst")}));
    EXPECT_EQ(table.IndexName(), QStringLiteral("L3"));
    EXPECT_EQ(window.DB3DGrid1->model()->data(window.DB3DGrid1->model()->index(0, 0)).toString(),
              QStringLiteral("Apple"));
    table.Last();
    QTest::keyClick(window.DB3DGrid1, Qt::Key_A);
    EXPECT_EQ(Current(table), QStringLiteral("IDS_ONE")); // Apple, not Alpha
    EXPECT_EQ(window.DB3DGrid1->currentIndex().row(), 0);

    // Another language: ordered by it once the list is left.
    window.ComboBox1->setCurrentIndex(0);
    Leave(window.ComboBox1, window.Edit2);
    EXPECT_EQ(table.IndexName(), QStringLiteral("L1"));
    EXPECT_EQ(Columns(window), QStringList({QStringLiteral("L1"), QStringLiteral("idst")}));
    window.ComboBox1->setCurrentIndex(2);
    Leave(window.ComboBox1, window.Edit2);
    EXPECT_EQ(table.IndexName(), QStringLiteral("L3"));
    EXPECT_EQ(Stored(QStringLiteral("curlang")), QStringLiteral("2"));

    // No language chosen: stored as -1, no text column, and nothing to compile.
    window.ComboBox1->setCurrentIndex(-1);
    Leave(window.ComboBox1, window.Edit2);
    EXPECT_EQ(Stored(QStringLiteral("curlang")), QStringLiteral("-1"));
    EXPECT_EQ(Columns(window), QStringList{QStringLiteral("idst")});
    window.btnCompileClick();
    EXPECT_EQ(Dialogs.log, QStringList{QStringLiteral("error: ") + LoadStr(txt::ChooseLanguageFirst)});
}

TEST_F(StringTableWindow, TypedKeysSearchUntilAPagingKeyClearsTheText)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    for (const char *text : {"AA", "AB1", "AC", "B", "C"})
        Add(table, QStringLiteral("IDS_") + QLatin1String(text), {QLatin1String(text)});
    for (int i = 0; i < 20; ++i)
        Add(table, QStringLiteral("IDS_D%1").arg(i, 2, 10, QLatin1Char('0')), {QStringLiteral("D%1").arg(i, 2, 10, QLatin1Char('0'))});
    TLDBrowse window(nullptr, Services());
    window.KeyClock = [] { return qint64(1); }; // no pause between keys, however slow the machine
    ShowActive(window);
    TDB3DGrid *grid = window.DB3DGrid1;
    table.First();

    QTest::keyClick(grid, Qt::Key_A);
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("AA"));
    QTest::keyClick(grid, Qt::Key_0); // 48 never extends the search
    QTest::keyClick(grid, Qt::Key_B);
    EXPECT_EQ(LanguageSearchText(), QStringLiteral("AB"));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("AB1"));
    QTest::keyClick(grid, Qt::Key_PageDown);
    EXPECT_EQ(table.RecNo(), 18);
    EXPECT_EQ(grid->currentIndex().row(), 17);
    QTest::keyClick(grid, Qt::Key_C);
    EXPECT_EQ(LanguageSearchText(), QStringLiteral("C"));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("C")); // "ABC" would be AC
    // Arrows keep the text; Home clears it.
    QTest::keyClick(grid, Qt::Key_Down);
    EXPECT_EQ(LanguageSearchText(), QStringLiteral("C"));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("D00"));
    QTest::keyClick(grid, Qt::Key_Home);
    EXPECT_TRUE(LanguageSearchText().isEmpty());
    EXPECT_EQ(table.RecNo(), 1);

    // A click on a row makes it the table's current record.
    const QModelIndex third = grid->model()->index(2, 0);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(third).center());
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("AC"));

    // Enter closes with OK.
    QTest::keyClick(grid, Qt::Key_D);
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_TRUE(LanguageSearchText().isEmpty());
}

TEST_F(StringTableWindow, InitialIdTakesDigitsOnlyAndAnEmptyBoxKeepsTheNumber)
{
    OpenOwnTable();
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    window.PageControl1->setCurrentIndex(1);
    QLineEdit *edit = window.Edit2;
    edit->setFocus(Qt::TabFocusReason);
    edit->selectAll();
    QTest::keyClick(edit, Qt::Key_Delete);
    QTest::keyClicks(edit, QStringLiteral("2x0-"));
    QTest::keyClick(edit, Qt::Key_Backspace); // discarded too
    QTest::keyClicks(edit, QStringLiteral("05"));
    EXPECT_EQ(edit->text(), QStringLiteral("2005"));
    Leave(edit, window.ComboBox1);
    EXPECT_EQ(window.InitId, 2005);
    EXPECT_EQ(Stored(QStringLiteral("InitId")), QStringLiteral("2005"));

    edit->clear();
    Leave(edit, window.ComboBox1);
    EXPECT_EQ(window.InitId, 2005);
    EXPECT_EQ(edit->text(), QStringLiteral("2005"));
    EXPECT_EQ(Stored(QStringLiteral("InitId")), QStringLiteral("2005"));
    EXPECT_EQ(Dialogs.log, QStringList{QStringLiteral("message: ") + LoadStr(txt::BadInitialId).arg(2005)});
    EXPECT_FALSE(LoadStr(txt::BadInitialId).isEmpty());
}

TEST_F(StringTableWindow, TabAndShiftTabLeaveInitialIdAndStoreIt)
{
    OpenOwnTable();
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    window.PageControl1->setCurrentIndex(1);
    QLineEdit *edit = window.Edit2;
    for (const auto &[modifier, number] : {std::pair{Qt::NoModifier, 3000}, std::pair{Qt::ShiftModifier, 4000}}) {
        edit->setFocus(Qt::TabFocusReason);
        ASSERT_TRUE(edit->hasFocus());
        edit->selectAll();
        QTest::keyClicks(edit, QString::number(number));
        QTest::keyClick(edit, Qt::Key_Tab, modifier);
        EXPECT_FALSE(edit->hasFocus()) << number;
        EXPECT_EQ(window.InitId, number);
        EXPECT_EQ(Stored(QStringLiteral("InitId")), QString::number(number));
    }
    EXPECT_EQ(edit->text(), QStringLiteral("4000"));
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join(" | ").toStdString();
}

// The search text is what was typed just now for the row looked for: a
// click on a row or a pause of a second starts it afresh.
TEST_F(StringTableWindow, SearchStartsAfreshAfterAClickOrAPause)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    for (const char *text : {"DUP", "DUPLICATE", "HE", "HELLO"})
        Add(table, QStringLiteral("IDS_") + QLatin1String(text), {QLatin1String(text)});
    TLDBrowse window(nullptr, Services());
    qint64 now = 5000;
    window.KeyClock = [&now] { return now; };
    ShowActive(window);
    TDB3DGrid *grid = window.DB3DGrid1;

    QTest::keyClicks(grid, QStringLiteral("DUP"));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("DUP"));
    now += TLDBrowse::SearchPauseMs - 1; // not yet a pause
    QTest::keyClick(grid, Qt::Key_L);
    EXPECT_EQ(LanguageSearchText(), QStringLiteral("DUPL"));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("DUPLICATE"));

    now += TLDBrowse::SearchPauseMs;
    QTest::keyClicks(grid, QStringLiteral("HE"));
    EXPECT_EQ(LanguageSearchText(), QStringLiteral("HE"));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("HE"));

    // A click on a row, then typing at once: only what was typed after it.
    const QModelIndex first = grid->model()->index(0, 0);
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(first).center());
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("DUP"));
    QTest::keyClick(grid, Qt::Key_H);
    EXPECT_EQ(LanguageSearchText(), QStringLiteral("H"));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("HE"));

    // Ok takes the string found.
    QTest::keyClick(grid, Qt::Key_Return);
    EXPECT_EQ(window.result(), QDialog::Accepted);
    EXPECT_EQ(Current(table), QStringLiteral("IDS_HE"));
}

TEST_F(StringTableWindow, DeleteAsksAndDeletesOnlyOnYes)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QStringLiteral("IDS_A"), {QStringLiteral("a")});
    Add(table, QStringLiteral("IDS_B"), {QStringLiteral("b")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    table.First();
    Dialogs.answerNo();
    QTest::keyClick(window.DB3DGrid1, Qt::Key_Delete);
    EXPECT_EQ(table.RecordCount(), 2);
    Dialogs.answerYes();
    window.Delete1->trigger();
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_EQ(Current(table), QStringLiteral("IDS_B"));
    EXPECT_EQ(Dialogs.log, QStringList(2, QStringLiteral("question: Delete actual String?")));
}

TEST_F(StringTableWindow, InsertNamesANewStringWithItsIdentifierRules)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QStringLiteral("IDS_A"), {QStringLiteral("a")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    QString onEnter, onExit, memo;
    OnNextModal([&](QDialog *d) {
        auto *dialog = qobject_cast<TDlgEdit *>(d);
        ASSERT_NE(dialog, nullptr);
        // Focus moves only inside the active window.
        dialog->activateWindow();
        // Generous: a loaded machine activates late, never wrongly.
        ASSERT_TRUE(QTest::qWaitForWindowActive(dialog, 30000));
        dialog->DBEdit1->setFocus(Qt::TabFocusReason);
        onEnter = dialog->DBEdit1->text();
        dialog->DBEdit1->setText(QStringLiteral("my text id-2"));
        dialog->DBMemo1->setFocus(Qt::TabFocusReason);
        onExit = dialog->DBEdit1->text();
        QTest::keyClicks(dialog->DBMemo1, QStringLiteral("Hola"));
        QTest::keyClick(dialog->DBMemo1, Qt::Key_Tab); // moves on, not into the text
        QApplication::clipboard()->setText(QStringLiteral(" a\r\nb\tc"));
        dialog->DBMemo1->paste();
        memo = dialog->DBMemo1->toPlainText();
        QTest::mouseClick(dialog->Button1, Qt::LeftButton);
    });
    QTest::keyClick(window.DB3DGrid1, Qt::Key_Insert);
    EXPECT_EQ(onEnter, QStringLiteral("IDS_"));
    EXPECT_EQ(onExit, QStringLiteral("MY_TEXT_ID-2"));
    EXPECT_EQ(memo, QStringLiteral("Hola abc"));
    EXPECT_EQ(table.State(), TDataSetState::Browse);
    ASSERT_TRUE(table.Locate(QStringLiteral("idst"), QStringLiteral("MY_TEXT_ID-2")));
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("Hola abc"));
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join(" | ").toStdString();
}

// Esc, Enter (which cancels) or the close box on a new string's dialog:
// no record stays, so the next Insert works.
TEST_F(StringTableWindow, CancelledNewStringLeavesNoRecord)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QStringLiteral("IDS_A"), {QStringLiteral("a")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    const std::vector<std::function<void(TDlgEdit *)>> cancels = {
        [](TDlgEdit *d) { QTest::keyClick(d->DBMemo1, Qt::Key_Escape); },
        [](TDlgEdit *d) {
            QTest::keyClicks(d->DBMemo1, QStringLiteral("typed"));
            QTest::keyClick(d->DBMemo1, Qt::Key_Return);
        },
        [](TDlgEdit *d) { d->close(); },
    };
    for (size_t i = 0; i < cancels.size(); ++i) {
        bool opened = false;
        OnNextModal([&, i](QDialog *d) {
            opened = true;
            cancels[i](static_cast<TDlgEdit *>(d));
        });
        QTest::keyClick(window.DB3DGrid1, Qt::Key_Insert);
        EXPECT_TRUE(opened) << i;
        EXPECT_EQ(table.RecordCount(), 1) << i;
        EXPECT_EQ(table.State(), TDataSetState::Browse);
        EXPECT_EQ(window.DB3DGrid1->model()->rowCount(), 1);
    }
    // A language change in the dialog posts the new record; cancelling it
    // afterwards still leaves none.
    OnNextModal([](QDialog *d) {
        auto *dialog = static_cast<TDlgEdit *>(d);
        dialog->DBEdit1->setText(QStringLiteral("IDS_B"));
        dialog->ComboBox1->setFocus();
        QTest::keyClick(dialog->ComboBox1, Qt::Key_Down);
        QTest::keyClick(dialog->ComboBox1, Qt::Key_Escape);
    });
    window.Insert1->trigger();
    EXPECT_EQ(table.RecordCount(), 1);
    EXPECT_FALSE(table.Locate(QStringLiteral("idst"), QStringLiteral("IDS_B")));
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join(" | ").toStdString();

    // A confirmed one stays.
    OnNextModal([](QDialog *d) {
        auto *dialog = static_cast<TDlgEdit *>(d);
        dialog->DBEdit1->setText(QStringLiteral("IDS_C"));
        dialog->Button1->click();
    });
    QTest::keyClick(window.DB3DGrid1, Qt::Key_Insert);
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_TRUE(table.Locate(QStringLiteral("idst"), QStringLiteral("IDS_C")));
    EXPECT_TRUE(Dialogs.log.isEmpty()) << Dialogs.log.join(" | ").toStdString();
}

TEST_F(StringTableWindow, EnterInTheEditDialogCancelsWhatWasTyped)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QStringLiteral("IDS_A"), {QStringLiteral("a")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    OnNextModal([](QDialog *d) {
        auto *dialog = static_cast<TDlgEdit *>(d);
        dialog->DBMemo1->setFocus();
        QTest::keyClicks(dialog->DBMemo1, QStringLiteral("xyz"));
        QTest::keyClick(dialog->DBMemo1, Qt::Key_Return);
    });
    QTest::keyClick(window.DB3DGrid1, Qt::Key_Return, Qt::ControlModifier);
    EXPECT_TRUE(window.isVisible()); // Ctrl+Enter edits; it does not close the window
    EXPECT_EQ(table.State(), TDataSetState::Browse);
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("a"));
}

TEST_F(StringTableWindow, InsertBesideAnEmptyIdentifierShowsTheErrorAndOpensNoDialog)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QString(), {QStringLiteral("no id yet")});
    Add(table, QStringLiteral("IDS_A"), {QStringLiteral("a")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    int opened = 0;
    OnNextModal([&](QDialog *d) {
        ++opened;
        d->reject();
    }, 300);
    QTest::keyClick(window.DB3DGrid1, Qt::Key_Insert);
    QTest::qWait(400);
    EXPECT_EQ(opened, 0);
    EXPECT_EQ(Dialogs.log, QStringList{QStringLiteral("error: Key violation.")});
    EXPECT_EQ(table.State(), TDataSetState::Browse);
    EXPECT_EQ(table.RecordCount(), 2);
    EXPECT_EQ(window.DB3DGrid1->model()->rowCount(), 2);
}

TEST_F(StringTableWindow, DuplicateIdentifierKeepsTheDialogOpenUntilCorrected)
{
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QStringLiteral("IDS_A"), {QStringLiteral("a")});
    Add(table, QStringLiteral("IDS_B"), {QStringLiteral("b")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    ASSERT_TRUE(table.Locate(QStringLiteral("idst"), QStringLiteral("IDS_B")));
    bool openAfterRefusal = false;
    TDataSetState stateAfterRefusal = TDataSetState::Inactive;
    OnNextModal([&](QDialog *d) {
        auto *dialog = static_cast<TDlgEdit *>(d);
        dialog->DBEdit1->setText(QStringLiteral("IDS_A"));
        dialog->DBMemo1->setPlainText(QStringLiteral("bee"));
        dialog->Button1->click();
        openAfterRefusal = dialog->isVisible();
        stateAfterRefusal = table.State();
        dialog->DBEdit1->setText(QStringLiteral("IDS_C"));
        dialog->Button1->click();
    });
    window.Edit1->trigger();
    EXPECT_TRUE(openAfterRefusal);
    EXPECT_EQ(stateAfterRefusal, TDataSetState::Edit);
    EXPECT_EQ(Dialogs.log, QStringList{QStringLiteral("error: Key violation.")});
    EXPECT_EQ(table.State(), TDataSetState::Browse);
    QStringList ids;
    for (table.First(); !table.Eof(); table.Next())
        ids << Current(table) + QLatin1Char('=') + Current(table, QStringLiteral("L1"));
    EXPECT_EQ(ids, QStringList({QStringLiteral("IDS_A=a"), QStringLiteral("IDS_C=bee")}));
}

TEST_F(StringTableWindow, ChangingTheLanguageInTheDialogPostsAndEditsTheOtherText)
{
    Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("L2"), QStringLiteral("Spanish"));
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QStringLiteral("IDS_A"), {QStringLiteral("Hello"), QStringLiteral("Hola")});
    TLDBrowse window(nullptr, Services());
    ShowActive(window);
    QString second;
    OnNextModal([&](QDialog *d) {
        auto *dialog = static_cast<TDlgEdit *>(d);
        dialog->DBMemo1->setPlainText(QStringLiteral("Hi"));
        dialog->ComboBox1->setFocus();
        QTest::keyClick(dialog->ComboBox1, Qt::Key_Down);
        second = dialog->DBMemo1->toPlainText();
        dialog->DBMemo1->setPlainText(QStringLiteral("Buenas"));
        QTest::keyClick(dialog->DBMemo1, Qt::Key_Escape);
    });
    window.Edit1->trigger();
    EXPECT_EQ(second, QStringLiteral("Hola"));
    // The change of language posted "Hi"; Esc dropped "Buenas".
    EXPECT_EQ(Current(table, QStringLiteral("L1")), QStringLiteral("Hi"));
    EXPECT_EQ(Current(table, QStringLiteral("L2")), QStringLiteral("Hola"));
}

TEST_F(StringTableWindow, SetLanguagesStoresTheNamesAndLeavesNoSelection)
{
    TLDBrowse window(nullptr, Services());
    OnNextModal([](QDialog *d) {
        d->findChild<QLineEdit *>(QStringLiteral("Edit3"))->setText(QStringLiteral("Italiano"));
        QTest::mouseClick(d->findChild<QPushButton *>(QStringLiteral("Button1")), Qt::LeftButton);
    });
    QTest::mouseClick(window.btnSetLang, Qt::LeftButton);
    EXPECT_EQ(window.ComboBox1->itemText(2), QStringLiteral("Italiano"));
    EXPECT_EQ(window.ComboBox1->count(), 7);
    EXPECT_EQ(window.ComboBox1->currentIndex(), -1);
    EXPECT_EQ(window.CurLang, 0);
    EXPECT_EQ(Stored(QStringLiteral("L3")), QStringLiteral("Italiano"));
}

} // namespace

namespace {

// Every file below the project with a digest of its bytes, the table's own
// files aside.
std::string Snapshot(const QString &dir)
{
    QStringList files;
    QDirIterator it(dir, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile f(it.next());
        if (QFileInfo(f).fileName().startsWith(QStringLiteral("language.db")))
            continue;
        const QByteArray bytes = f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<unreadable>");
        files << f.fileName().mid(dir.size()) + QLatin1Char(' ')
                + QCryptographicHash::hash(bytes, QCryptographicHash::Sha1).toHex();
    }
    files.sort();
    return files.join(QLatin1Char('\n')).toStdString();
}

// An identifier the unit could not declare stops "Compile Resource" in both
// variants before any file is written, backed up or compiled, and the
// message names each such row.
TEST_F(StringTableWindow, CompileRefusesIdentifiersThatAreNoPascalIdentifiersAndTouchesNothing)
{
    Registry::writeString(HKEY::CurrentUser, Key, QStringLiteral("L1"), QStringLiteral("English"));
    OpenOwnTable();
    TTable &table = Data->Table1;
    Add(table, QStringLiteral("IDS_OK_1"), {QStringLiteral("fine")});
    Add(table, QString(), {QStringLiteral("no identifier")});
    Add(table, QStringLiteral("2ND"), {QStringLiteral("starts with a digit")});
    Add(table, QStringLiteral("IDS-DASH"), {QStringLiteral("a dash")});
    Add(table, QStringLiteral("BEGIN"), {QStringLiteral("a reserved word")});
    Add(table, QStringLiteral("LANGEX"), {QStringLiteral("the unit's own function")});
    Add(table, QStringLiteral("_A\u00d1O"), {QStringLiteral("not ASCII")});
    Add(table, QStringLiteral("_UNDER"), {QStringLiteral("fine too")});
    // What earlier runs left.
    for (const char *name : {"/LANG/Englisty.res", "/LANG/Englisty.rc", "/LANG/Englisty/Englisty.res",
                             "/language.pas"}) {
        QDir().mkpath(QFileInfo(ProjectDir() + QLatin1String(name)).path());
        QFile f(ProjectDir() + QLatin1String(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(QByteArray("earlier ") + name);
    }
    const std::string before = Snapshot(ProjectDir());

    TLDBrowse window(nullptr, Services());
    window.ProjectDir = ProjectDir();
    ShowActive(window);
    auto *compile = window.findChild<QPushButton *>(QStringLiteral("btnCompile"));
    ASSERT_TRUE(compile);
    for (const bool library : {false, true}) {
        window.CheckBox1->setChecked(library);
        Dialogs.log.clear();
        QTest::mouseClick(compile, Qt::LeftButton);
        ASSERT_EQ(Dialogs.log.size(), 1) << Dialogs.log.join('\n').toStdString();
        const QString shown = Dialogs.log.first();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("error: ") + LoadStr(txt::NotPascalIdentifiers).section('%', 0, 0)))
            << shown.toStdString();
        const QStringList rows = shown.section('\n', 1).split('\n');
        EXPECT_EQ(rows, QStringList({"\"\" (no identifier)", "\"2ND\" (starts with a digit)",
                                     "\"BEGIN\" (a reserved word)", "\"IDS-DASH\" (a dash)",
                                     "\"LANGEX\" (the unit's own function)",
                                     QStringLiteral("\"_A\u00d1O\" (not ASCII)")}))
            << shown.toStdString();
        EXPECT_EQ(Snapshot(ProjectDir()), before) << "library: " << library;
    }
}

} // namespace
