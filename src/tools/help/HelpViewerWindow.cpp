#include "HelpViewerWindow.h"

#include <QApplication>
#include <QCursor>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QScreen>
#include <QShortcut>
#include <QSplitter>
#include <QStatusBar>
#include <QTextDocument>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

constexpr int PopupWidth = 360;
constexpr int PopupMaxHeight = 420;

void Paint(QWidget *view, const THelpDocument &doc)
{
    QPalette p = view->palette();
    p.setColor(QPalette::Base, doc.Background());
    p.setColor(QPalette::Text, doc.TextColor());
    view->setPalette(p);
}

} // namespace

THelpTopicView::THelpTopicView(QWidget *parent) : QTextBrowser(parent)
{
    setOpenLinks(false);
    setOpenExternalLinks(false);
}

void THelpTopicView::ShowPage(const std::shared_ptr<const THelpDocument> &doc, const QString &id)
{
    FDoc = doc;
    Paint(this, *doc);
    document()->setDefaultStyleSheet(doc->StyleSheet());
    setHtml(doc->PageHtml(id));
}

QVariant THelpTopicView::loadResource(int type, const QUrl &name)
{
    if (type == QTextDocument::ImageResource && name.scheme() == QLatin1String("bm") && FDoc) {
        const QImage image = FDoc->Picture(name.path());
        if (!image.isNull())
            return image;
    }
    return QTextBrowser::loadResource(type, name);
}

THelpPopup::THelpPopup(QWidget *parent) : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint)
{
    setObjectName(QStringLiteral("PopupWindow"));
    setFrameShape(QFrame::Box);
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(1, 1, 1, 1);
    PopupView = new THelpTopicView(this);
    PopupView->setObjectName(QStringLiteral("PopupView"));
    PopupView->setFrameShape(QFrame::NoFrame);
    PopupView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    PopupView->viewport()->installEventFilter(this);
    layout->addWidget(PopupView);
}

void THelpPopup::ShowAt(const std::shared_ptr<const THelpDocument> &doc, const QString &id, const QPoint &where)
{
    PopupView->ShowPage(doc, id);
    QPalette p = palette();
    p.setColor(QPalette::Window, doc->Background());
    setPalette(p);
    PopupView->document()->setTextWidth(PopupWidth);
    const int height = qMin(int(PopupView->document()->size().height()) + 4, PopupMaxHeight);
    resize(PopupWidth + 4, height);
    // Kept on the screen the pointer is on.
    QPoint at = where;
    if (const QScreen *screen = QGuiApplication::screenAt(where)) {
        const QRect area = screen->availableGeometry();
        at.setX(qBound(area.left(), at.x(), qMax(area.left(), area.right() - width())));
        at.setY(qBound(area.top(), at.y(), qMax(area.top(), area.bottom() - height)));
    }
    move(at);
    show();
}

bool THelpPopup::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == PopupView->viewport() && event->type() == QEvent::MouseButtonPress) {
        const QString anchor = PopupView->anchorAt(static_cast<QMouseEvent *>(event)->position().toPoint());
        close();
        if (!anchor.isEmpty())
            emit LinkPicked(QUrl(anchor));
        return true;
    }
    return QFrame::eventFilter(watched, event);
}

void THelpPopup::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QFrame::keyPressEvent(event);
}

void THelpPopup::hideEvent(QHideEvent *event)
{
    QFrame::hideEvent(event);
    emit Closed();
}

