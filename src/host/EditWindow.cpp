#include "EditWindow.h"

#include "CodeEditor.h"
#include "SourceBuffer.h"

#include <QCloseEvent>
#include <QFileInfo>
#include <QLabel>
#include <QStatusBar>
#include <QTabWidget>

using qide::TCodeEditor;

TEditWindow::TEditWindow(QWidget *parent)
    : QMainWindow(parent, Qt::Window), FTabs(new QTabWidget(this)), FPosition(new QLabel(this)),
      FModified(new QLabel(this)), FFormat(new QLabel(this)), FWarning(new QLabel(this))
{
    setObjectName(QStringLiteral("EditWindow_0"));
    setWindowTitle(QStringLiteral("Editor"));
    FTabs->setObjectName(QStringLiteral("TabControl"));
    FTabs->setTabsClosable(true);
    FTabs->setMovable(true);
    FTabs->setDocumentMode(true);
    setCentralWidget(FTabs);

    FPosition->setObjectName(QStringLiteral("PositionLabel"));
    FModified->setObjectName(QStringLiteral("ModifiedLabel"));
    FFormat->setObjectName(QStringLiteral("FormatLabel"));
    FWarning->setObjectName(QStringLiteral("WarningLabel"));
    FWarning->setStyleSheet(QStringLiteral("color: #b00000"));
    FWarning->hide();
    FPosition->setMinimumWidth(90);
    FModified->setMinimumWidth(80);
    statusBar()->setObjectName(QStringLiteral("StatusBar"));
    statusBar()->addWidget(FPosition);
    statusBar()->addWidget(FModified);
    statusBar()->addWidget(FWarning, 1);
    statusBar()->addPermanentWidget(FFormat);

    connect(FTabs, &QTabWidget::tabCloseRequested, this, [this](int index) {
        if (auto *editor = qobject_cast<TCodeEditor *>(FTabs->widget(index)))
            emit closeRequested(editor);
    });
    connect(FTabs, &QTabWidget::currentChanged, this, [this] {
        updateStatus();
        emit currentEditorChanged(currentEditor());
    });
    resize(820, 460);
}

void TEditWindow::addEditor(TCodeEditor *editor)
{
    const int index = FTabs->addTab(editor, QFileInfo(editor->buffer()->fileName()).fileName());
    FTabs->setTabToolTip(index, editor->buffer()->fileName());
    connect(editor, &QPlainTextEdit::cursorPositionChanged, this, [this, editor] {
        if (editor == currentEditor())
            updateStatus();
    });
    connect(editor->document(), &QTextDocument::modificationChanged, this, [this, editor] {
        updateTabTitle(editor);
        if (editor == currentEditor())
            updateStatus();
    });
    connect(editor->buffer(), &qide::TSourceBuffer::saved, this, [this, editor] {
        if (editor == currentEditor())
            updateStatus();
    });
}

void TEditWindow::removeEditor(TCodeEditor *editor)
{
    const int index = FTabs->indexOf(editor);
    if (index >= 0)
        FTabs->removeTab(index);
    delete editor;
    updateStatus();
}

TCodeEditor *TEditWindow::currentEditor() const
{
    return qobject_cast<TCodeEditor *>(FTabs->currentWidget());
}

QList<TCodeEditor *> TEditWindow::editors() const
{
    QList<TCodeEditor *> list;
    for (int i = 0; i < FTabs->count(); ++i)
        if (auto *e = qobject_cast<TCodeEditor *>(FTabs->widget(i)))
            list << e;
    return list;
}

void TEditWindow::showEditor(TCodeEditor *editor)
{
    FTabs->setCurrentWidget(editor);
    if (!isVisible())
        show();
    raise();
    activateWindow();
    editor->setFocus();
}

QString TEditWindow::statusText() const
{
    return FPosition->text();
}

QString TEditWindow::warningText() const
{
    return FWarning->text();
}

void TEditWindow::updateTabTitle(TCodeEditor *editor)
{
    const int index = FTabs->indexOf(editor);
    if (index < 0)
        return;
    QString title = QFileInfo(editor->buffer()->fileName()).fileName();
    if (editor->document()->isModified())
        title += QLatin1Char('*');
    FTabs->setTabText(index, title);
}

void TEditWindow::updateStatus()
{
    TCodeEditor *editor = currentEditor();
    if (!editor) {
        FPosition->clear();
        FModified->clear();
        FFormat->clear();
        FWarning->clear();
        FWarning->hide();
        setWindowTitle(QStringLiteral("Editor"));
        return;
    }
    const TEditPos pos = editor->cursorPos();
    FPosition->setText(QStringLiteral("%1:%2").arg(pos.Line).arg(pos.Col));
    FModified->setText(editor->document()->isModified() ? QStringLiteral("Modified") : QString());
    const qide::TTextFormat &format = editor->buffer()->format();
    FFormat->setText(qide::EncodingName(format) + QStringLiteral(", ") + qide::LineEndName(format.lineEnd));
    setWindowTitle(editor->buffer()->fileName());
    const QString &problem = editor->buffer()->problem();
    FWarning->setText(problem.isEmpty() ? QString()
                                        : QStringLiteral("Warning: %1 %2. Saved without an edit, it keeps its bytes.")
                                              .arg(QFileInfo(editor->buffer()->fileName()).fileName(), problem));
    FWarning->setVisible(!problem.isEmpty());
}

void TEditWindow::closeEvent(QCloseEvent *event)
{
    // Closing the window closes its files; the IDE asks about unsaved ones
    // and hides the window once every tab is gone.
    event->ignore();
    emit closeAllRequested();
}
