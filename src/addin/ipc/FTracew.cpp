#include "FTracew.h"

#include "TaskIcon.h"

#include "core/GuideKey.h"
#include "core/Logo.h"
#include "core/StringTable.h"
#include "core/FormKit.h"

#include "CodePage.h"
#include "Registry.h"
#include "SafeFile.h"

#include "core/CommandEdge.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
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
#include <functional>

#include "TraceIcon.xpm"

// ------------------------------------------------------------------- lines

TTraceLines::TTraceLines(QObject *parent) : QAbstractTableModel(parent)
{
    FPublisher.setSingleShot(true);
    FPublisher.setInterval(PublishMs);
    connect(&FPublisher, &QTimer::timeout, this, &TTraceLines::Publish);
}

int TTraceLines::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : int(FShown.size() - FShownAt);
}

int TTraceLines::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 1 + int(FTimeShown) + int(FSenderShown);
}

QModelIndex TTraceLines::index(int row, int column, const QModelIndex &parent) const
{
    if (row < 0 || size_t(row) >= FShown.size() - FShownAt || column < 0
        || column > int(FTimeShown) + int(FSenderShown) || parent.isValid())
        return {};
    return createIndex(row, column);
}

qint64 TTraceLines::LineOfRow(int row) const
{
    if (row < 0 || size_t(row) >= FShown.size() - FShownAt)
        return -1;
    const qint64 number = FShown[FShownAt + size_t(row)];
    return number < FFirst ? -1 : number - FFirst;
}

QVariant TTraceLines::data(const QModelIndex &index, int role) const
{
    if (!index.isValid())
        return {};
    const qint64 line = LineOfRow(index.row());
    if (line < 0)
        return {}; // dropped; the view hears of it with the next batch
    if (role == Qt::BackgroundRole) {
        const QString &text = FLines[size_t(line)];
        for (const TTraceHighlight &rule : FHighlights)
            if (!rule.Text.isEmpty() && text.contains(rule.Text, Qt::CaseInsensitive))
                return rule.Colour;
        return {};
    }
    if (role != Qt::DisplayRole)
        return {};
    int column = index.column();
    if (!FTimeShown && column >= ColumnTime)
        ++column;
    if (!FSenderShown && column >= ColumnSender)
        ++column;
    const TInfo &info = FInfo[size_t(line)];
    switch (column) {
    case ColumnTime:
        return QDateTime::fromMSecsSinceEpoch(info.Time).toString(QStringLiteral("HH:mm:ss.zzz"));
    case ColumnSender: {
        const TSender &sender = FSenders[size_t(info.Sender)];
        return sender.Pid ? QStringLiteral("%1 (%2)").arg(sender.Name).arg(sender.Pid) : QString();
    }
    default:
        return FLines[size_t(line)];
    }
}

QVariant TTraceLines::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    if (!FTimeShown && section >= ColumnTime)
        ++section;
    if (!FSenderShown && section >= ColumnSender)
        ++section;
    switch (section) {
    case ColumnTime:
        return LoadStr(txt::TraceColumnTime);
    case ColumnSender:
        return LoadStr(txt::TraceColumnSender);
    default:
        return LoadStr(txt::TraceColumnText);
    }
}

int TTraceLines::SenderOf(qint64 pid, const QString &name)
{
    if (pid == 0)
        return 0;
    // A pid comes back with another program once the first has gone.
    const auto known = FSenderOfPid.constFind(pid);
    if (known != FSenderOfPid.cend() && FSenders[size_t(*known)].Name == name)
        return *known;
    FSenders.push_back({pid, name});
    const int sender = int(FSenders.size() - 1);
    FSenderOfPid.insert(pid, sender);
    return sender;
}

void TTraceLines::Append(const QString &line, qint64 senderPid, const QString &senderName)
{
    FLines.push_back(line);
    FInfo.push_back({QDateTime::currentMSecsSinceEpoch(), SenderOf(senderPid, senderName)});
    if (FCap > 0 && qsizetype(FLines.size()) > FCap) {
        FLines.pop_front();
        FInfo.pop_front();
        ++FFirst;
        ++FDropped;
    }
    if (!FPublisher.isActive())
        FPublisher.start();
}