THelpViewerWindow::THelpViewerWindow(QWidget *parent)
    : QMainWindow(parent),
      FListener(HelpViewerClass, [this](const WindowMessages::TMessage &m) { return HandOver(m); })
{
    setObjectName(QStringLiteral("HelpViewer"));
    setWindowTitle(QStringLiteral("Help"));
    resize(640, 520);

    auto *bar = addToolBar(QStringLiteral("Buttons"));
    bar->setObjectName(QStringLiteral("ButtonBar"));
    bar->setMovable(false);
    const auto button = [&](const QString &name, const QString &text) {
        auto *b = new QToolButton(bar);
        b->setObjectName(name);
        b->setText(text);
        b->setToolButtonStyle(Qt::ToolButtonTextOnly);
        bar->addWidget(b);
        return b;
    };
    ContentsButton = button(QStringLiteral("ContentsButton"), QStringLiteral("&Contents"));
    IndexButton = button(QStringLiteral("IndexButton"), QStringLiteral("&Index"));
    BackButton = button(QStringLiteral("BackButton"), QStringLiteral("&Back"));
    BackButton->setEnabled(false);
    connect(ContentsButton, &QToolButton::clicked, this, &THelpViewerWindow::ShowContents);
    connect(IndexButton, &QToolButton::clicked, this, [this] {
        if (IndexPanel->isVisible())
            IndexPanel->hide();
        else
            ShowIndex();
    });
    connect(BackButton, &QToolButton::clicked, this, &THelpViewerWindow::Back);
    auto *back = new QShortcut(QKeySequence(QKeySequence::Back), this);
    connect(back, &QShortcut::activated, this, &THelpViewerWindow::Back);

    auto *split = new QSplitter(Qt::Horizontal, this);
    IndexPanel = new QWidget(split);
    IndexPanel->setObjectName(QStringLiteral("IndexPanel"));
    auto *indexLayout = new QVBoxLayout(IndexPanel);
    indexLayout->setContentsMargins(0, 0, 0, 0);
    auto *label = new QLabel(QStringLiteral("&Type a keyword:"), IndexPanel);
    KeywordEdit = new QLineEdit(IndexPanel);
    KeywordEdit->setObjectName(QStringLiteral("KeywordEdit"));
    label->setBuddy(KeywordEdit);
    KeywordList = new QListWidget(IndexPanel);
    KeywordList->setObjectName(QStringLiteral("KeywordList"));
    TopicChoiceList = new QListWidget(IndexPanel);
    TopicChoiceList->setObjectName(QStringLiteral("TopicChoiceList"));
    TopicChoiceList->hide();
    indexLayout->addWidget(label);
    indexLayout->addWidget(KeywordEdit);
    indexLayout->addWidget(KeywordList, 3);
    indexLayout->addWidget(TopicChoiceList, 1);
    IndexPanel->hide();
    connect(KeywordEdit, &QLineEdit::textEdited, this, &THelpViewerWindow::FilterKeywords);
    connect(KeywordEdit, &QLineEdit::returnPressed, this, [this] {
        if (QListWidgetItem *item = KeywordList->currentItem(); item && !item->isHidden())
            PickKeyword(item->text());
    });
    connect(KeywordList, &QListWidget::itemActivated, this, [this](QListWidgetItem *item) { PickKeyword(item->text()); });
    connect(KeywordList, &QListWidget::itemClicked, this, [this](QListWidgetItem *item) { PickKeyword(item->text()); });
    const auto choose = [this](QListWidgetItem *item) { ShowTopic(item->data(Qt::UserRole).toString()); };
    connect(TopicChoiceList, &QListWidget::itemActivated, this, choose);
    connect(TopicChoiceList, &QListWidget::itemClicked, this, choose);

    auto *pageSplit = new QSplitter(Qt::Vertical, split);
    TopicView = new THelpTopicView(pageSplit);
    TopicView->setObjectName(QStringLiteral("TopicView"));
    connect(TopicView, &QTextBrowser::anchorClicked, this, &THelpViewerWindow::FollowLink);
    MessagesList = new QListWidget(pageSplit);
    MessagesList->setObjectName(QStringLiteral("MessagesList"));
    MessagesList->hide();
    pageSplit->setStretchFactor(0, 4);
    pageSplit->setStretchFactor(1, 1);
    split->setStretchFactor(1, 1);
    setCentralWidget(split);

    statusBar()->setObjectName(QStringLiteral("StatusLine"));
}

THelpViewerWindow::~THelpViewerWindow()
{
    FListener.Close();
}

bool THelpViewerWindow::Listen(QString *error)
{
    return FListener.Listen(error);
}

