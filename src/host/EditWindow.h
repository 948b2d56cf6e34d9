// The IDE's editor window: one tab per open file, the cursor's line and
// column in the status bar. Add-ins look for it by its class name.
#pragma once

#include <QMainWindow>

class QLabel;
class QTabWidget;

namespace qide {
class TCodeEditor;
}

class TEditWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit TEditWindow(QWidget *parent = nullptr);

    void addEditor(qide::TCodeEditor *editor);
    // Takes the editor out of the tabs and deletes it.
    void removeEditor(qide::TCodeEditor *editor);
    qide::TCodeEditor *currentEditor() const;
    QList<qide::TCodeEditor *> editors() const;
    // Makes the editor's tab current and brings the window to the front.
    void showEditor(qide::TCodeEditor *editor);

    QTabWidget *tabs() const { return FTabs; }
    QString statusText() const;
    // What the front file's editor cannot show or keep as the file has it.
    QString warningText() const;

signals:
    void closeRequested(qide::TCodeEditor *editor);
    void closeAllRequested();
    void currentEditorChanged(qide::TCodeEditor *editor);

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    void updateStatus();
    void updateTabTitle(qide::TCodeEditor *editor);

    QTabWidget *FTabs;
    QLabel *FPosition;
    QLabel *FModified;
    QLabel *FFormat;
    QLabel *FWarning;
};
