#include "TaskIcon.h"

#include "CodePage.h"

#include <QCursor>

#include <cstring>

TTaskIcon::TTaskIcon(QWidget *owner, TNotifyIconFunction notify)
    : QWidget(owner), FNotify(std::move(notify))
{
    // Only a receiver of the icon's messages; never on screen.
    setAttribute(Qt::WA_DontShowOnScreen);
    hide();
}

TTaskIcon::~TTaskIcon()
{
    SetEnabled(false);
}

TNotifyIconData TTaskIcon::FillData() const
{
    TNotifyIconData data;
    data.hWnd = const_cast<TTaskIcon *>(this);
    data.uID = FTaskIconID;
    data.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    data.uCallbackMessage = CallbackMessage;
    data.hIcon = FIcon;
    // A longer hint is cut, never in the middle of a character.
    const QByteArray tip = EncodeText(Hint(), qsizetype(sizeof data.szTip) - 1);
    std::memcpy(data.szTip, tip.constData(), size_t(tip.size()));
    return data;
}

bool TTaskIcon::Notify(quint32 message, const TNotifyIconData &data)
{
    return FNotify ? FNotify(message, data) : Shell_NotifyIcon(message, data);
}

void TTaskIcon::SetEnabled(bool value)
{
    if (value == FEnabled)
        return;
    if (value) {
        TNotifyIconData data = FillData();
        if (Notify(NIM_ADD, data)) {
            FData = data;
            FEnabled = true;
        }
    } else if (Notify(NIM_DELETE, FData)) {
        FEnabled = false;
    }
}

void TTaskIcon::Modify()
{
    if (FEnabled)
        Notify(NIM_MODIFY, FillData());
}

void TTaskIcon::SetIcon(const QIcon &icon)
{
    if (icon.cacheKey() == FIcon.cacheKey())
        return;
    FIcon = icon;
    Modify();
}

void TTaskIcon::SetTaskIconID(qint32 id)
{
    if (id == FTaskIconID)
        return;
    FTaskIconID = id;
    Modify();
}

void TTaskIcon::NotifyIconMessage(quint32 message, quint64 wParam, qint64 lParam)
{
    if (message != CallbackMessage || qint32(wParam) != FTaskIconID)
        return;
    switch (lParam) {
    case WM_LBUTTONUP:
        emit OnClick(this);
        break;
    case WM_LBUTTONDBLCLK:
        emit OnDblClick(this);
        break;
    case WM_RBUTTONUP: {
        const QPoint at = QCursor::pos();
        emit OnRightClick(this, Qt::RightButton, Qt::NoModifier, at.x(), at.y());
        break;
    }
    default:
        break;
    }
}
