#include "FTracew.h"

#include "TaskIcon.h"

#include "core/GuideKey.h"
#include "core/Logo.h"
#include "core/StringTable.h"
#include "core/FormKit.h"

#include "CodePage.h"

#include <QAction>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QHeaderView>
#include <QTableView>
#include <QMenu>
#include <QPixmap>
#include <QStatusBar>
#include <QStyle>
#include <QToolButton>
#include <QVBoxLayout>

#include <cstring>

#include "TraceIcon.xpm"

// ------------------------------------------------------------------- lines

TTraceLines::TTraceLines(QObject *parent) : QAbstractListModel(parent)
{
    FPublisher.setSingleShot(true);
    FPublisher.setInterval(PublishMs);
    connect(&FPublisher, &QTimer::timeout, this, &TTraceLines::Publish);
}

int TTraceLines::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FPublished);
}

QModelIndex TTraceLines::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || size_t(row) >= FPublished || column != 0 || parent.isValid())
        return {};
    return createIndex(row, column);
}

QVariant TTraceLines::data(const QModelIndex &index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || size_t(index.row()) >= FPublished)
        return {};
    return FLines[size_t(index.row())];
}

void TTraceLines::Append(const QString &line)
{
    FLines.push_back(line);
    if (!FPublisher.isActive())
        FPublisher.start();
}

void TTraceLines::Publish()
{
    FPublisher.stop();
    if (FPublished == FLines.size())
        return;
    beginInsertRows({}, int(FPublished), int(FLines.size() - 1));
    FPublished = FLines.size();
    endInsertRows();
}

void TTraceLines::Clear()
{
    FPublisher.stop();
    beginResetModel();
    FLines.clear();
    FLines.shrink_to_fit();
    FPublished = 0;
    endResetModel();
}

// ------------------------------------------------------------------ window