void THelpViewerWindow::Error(const QString &text)
{
    statusBar()->showMessage(text);
}

bool THelpViewerWindow::Load(const QString &path)
{
    // Kept when the file is the same: each call of hcw rewrites it, and then
    // it is read again.
    const QFileInfo info(path);
    if (FDoc && FDoc->Path() == path && info.lastModified() == FDoc->Modified() && info.size() == FDoc->Size())
        return true;
    try {
        FDoc = std::make_shared<const THelpDocument>(THelpDocument::Load(path));
    } catch (const EHelpFile &e) {
        Error(e.message());
        if (!FDoc)
            TopicView->setPlainText(e.message());
        return false;
    }
    FCurrent.clear();
    FHistory.clear();
    BackButton->setEnabled(false);
    FKeywordsFilled = false;
    KeywordList->clear();
    TopicChoiceList->clear();
    TopicChoiceList->hide();
    if (IndexPanel->isVisible())
        FillKeywords();
    MessagesList->clear();
    if (FDoc->ErrorCount() > 0) {
        for (const THelpMessage &m : FDoc->Messages()) {
            auto *item = new QListWidgetItem(m.Format(), MessagesList);
            if (m.Error)
                item->setForeground(Qt::red);
        }
    }
    MessagesList->setVisible(MessagesList->count() > 0);
    setWindowTitle(FDoc->Title().isEmpty() ? info.fileName() : FDoc->Title());
    return true;
}

bool THelpViewerWindow::Open(const THelpRequest &request)
{
    const QString path = QFileInfo(request.File).absoluteFilePath();
    statusBar()->clearMessage();
    if (!Load(path))
        return false;
    const QString file = FDoc->Path();
    switch (request.Mode) {
    case THelpMode::Contents:
        ShowContents();
        return true;
    case THelpMode::Context:
    case THelpMode::Popup: {
        bool ok = false;
        const qint64 number = request.Argument.trimmed().toLongLong(&ok);
        const QString id = ok ? FDoc->IdForContext(number) : QString();
        if (id.isEmpty()) {
            if (FCurrent.isEmpty())
                ShowContents();
            Error(QStringLiteral("The help file %1 has no topic with the context number %2").arg(file, request.Argument));
            return false;
        }
        if (request.Mode == THelpMode::Popup) {
            ShowPopup(id);
            return true;
        }
        return ShowTopic(id);
    }
    case THelpMode::Keyword: {
        if (FCurrent.isEmpty())
            ShowContents();
        ShowIndex();
        KeywordEdit->setText(request.Argument);
        FilterKeywords(request.Argument);
        if (FDoc->TopicsForKeyword(request.Argument).isEmpty()) {
            Error(QStringLiteral("The help file %1 has no topic for the keyword \"%2\"").arg(file, request.Argument));
            return false;
        }
        PickKeyword(request.Argument);
        return true;
    }
    }
    return false;
}

bool THelpViewerWindow::ShowTopic(const QString &id, bool remember)
{
    if (!FDoc)
        return false;
    if (!FDoc->HasPage(id)) {
        Error(QStringLiteral("The help file %1 has no topic \"%2\"").arg(FDoc->Path(), id));
        return false;
    }
    if (remember && !FCurrent.isEmpty() && FCurrent != id) {
        FHistory.append(FCurrent);
        BackButton->setEnabled(true);
    }
    FCurrent = id;
    TopicView->ShowPage(FDoc, id);
    const THelpTopicInfo *topic = FDoc->Topic(id);
    const QString file = FDoc->Title().isEmpty() ? QFileInfo(FDoc->Path()).fileName() : FDoc->Title();
    setWindowTitle(topic && !topic->Title.isEmpty() ? file + QStringLiteral(" - ") + topic->Title : file);
    statusBar()->clearMessage();
    return true;
}

void THelpViewerWindow::Back()
{
    if (FHistory.isEmpty())
        return;
    ShowTopic(FHistory.takeLast(), false);
    BackButton->setEnabled(!FHistory.isEmpty());
}