bool TTraceLines::Matches(const QString &line) const
{
    if (FFilter.isEmpty())
        return true;
    if (FFilterRegex)
        return !FFilterExpression.isValid() || FFilterExpression.match(line).hasMatch();
    return line.contains(FFilter, Qt::CaseInsensitive);
}

void TTraceLines::Publish()
{
    FPublisher.stop();
    bool changed = false;
    // Rows of dropped lines leave the view first; they are its top rows.
    size_t gone = 0;
    while (FShownAt + gone < FShown.size() && FShown[FShownAt + gone] < FFirst)
        ++gone;
    if (gone > 0) {
        beginRemoveRows({}, 0, int(gone - 1));
        FShownAt += gone;
        if (FShownAt > 4096 && FShownAt * 2 > FShown.size()) {
            FShown.erase(FShown.begin(), FShown.begin() + qsizetype(FShownAt));
            FShownAt = 0;
        }
        endRemoveRows();
        changed = true;
    }
    const qint64 end = FFirst + qint64(FLines.size());
    if (!FPaused && FPublishedTo < end) {
        FNew.clear();
        for (qint64 n = std::max(FPublishedTo, FFirst); n < end; ++n)
            if (Matches(FLines[size_t(n - FFirst)]))
                FNew.push_back(n);
        FPublishedTo = end;
        if (!FNew.empty()) {
            const int rows = rowCount();
            beginInsertRows({}, rows, rows + int(FNew.size()) - 1);
            FShown.insert(FShown.end(), FNew.begin(), FNew.end());
            endInsertRows();
            changed = true;
        }
    }
    if (changed)
        emit Published();
}

void TTraceLines::Clear()
{
    FPublisher.stop();
    beginResetModel();
    FLines.clear();
    FLines.shrink_to_fit();
    FInfo.clear();
    FInfo.shrink_to_fit();
    FShown.clear();
    FShown.shrink_to_fit();
    FShownAt = 0;
    FFirst = FPublishedTo = 0;
    FDropped = 0;
    endResetModel();
    emit Published();
}

void TTraceLines::SetColumns(bool time, bool sender)
{
    if (time == FTimeShown && sender == FSenderShown)
        return;
    beginResetModel();
    FTimeShown = time;
    FSenderShown = sender;
    endResetModel();
}

bool TTraceLines::SetFilter(const QString &text, bool regex)
{
    QRegularExpression expression;
    if (regex) {
        expression.setPattern(text);
        expression.setPatternOptions(QRegularExpression::CaseInsensitiveOption);
    }
    const bool valid = !regex || expression.isValid();
    if (text == FFilter && regex == FFilterRegex)
        return valid;
    FFilter = text;
    FFilterRegex = regex;
    FFilterExpression = expression;
    Refilter();
    return valid;
}

void TTraceLines::Refilter()
{
    beginResetModel();
    FShown.clear();
    FShownAt = 0;
    const qint64 end = std::min(FPublishedTo, FFirst + qint64(FLines.size()));
    for (qint64 n = FFirst; n < end; ++n)
        if (Matches(FLines[size_t(n - FFirst)]))
            FShown.push_back(n);
    endResetModel();
    emit Published();
}

void TTraceLines::SetHighlights(std::vector<TTraceHighlight> rules)
{
    FHighlights = std::move(rules);
    if (rowCount() > 0)
        emit dataChanged(index(0, 0), index(rowCount() - 1, columnCount() - 1), {Qt::BackgroundRole});
}

void TTraceLines::SetPaused(bool paused)
{
    FPaused = paused;
    if (!paused)
        Publish();
}