TFTrace::TFTrace(const TAddinServices &services, QWidget *owner)
    : QWidget(owner, Qt::Window | Qt::WindowStaysOnTopHint), FServices(services),
      FListener(QStringLiteral("TFTrace"),
                [this](const WindowMessages::TMessage &m) { return TraceMessage(m); }),
      FDebugPipe([this](qint32 type, const QByteArray &text) { DebugMessage(type, text); })
{
    setObjectName(QStringLiteral("FTrace"));
    InstallGuideKey(this, services, GuideTraceWindow);
    resize(435, 157);

    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    Panel1 = new QWidget(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFixedHeight(24);
    auto *bar = new QHBoxLayout(Panel1);
    bar->setContentsMargins(2, 0, 2, 0);
    btnBorra = NewSpeedButton(Panel1, "btnBorra", style()->standardIcon(QStyle::SP_DialogResetButton));
    btnBorra->setFocusPolicy(Qt::TabFocus); // unlike other speed buttons, Tab has always reached it
    bar->addWidget(btnBorra);
    bar->addStretch();
    Image1 = new TLogoImage(Panel1);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setMaximumHeight(22);
    Image1->setScaledContents(true);
    bar->addWidget(Image1);
    layout->addWidget(Panel1);

    // A one-column table without headers or grid, looking like a list: a
    // list view lays out every row again for each batch of new rows, which
    // slows the window as the lines grow; rows of fixed height cost a table
    // nothing per row.
    ListBox1 = new QTableView(this);
    ListBox1->setObjectName(QStringLiteral("ListBox1"));
    ListBox1->setModel(&FLines);
    ListBox1->setShowGrid(false);
    ListBox1->setWordWrap(false);
    ListBox1->setSelectionBehavior(QAbstractItemView::SelectRows);
    ListBox1->setSelectionMode(QAbstractItemView::SingleSelection);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->horizontalHeader()->hide();
    ListBox1->horizontalHeader()->setStretchLastSection(true);
    QHeaderView *rows = ListBox1->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(ListBox1->fontMetrics().height() + 2);
    layout->addWidget(ListBox1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    layout->addWidget(StatusBar1);

    TaskIcon1 = new TTaskIcon(this, FServices.NotifyIcon);
    TaskIcon1->setObjectName(QStringLiteral("TaskIcon1"));
    setWindowIcon(QIcon(QPixmap(TraceIcon_xpm)));
    TaskIcon1->SetIcon(windowIcon());

    PopupMenu1 = new QMenu(this);
    PopupMenu1->setObjectName(QStringLiteral("PopupMenu1"));
    MostrarVentana1 = PopupMenu1->addAction(QString());
    MostrarVentana1->setObjectName(QStringLiteral("MostrarVentana1"));
    OcultarVentana1 = PopupMenu1->addAction(QString());
    OcultarVentana1->setObjectName(QStringLiteral("OcultarVentana1"));
    PopupMenu1->addSeparator()->setObjectName(QStringLiteral("N1"));
    CerrarVentana1 = PopupMenu1->addAction(QString());
    CerrarVentana1->setObjectName(QStringLiteral("CerrarVentana1"));

    connect(btnBorra, &QToolButton::clicked, this, &TFTrace::btnBorraClick);
    connect(Image1, &TLogoImage::clicked, this, &TFTrace::Image1Click);
    connect(TaskIcon1, &TTaskIcon::OnClick, this, &TFTrace::TaskIcon1Click);
    connect(TaskIcon1, &TTaskIcon::OnRightClick, this,
            [this](TTaskIcon *, Qt::MouseButton, Qt::KeyboardModifiers, int x, int y) {
                TaskIcon1RightClick(x, y);
            });
    connect(MostrarVentana1, &QAction::triggered, this, &TFTrace::MostrarVentana1Click);
    connect(OcultarVentana1, &QAction::triggered, this, &TFTrace::OcultarVentana1Click);
    connect(CerrarVentana1, &QAction::triggered, this, &TFTrace::CerrarVentana1Click);

    // Key preview: the window sees keys before the focused control.
    InstallKeyPreview(this, {ListBox1, btnBorra}, [this](QKeyEvent *event) { return FormKeyDown(event); });

    FListener.SetOnListen([this] { FDebugPipe.Serve(); });
    FormCreate();
}

TFTrace::~TFTrace()
{
    // The FIFO first: a window waiting for this one's socket takes both.
    FDebugPipe.Stop();
    FListener.Close();
}

void TFTrace::FormCreate()
{
    setWindowTitle(LoadStr(txt::TraceWindow));
    MostrarVentana1->setText(LoadStr(txt::ShowTrace));
    OcultarVentana1->setText(LoadStr(txt::HideTrace));
    CerrarVentana1->setText(LoadStr(txt::CloseTrace));
    btnBorra->setToolTip(LoadStr(txt::Clean));
}

bool TFTrace::Receiving() const
{
    return FListener.IsListening();
}

qint64 TFTrace::TraceMessage(const WindowMessages::TMessage &message)
{
    if (message.Message != WindowMessages::WM_COPYDATA)
        return 0;
    const char *bytes = message.Data.constData();
    const qsizetype size = qsizetype(strnlen(bytes, size_t(message.Data.size())));
    // The cut fell on a byte; the line ends with the last whole character.
    const bool cut = message.Cut && size == message.Data.size();
    QString line = cut ? DecodeCutText(bytes, size) : DecodeText(bytes, size);
    if (message.Cut)
        line += QStringLiteral(" [cut]");
    FLines.Append(line);
    return 0;
}

// A Free Pascal program's dbugintf message; plain debug text as it is, the
// other kinds named in front.
void TFTrace::DebugMessage(qint32 type, const QByteArray &text)
{
    const QString line = DecodeText(text);
    switch (type) {
    case TDebugServerPipe::TypeInformation:
        FLines.Append(line);
        break;
    case TDebugServerPipe::TypeWarning:
        FLines.Append(QStringLiteral("Warning: ") + line);
        break;
    case TDebugServerPipe::TypeError:
        FLines.Append(QStringLiteral("Error: ") + line);
        break;
    case TDebugServerPipe::TypeIdentify:
        FLines.Append(QStringLiteral("Start: ") + line);
        break;
    case TDebugServerPipe::TypeStop:
        FLines.Append(QStringLiteral("End: ") + line);
        break;
    default:
        FLines.Append(line);
        break;
    }
}

void TFTrace::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    // From the first showing on the window receives, hidden or not. While
    // another IDE's trace window receives, this one takes over once it goes;
    // each showing tries again what could not be had before.
    FListener.ListenOrWait();
    FDebugPipe.Serve();
    TaskIcon1->SetEnabled(true);
}

void TFTrace::closeEvent(QCloseEvent *event)
{
    TaskIcon1->SetEnabled(false);
    event->accept();
}

void TFTrace::keyPressEvent(QKeyEvent *event)
{
    if (!FormKeyDown(event))
        QWidget::keyPressEvent(event);
}

bool TFTrace::FormKeyDown(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape)
        return false;
    close();
    return true;
}

void TFTrace::ShowNow()
{
    show();
    repaint();
}

void TFTrace::btnBorraClick()
{
    FLines.Clear();
}

void TFTrace::Image1Click()
{
    ShowAbout(FServices.dialogs());
}

void TFTrace::TaskIcon1Click()
{
    if (isVisible())
        hide();
    else
        ShowNow();
}

void TFTrace::TaskIcon1RightClick(int x, int y)
{
    PopupMenu1->popup(QPoint(x, y));
}

void TFTrace::MostrarVentana1Click()
{
    ShowNow();
}

void TFTrace::OcultarVentana1Click()
{
    hide();
}

void TFTrace::CerrarVentana1Click()
{
    close();
}
