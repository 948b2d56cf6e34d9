#include "NotifyIcon.h"

#include "CodePage.h"

#include <QHash>
#include <QPointer>
#include <QSystemTrayIcon>

#include <cstring>

namespace {

using TKey = QPair<TNotifyIconWindow *, qint32>;

QHash<TKey, QPointer<QSystemTrayIcon>> &Icons()
{
    static QHash<TKey, QPointer<QSystemTrayIcon>> icons;
    return icons;
}

void Apply(QSystemTrayIcon *tray, const TNotifyIconData &data)
{
    if (data.uFlags & NIF_ICON)
        tray->setIcon(data.hIcon);
    if (data.uFlags & NIF_TIP)
        tray->setToolTip(DecodeText(data.szTip, qsizetype(strnlen(data.szTip, sizeof data.szTip))));
}

} // namespace

bool Shell_NotifyIcon(quint32 message, const TNotifyIconData &data)
{
    const TKey key(data.hWnd, data.uID);
    auto &icons = Icons();
    QSystemTrayIcon *tray = icons.value(key);
    switch (message) {
    case NIM_ADD: {
        if (tray || !data.hWnd || !QSystemTrayIcon::isSystemTrayAvailable())
            return false;
        tray = new QSystemTrayIcon;
        Apply(tray, data);
        const quint32 callback = (data.uFlags & NIF_MESSAGE) ? data.uCallbackMessage : 0;
        TNotifyIconWindow *window = data.hWnd;
        const qint32 id = data.uID;
        QObject::connect(tray, &QSystemTrayIcon::activated, tray,
                         [window, id, callback](QSystemTrayIcon::ActivationReason reason) {
                             if (!callback)
                                 return;
                             switch (reason) {
                             case QSystemTrayIcon::Trigger:
                                 window->NotifyIconMessage(callback, quint64(id), WM_LBUTTONUP);
                                 break;
                             case QSystemTrayIcon::DoubleClick:
                                 window->NotifyIconMessage(callback, quint64(id), WM_LBUTTONDBLCLK);
                                 break;
                             case QSystemTrayIcon::Context:
                                 window->NotifyIconMessage(callback, quint64(id), WM_RBUTTONUP);
                                 break;
                             default:
                                 break;
                             }
                         });
        tray->show();
        icons.insert(key, tray);
        return true;
    }
    case NIM_MODIFY:
        if (!tray)
            return false;
        Apply(tray, data);
        return true;
    case NIM_DELETE:
        if (!tray)
            return false;
        icons.remove(key);
        tray->hide();
        tray->deleteLater();
        return true;
    default:
        return false;
    }
}
