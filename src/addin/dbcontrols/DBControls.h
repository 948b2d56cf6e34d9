// Controls bound to one field of a data source's current record: the
// language and help tables' edit dialogs are made of these.
#pragma once

#include "TableStore.h"

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>

#include <functional>

// Keeps a control's text and one field of a data source's current record
// alike: the field's text is loaded whenever the record, its state or the
// field changes; the control writes back only when asked (UpdateRecord),
// as the dialog does before each post.
class TFieldLink : public QObject {
    Q_OBJECT
public:
    TFieldLink(QObject *parent, std::function<QString()> read, std::function<void(const QString &)> show);

    void SetDataSource(TDataSource *source);
    void SetDataField(const QString &fieldName);
    const QString &DataField() const { return FFieldName; }
    // The bound field; nullptr when unbound or closed.
    TField *Field() const;
    void Load();
    // Writes the control's text into the field when the record is being
    // edited and the text differs.
    void UpdateRecord();

private:
    void Attach();

    std::function<QString()> FRead;
    std::function<void(const QString &)> FShow;
    TDataSource *FSource = nullptr;
    QPointer<TDataSet> FDataSet;
    QString FFieldName;
};

class TDBEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDBEdit(QWidget *parent = nullptr);
    TFieldLink Link;

    std::function<void()> OnEnter;
    std::function<void()> OnExit;

protected:
    void focusInEvent(QFocusEvent *event) override;
    void focusOutEvent(QFocusEvent *event) override;
};

// Multi-line box whose text never takes a line break or a tab: typed ones
// are refused, pasted ones dropped.
class TDBMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TDBMemo(QWidget *parent = nullptr);
    TFieldLink Link;

protected:
    void keyPressEvent(QKeyEvent *event) override;
    void insertFromMimeData(const QMimeData *source) override;
};

// Check box bound to a Boolean field; ValueChecked and ValueUnchecked are
// the texts the field shows for its two states.
class TDBCheckBox : public QCheckBox {
    Q_OBJECT
public:
    explicit TDBCheckBox(QWidget *parent = nullptr);
    TFieldLink Link;
    QString ValueChecked = QStringLiteral("Verdadero");
    QString ValueUnchecked = QStringLiteral("Falso");
    // What the box writes into the field for a state.
    static QString FieldText(bool checked);
};

// Multi-line text bound to a memo field; line breaks are part of the text.
class TDBRichMemo : public QPlainTextEdit {
    Q_OBJECT
public:
    explicit TDBRichMemo(QWidget *parent = nullptr);
    TFieldLink Link;
    bool Loading = false; // the field's text is being shown, nobody typed
};

// Read-only text of a field.
class TDBText : public QLabel {
    Q_OBJECT
public:
    explicit TDBText(QWidget *parent = nullptr);
    TFieldLink Link;
};

// Whether the data set's current record is being edited or inserted.
bool Editing(const TDataSet *data);
// What a one-line text box may hold: no carriage return, line feed or tab.
QString WithoutBreaks(const QString &text);