void TTraceLines::SetCap(qsizetype cap)
{
    FCap = std::max<qsizetype>(cap, 0);
    if (FCap > 0 && qsizetype(FLines.size()) > FCap) {
        const qsizetype excess = qsizetype(FLines.size()) - FCap;
        FLines.erase(FLines.begin(), FLines.begin() + excess);
        FInfo.erase(FInfo.begin(), FInfo.begin() + excess);
        FFirst += excess;
        FDropped += excess;
        Publish();
    }
}

QString TTraceLines::Columns(size_t line) const
{
    QString text;
    const TInfo &info = FInfo[line];
    if (FTimeShown)
        text += QDateTime::fromMSecsSinceEpoch(info.Time).toString(QStringLiteral("HH:mm:ss.zzz")) + QLatin1Char('\t');
    if (FSenderShown) {
        const TSender &sender = FSenders[size_t(info.Sender)];
        if (sender.Pid)
            text += QStringLiteral("%1 (%2)").arg(sender.Name).arg(sender.Pid);
        text += QLatin1Char('\t');
    }
    return text + FLines[line];
}

QString TTraceLines::RowText(int row) const
{
    const qint64 line = LineOfRow(row);
    return line < 0 ? QString() : Columns(size_t(line));
}

QString TTraceLines::StoredText(size_t line) const
{
    return line < FLines.size() ? Columns(line) : QString();
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
    btnOptions = NewSpeedButton(Panel1, "btnOptions", style()->standardIcon(QStyle::SP_FileDialogDetailedView));
    bar->addWidget(btnOptions);
    FilterEdit = new QLineEdit(Panel1);
    FilterEdit->setObjectName(QStringLiteral("FilterEdit"));
    FilterEdit->setClearButtonEnabled(true);
    FilterEdit->setMaximumWidth(160);
    bar->addWidget(FilterEdit);
    FindEdit = new QLineEdit(Panel1);
    FindEdit->setObjectName(QStringLiteral("FindEdit"));
    FindEdit->setMaximumWidth(160);
    FindEdit->hide(); // until Ctrl+F
    bar->addWidget(FindEdit);
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
    ListBox1->setSelectionMode(QAbstractItemView::ExtendedSelection);
    ListBox1->setEditTriggers(QAbstractItemView::NoEditTriggers);
    ListBox1->horizontalHeader()->hide(); // shown with the columns
    ListBox1->horizontalHeader()->setStretchLastSection(true);
    ListBox1->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    QHeaderView *rows = ListBox1->verticalHeader();
    rows->hide();
    rows->setSectionResizeMode(QHeaderView::Fixed);
    rows->setDefaultSectionSize(ListBox1->fontMetrics().height() + 2);
    layout->addWidget(ListBox1, 1);

    StatusBar1 = new QStatusBar(this);
    StatusBar1->setObjectName(QStringLiteral("StatusBar1"));
    StatusBar1->setSizeGripEnabled(true);
    DroppedLabel = new QLabel(StatusBar1);
    DroppedLabel->setObjectName(QStringLiteral("DroppedLabel"));
    StatusBar1->addWidget(DroppedLabel);
    DroppedLabel->hide(); // while nothing was dropped
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

    OptionsMenu = new QMenu(this);
    OptionsMenu->setObjectName(QStringLiteral("OptionsMenu"));
    const auto option = [this](const char *name, bool checkable) {
        QAction *action = OptionsMenu->addAction(QString());
        action->setObjectName(QLatin1String(name));
        action->setCheckable(checkable);
        return action;
    };
    acTimeStamps = option("acTimeStamps", true);
    acSender = option("acSender", true);
    acAutoScroll = option("acAutoScroll", true);
    acPause = option("acPause", true);
    acRegex = option("acRegex", true);
    OptionsMenu->addSeparator();
    acHighlight = option("acHighlight", false);
    acCap = option("acCap", false);
    OptionsMenu->addSeparator();
    acFind = option("acFind", false);
    acCopy = option("acCopy", false);
    acSaveAll = option("acSaveAll", false);
    acSaveShown = option("acSaveShown", false);
    btnOptions->setMenu(OptionsMenu);
    btnOptions->setPopupMode(QToolButton::InstantPopup);

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

    connect(acTimeStamps, &QAction::toggled, this, [this] { ApplyColumns(); });
    connect(acSender, &QAction::toggled, this, [this] { ApplyColumns(); });
    connect(acAutoScroll, &QAction::toggled, this, [this](bool on) {
        SaveOption(QStringLiteral("AutoScroll"), QString::number(int(on)));
        if (on)
            ListBox1->scrollToBottom();
    });
    connect(acPause, &QAction::toggled, this, [this](bool on) {
        FLines.SetPaused(on);
        ShowStatus();
    });
    connect(acRegex, &QAction::toggled, this, [this] { ApplyFilter(); });
    connect(FilterEdit, &QLineEdit::textChanged, this, [this] { ApplyFilter(); });
    connect(acHighlight, &QAction::triggered, this, &TFTrace::EditHighlights);
    connect(acCap, &QAction::triggered, this, &TFTrace::EditCap);
    connect(acFind, &QAction::triggered, this, [this] {
        FindEdit->show();
        FindEdit->setFocus();
        FindEdit->selectAll();
    });
    connect(FindEdit, &QLineEdit::returnPressed, this, [this] { FindNext(); });
    connect(acCopy, &QAction::triggered, this, &TFTrace::CopySelection);
    connect(acSaveAll, &QAction::triggered, this, [this] { SaveLines(false); });
    connect(acSaveShown, &QAction::triggered, this, [this] { SaveLines(true); });
    connect(&FLines, &TTraceLines::Published, this, &TFTrace::LinesPublished);

    // Key preview: the window sees keys before the focused control.
    InstallKeyPreview(this, {ListBox1, btnBorra, btnOptions, FilterEdit, FindEdit},
                      [this](QKeyEvent *event) { return FormKeyDown(event); });

    FListener.SetOnListen([this] { FDebugPipe.Serve(); });
    FormCreate();
    LoadOptions();
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
    btnOptions->setToolTip(LoadStr(txt::TraceOptions));
    FilterEdit->setPlaceholderText(LoadStr(txt::TraceFilter));
    FindEdit->setPlaceholderText(LoadStr(txt::TraceFind));
    acTimeStamps->setText(LoadStr(txt::TraceTimeStamps));
    acSender->setText(LoadStr(txt::TraceSender));
    acAutoScroll->setText(LoadStr(txt::TraceAutoScroll));
    acPause->setText(LoadStr(txt::TracePause));
    acRegex->setText(LoadStr(txt::TraceRegex));
    acHighlight->setText(LoadStr(txt::TraceHighlight));
    acCap->setText(LoadStr(txt::TraceCap));
    acFind->setText(LoadStr(txt::TraceFind));
    acFind->setShortcut(QKeySequence::Find);
    acCopy->setText(LoadStr(txt::TraceCopy));
    acCopy->setShortcut(QKeySequence::Copy);
    acSaveAll->setText(LoadStr(txt::TraceSaveAll));
    acSaveShown->setText(LoadStr(txt::TraceSaveShown));
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
    FLines.Append(line, message.SenderPid, message.SenderName);
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
    if (event->matches(QKeySequence::Find)) {
        acFind->trigger();
        return true;
    }
    if (event->key() == Qt::Key_F3) {
        FindNext(event->modifiers() & Qt::ShiftModifier);
        return true;
    }
    if (event->matches(QKeySequence::Copy) && !FilterEdit->hasFocus() && !FindEdit->hasFocus()) {
        CopySelection();
        return true;
    }
    if (event->key() != Qt::Key_Escape)
        return false;
    // Esc puts an open find box away first; otherwise it closes.
    if (FindEdit->isVisible()) {
        FindEdit->hide();
        ListBox1->setFocus();
        return true;
    }
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

// ----------------------------------------------------------------- options

QString TFTrace::RegistryKey()
{
    return QStringLiteral("Software\\Borland\\Delphi\\2.0\\Quorbel\\TraceWindow");
}

void TFTrace::LoadOptions()
{
    FLoading = true;
    const auto read = [](const char *name) {
        return Registry::readString(HKEY::CurrentUser, RegistryKey(), QLatin1String(name));
    };
    acTimeStamps->setChecked(read("TimeStamps") == QLatin1String("1"));
    acSender->setChecked(read("Sender") == QLatin1String("1"));
    acAutoScroll->setChecked(read("AutoScroll") == QLatin1String("1"));
    acRegex->setChecked(read("Regex") == QLatin1String("1"));
    FilterEdit->setText(read("Filter"));
    FLines.SetHighlights(ParseHighlights(read("Highlight")));
    FLines.SetCap(read("Cap").toLongLong());
    FLoading = false;
    ApplyColumns();
    ApplyFilter();
}

void TFTrace::SaveOption(const QString &name, const QString &value)
{
    if (FLoading)
        return;
    // Written only when changed, and a default never in the first place:
    // with every option off the registry stays as it was.
    bool found = false;
    const QString old = Registry::readString(HKEY::CurrentUser, RegistryKey(), name, &found);
    if (found ? old == value : value.isEmpty() || value == QLatin1String("0"))
        return;
    Registry::writeString(HKEY::CurrentUser, RegistryKey(), name, value);
}

void TFTrace::ApplyColumns()
{
    if (FLoading)
        return;
    SaveOption(QStringLiteral("TimeStamps"), QString::number(int(acTimeStamps->isChecked())));
    SaveOption(QStringLiteral("Sender"), QString::number(int(acSender->isChecked())));
    FLines.SetColumns(acTimeStamps->isChecked(), acSender->isChecked());
    const bool columns = FLines.columnCount() > 1;
    ListBox1->horizontalHeader()->setVisible(columns);
    for (int c = 0; c + 1 < FLines.columnCount(); ++c)
        ListBox1->resizeColumnToContents(c);
}

void TFTrace::ApplyFilter()
{
    if (FLoading)
        return;
    SaveOption(QStringLiteral("Filter"), FilterEdit->text());
    SaveOption(QStringLiteral("Regex"), QString::number(int(acRegex->isChecked())));
    const bool valid = FLines.SetFilter(FilterEdit->text(), acRegex->isChecked());
    // An expression that does not compile hides nothing and says so.
    FilterEdit->setStyleSheet(valid ? QString() : QStringLiteral("QLineEdit { color: red; }"));
}

void TFTrace::LinesPublished()
{
    if (acAutoScroll->isChecked() && !FLines.Paused())
        ListBox1->scrollToBottom();
    ShowStatus();
}

void TFTrace::ShowStatus()
{
    // The status bar stays empty until the cap has dropped a line.
    const bool dropped = FLines.Dropped() > 0;
    DroppedLabel->setVisible(dropped);
    if (dropped)
        DroppedLabel->setText(LoadStr(txt::TraceDropped).arg(FLines.Dropped()));
}

void TFTrace::FindNext(bool backwards)
{
    const QString text = FindEdit->text();
    const int rows = FLines.rowCount();
    if (text.isEmpty() || rows == 0) {
        acFind->trigger();
        return;
    }
    const QModelIndex current = ListBox1->currentIndex();
    const int from = current.isValid() ? current.row() : (backwards ? rows : -1);
    const int text0 = FLines.columnCount() - 1;
    for (int step = 1; step <= rows; ++step) {
        const int row = ((from + (backwards ? -step : step)) % rows + rows) % rows;
        if (FLines.index(row, text0).data().toString().contains(text, Qt::CaseInsensitive)) {
            const QModelIndex found = FLines.index(row, 0);
            ListBox1->selectionModel()->setCurrentIndex(
                found, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            ListBox1->scrollTo(found);
            return;
        }
    }
    QApplication::beep();
}

void TFTrace::CopySelection()
{
    QList<int> rows;
    for (const QModelIndex &index : ListBox1->selectionModel()->selectedRows())
        rows << index.row();
    if (rows.isEmpty() && ListBox1->currentIndex().isValid())
        rows << ListBox1->currentIndex().row();
    if (rows.isEmpty())
        return;
    std::sort(rows.begin(), rows.end());
    QStringList lines;
    for (int row : rows)
        lines << FLines.RowText(row);
    QApplication::clipboard()->setText(lines.join(QLatin1Char('\n')));
}

void TFTrace::SaveLines(bool shownOnly)
{
    TDialogService &dialogs = FServices.dialogs();
    const QString path = dialogs.GetSaveFileName(LoadStr(shownOnly ? txt::TraceSaveShown : txt::TraceSaveAll),
                                                 LoadStr(txt::TraceFileFilter), QString());
    if (path.isEmpty())
        return;
    RunAtEdge(dialogs, [&] {
        TEncodedText bytes;
        const auto add = [&bytes](const QString &line) {
            bytes.Append(line);
            bytes.Append(QLatin1StringView("\r\n"));
        };
        if (shownOnly) {
            for (int row = 0, rows = FLines.rowCount(); row < rows; ++row)
                add(FLines.RowText(row));
        } else {
            for (size_t line = 0; line < FLines.Lines().size(); ++line)
                add(FLines.StoredText(line));
        }
        FServices.writer().Write(path, bytes.Take());
    });
}

std::vector<TTraceHighlight> TFTrace::ParseHighlights(const QString &text)
{
    std::vector<TTraceHighlight> rules;
    for (const QString &line : text.split(QLatin1Char('\n'))) {
        const QString rule = line.trimmed();
        const qsizetype blank = rule.indexOf(QLatin1Char(' '));
        if (blank <= 0)
            continue;
        const QColor colour = QColor::fromString(rule.left(blank));
        const QString mark = rule.mid(blank + 1).trimmed();
        if (colour.isValid() && !mark.isEmpty())
            rules.push_back({mark, colour});
    }
    return rules;
}

namespace {

// One option in a dialog of its own: a help line, the editor (which the
// dialog takes), Ok and Cancel. On Ok, taken runs while the editor is there.
void RunOptionDialog(QWidget *parent, const QString &name, const QString &command, const QString &help,
                     QWidget *editor, const std::function<void()> &taken)
{
    QDialog dialog(parent);
    dialog.setObjectName(name);
    dialog.setWindowTitle(QString(command).remove(QStringLiteral("...")));
    auto *layout = new QVBoxLayout(&dialog);
    layout->addWidget(new QLabel(help, &dialog));
    layout->addWidget(editor);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
    layout->addWidget(buttons);
    QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
    if (dialog.exec() == QDialog::Accepted)
        taken();
}

} // namespace

QString TFTrace::HighlightsText(const std::vector<TTraceHighlight> &rules)
{
    QStringList lines;
    for (const TTraceHighlight &rule : rules)
        lines << rule.Colour.name() + QLatin1Char(' ') + rule.Text;
    return lines.join(QLatin1Char('\n'));
}

void TFTrace::EditHighlights()
{
    auto *rules = new QPlainTextEdit(HighlightsText(FLines.Highlights()));
    rules->setObjectName(QStringLiteral("HighlightRules"));
    RunOptionDialog(this, QStringLiteral("HighlightDialog"), LoadStr(txt::TraceHighlight),
                    LoadStr(txt::TraceHighlightHelp), rules, [&] {
                        FLines.SetHighlights(ParseHighlights(rules->toPlainText()));
                        SaveOption(QStringLiteral("Highlight"), HighlightsText(FLines.Highlights()));
                    });
}

void TFTrace::EditCap()
{
    auto *lines = new QSpinBox;
    lines->setObjectName(QStringLiteral("CapLines"));
    lines->setRange(0, 100000000);
    lines->setValue(int(FLines.Cap()));
    RunOptionDialog(this, QStringLiteral("CapDialog"), LoadStr(txt::TraceCap), LoadStr(txt::TraceCapHelp), lines,
                    [&] {
                        FLines.SetCap(lines->value());
                        SaveOption(QStringLiteral("Cap"), QString::number(FLines.Cap()));
                        ShowStatus();
                    });
}
