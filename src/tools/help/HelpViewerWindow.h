// The quorbel-help window: one page of a help file at a time, with Back,
// Contents and a keyword index; pop-ups in a small frameless window that
// the next click closes. It answers other quorbel-help calls of the same
// user as the window class QuorbelHelpViewer (see HelpRequest.h).
//
// Components (objectName): BackButton, ContentsButton, IndexButton,
// TopicView (the page), IndexPanel with KeywordEdit, KeywordList and
// TopicChoiceList (the topics of a keyword that names several),
// MessagesList (the compiler's messages, shown when it had errors),
// StatusLine (the status bar, where errors are told), and PopupWindow
// with its page PopupView.
#pragma once

#include "HelpDocument.h"
#include "HelpRequest.h"
#include "WindowMessages.h"

#include <QMainWindow>
#include <QTextBrowser>

#include <memory>

class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QToolButton;

// A page of the shown help file; its pictures come from the file's index.
class THelpTopicView : public QTextBrowser {
    Q_OBJECT
public:
    explicit THelpTopicView(QWidget *parent = nullptr);
    void ShowPage(const std::shared_ptr<const THelpDocument> &doc, const QString &id);

protected:
    QVariant loadResource(int type, const QUrl &name) override;

private:
    std::shared_ptr<const THelpDocument> FDoc;
};

// A pop-up topic: a frameless window that any click, inside too, closes; a
// click on a link in it hands the link on. A frame around the page, since
// only a plain widget closes itself on a click outside.
class THelpPopup : public QFrame {
    Q_OBJECT
public:
    explicit THelpPopup(QWidget *parent);
    void ShowAt(const std::shared_ptr<const THelpDocument> &doc, const QString &id, const QPoint &where);

signals:
    void LinkPicked(const QUrl &url);
    void Closed();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void hideEvent(QHideEvent *event) override;

private:
    THelpTopicView *PopupView;
};

class THelpViewerWindow : public QMainWindow {
    Q_OBJECT
    Q_CLASSINFO("WindowClass", "QuorbelHelpViewer")
public:
    explicit THelpViewerWindow(QWidget *parent = nullptr);
    ~THelpViewerWindow() override;

    // Answers other quorbel-help calls; false when another viewer does.
    bool Listen(QString *error = nullptr);
    // Opens the request's file (again when it changed on disk) and shows
    // what it asks for. False, with the reason in the status line, when the
    // file or the topic is not there.
    bool Open(const THelpRequest &request);

    std::shared_ptr<const THelpDocument> Document() const { return FDoc; }
    QString CurrentTopic() const { return FCurrent; }
    bool ShowTopic(const QString &id, bool remember = true);
    void Back();
    void ShowContents();
    void ShowIndex();
    void ShowPopup(const QString &id);

signals:
    // The pop-up went away; quorbel-help -popup ends then.
    void PopupClosed();

private:
    bool Load(const QString &path);
    void Error(const QString &text);
    void FollowLink(const QUrl &url);
    void FillKeywords();
    void FilterKeywords(const QString &text);
    void PickKeyword(const QString &keyword);
    qint64 HandOver(const WindowMessages::TMessage &message);

    std::shared_ptr<const THelpDocument> FDoc;
    QString FCurrent;
    QStringList FHistory;
    bool FKeywordsFilled = false;

    QToolButton *BackButton;
    QToolButton *ContentsButton;
    QToolButton *IndexButton;
    THelpTopicView *TopicView;
    QWidget *IndexPanel;
    QLineEdit *KeywordEdit;
    QListWidget *KeywordList;
    QListWidget *TopicChoiceList;
    QListWidget *MessagesList;
    THelpPopup *PopupWindow = nullptr;
    WindowMessages::TMessageListener FListener;
};
