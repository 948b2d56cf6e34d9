// String table window: the project's language table in a grid, the
// language settings kept in the registry, and the generators' button.
#pragma once

#include "core/AddinServices.h"

#include <QDateTime>
#include <QDialog>
#include <QPointer>

#include <functional>

class QAction;
class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTabWidget;
class QWidget;
class TAppExec;
class TDB3DGrid;
class TLogoImage;
class TSYS;
class TTable;
struct TLanguageGenSettings;

// The incremental search text of the string grid, one for the whole add-in.
QString &LanguageSearchText();

class TLDBrowse : public QDialog {
    Q_OBJECT
public:
    static constexpr int DefaultInitId = 1000;
    static QString RegistryKey(); // "Software\Borland\Delphi\2.0\ExpLang"

    TLDBrowse(QWidget *owner, const TAddinServices &services);
    ~TLDBrowse() override;

    int32_t InitId = DefaultInitId;
    int32_t CurLang = 0;
    QString ProjectDir;
    // What the command inserts for the current string; empty when the table
    // has none.
    QString ChosenCall() const;
    // The generators' clock for the "Generated at:" lines; empty: the system's.
    std::function<QDateTime()> Clock;
    // Milliseconds of a steady clock for the search's pause; empty: the system's.
    std::function<qint64()> KeyClock;
    // A pause this long between typed keys starts the search text afresh.
    static constexpr qint64 SearchPauseMs = 1000;

    QTabWidget *PageControl1;
    QWidget *TabSheet1, *TabSheet2;
    TDB3DGrid *DB3DGrid1;
    QLabel *Label1, *Label2, *Label3;
    QComboBox *ComboBox1;
    QLineEdit *Edit2;
    QPushButton *btnSetLang, *btnCompile;
    QCheckBox *CheckBox1;
    TLogoImage *Image1;
    QMenu *PopupMenu1;
    QAction *Edit1, *Insert1, *Delete1;
    // The exchange with translators' .po files, for the actual language.
    QAction *ExportPo1, *ImportPo1, *Untranslated1;
    TAppExec *AppExec1;

    // The seven language names, in order.
    QStringList LanguageNames() const;

    void LoadSettings();
    void SaveSettings();
    // True when the dialog closed with OK and the record was posted.
    bool EditCurrent();
    void BuildLanguageUnit();
    void BuildLanguageLibrary();

    void FormShow();
    bool FormKeyDown(QKeyEvent *event);
    void DB3DGrid1DblClick();
    bool DB3DGrid1KeyDown(QKeyEvent *event);
    void Edit1Click();
    void Insert1Click();
    void Delete1Click();
    void ExportPo1Click();
    void ImportPo1Click();
    void Untranslated1Click();
    void ComboBox1Exit();
    bool Edit2KeyPress(QKeyEvent *event);
    void Edit2Exit();
    void CheckBox1Exit();
    void btnSetLangClick();
    void btnCompileClick();
    void Image1Click();

protected:
    void showEvent(QShowEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // The shown language, which the .po commands work on; throws when none is.
    QString PoLanguage() const;
    // The .po file the user picks for the shown language (title: a text
    // number); empty when cancelled.
    QString AskPoFile(int title, const QString &language, bool save) const;
    void FormCreate();
    TTable *Table() const;
    TLanguageGenSettings GenSettings() const;
    // Shows the current language's text and the identifier, nothing else.
    void ShowCurrentLanguage();
    // Moves to the record nearest the search text on the table's index.
    void Search();
    // Orders the grid by the language it shows.
    void UseCurrentLanguageIndex();
    qint64 KeyTime() const;

    TAddinServices FServices;
    QPointer<TSYS> FData;
    qint64 FLastSearchKey = 0;
};

// What "String &Table" inserts for a string: "LangEx(" + identifier + "{" +
// the text (cut to 14 characters and "..." beyond 15) + "})".
QString LangExCall(const QString &identifier, const QString &text);