void THelpViewerWindow::ShowContents()
{
    if (FDoc)
        ShowTopic(FDoc->ContentsId());
}

void THelpViewerWindow::ShowIndex()
{
    FillKeywords();
    IndexPanel->show();
    KeywordEdit->setFocus();
}

void THelpViewerWindow::ShowPopup(const QString &id)
{
    if (!FDoc)
        return;
    if (!FDoc->HasPage(id)) {
        Error(QStringLiteral("The help file %1 has no topic \"%2\"").arg(FDoc->Path(), id));
        return;
    }
    if (!PopupWindow) {
        PopupWindow = new THelpPopup(this);
        connect(PopupWindow, &THelpPopup::LinkPicked, this, [this](const QUrl &url) {
            // A jump from a pop-up opens in the window.
            FollowLink(url);
            if (!THelpDocument::LinkTarget(url).Popup) {
                show();
                raise();
            }
        });
        connect(PopupWindow, &THelpPopup::Closed, this, &THelpViewerWindow::PopupClosed);
    }
    PopupWindow->ShowAt(FDoc, id, QCursor::pos());
}

void THelpViewerWindow::FollowLink(const QUrl &url)
{
    const THelpLink link = THelpDocument::LinkTarget(url);
    if (link.Popup)
        ShowPopup(link.Id);
    else
        ShowTopic(link.Id);
}

void THelpViewerWindow::FillKeywords()
{
    // Filled when first asked for: a large file's list would slow its opening.
    if (FKeywordsFilled || !FDoc)
        return;
    FKeywordsFilled = true;
    KeywordList->addItems(FDoc->Keywords());
    FilterKeywords(KeywordEdit->text());
}

void THelpViewerWindow::FilterKeywords(const QString &text)
{
    QListWidgetItem *first = nullptr;
    const QString wanted = text.trimmed();
    for (int i = 0; i < KeywordList->count(); ++i) {
        QListWidgetItem *item = KeywordList->item(i);
        const bool shown = wanted.isEmpty() || item->text().contains(wanted, Qt::CaseInsensitive);
        item->setHidden(!shown);
        // An exact match wins over the first that contains the text.
        if (shown && (!first || (item->text().compare(wanted, Qt::CaseInsensitive) == 0
                                 && first->text().compare(wanted, Qt::CaseInsensitive) != 0)))
            first = item;
    }
    KeywordList->setCurrentItem(first);
    if (first)
        KeywordList->scrollToItem(first);
}

void THelpViewerWindow::PickKeyword(const QString &keyword)
{
    if (!FDoc)
        return;
    const QStringList ids = FDoc->TopicsForKeyword(keyword);
    TopicChoiceList->clear();
    TopicChoiceList->hide();
    if (ids.isEmpty()) {
        Error(QStringLiteral("The help file %1 has no topic for the keyword \"%2\"").arg(FDoc->Path(), keyword));
        return;
    }
    if (ids.size() == 1) {
        ShowTopic(ids.first());
        return;
    }
    for (const QString &id : ids) {
        const THelpTopicInfo *t = FDoc->Topic(id);
        auto *item = new QListWidgetItem(t && !t->Title.isEmpty() ? t->Title : id, TopicChoiceList);
        item->setData(Qt::UserRole, id);
    }
    TopicChoiceList->setCurrentRow(0);
    TopicChoiceList->show();
    statusBar()->showMessage(QStringLiteral("%1 topics for \"%2\": pick one").arg(ids.size()).arg(keyword));
}

qint64 THelpViewerWindow::HandOver(const WindowMessages::TMessage &message)
{
    if (message.Message != WindowMessages::WM_COPYDATA || message.Cut)
        return 0;
    const auto request = DecodeHelpRequest(message.WParam, message.Data);
    if (!request)
        return 0;
    const bool shown = Open(*request);
    if (request->Mode != THelpMode::Popup || !shown) {
        show();
        if (isMinimized())
            showNormal();
        raise();
        activateWindow();
    }
    return 1;
}
