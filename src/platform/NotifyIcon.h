// The notification-area icon: one function with add, modify and delete and
// the record they carry. The default drives QSystemTrayIcon and turns tray
// clicks into the icon's callback message; tests put a recorder in its place.
#pragma once

#include <QIcon>

#include <functional>

inline constexpr quint32 NIM_ADD = 0;
inline constexpr quint32 NIM_MODIFY = 1;
inline constexpr quint32 NIM_DELETE = 2;

inline constexpr quint32 NIF_MESSAGE = 1;
inline constexpr quint32 NIF_ICON = 2;
inline constexpr quint32 NIF_TIP = 4;

inline constexpr quint32 WM_USER = 0x400;
inline constexpr quint32 WM_LBUTTONUP = 0x202;
inline constexpr quint32 WM_LBUTTONDBLCLK = 0x203;
inline constexpr quint32 WM_RBUTTONUP = 0x205;

// The window that receives an icon's callback message.
class TNotifyIconWindow {
public:
    virtual ~TNotifyIconWindow() = default;
    // message: the record's callback message; wParam: the icon's id;
    // lParam: the mouse message.
    virtual void NotifyIconMessage(quint32 message, quint64 wParam, qint64 lParam) = 0;
};

struct TNotifyIconData {
    quint32 cbSize = 88;
    TNotifyIconWindow *hWnd = nullptr;
    qint32 uID = 0;
    quint32 uFlags = 0;
    quint32 uCallbackMessage = 0;
    QIcon hIcon;
    char szTip[64] = {}; // zero-terminated, so at most 63 bytes of text
};

using TNotifyIconFunction = std::function<bool(quint32 message, const TNotifyIconData &data)>;

// The platform's function: false when there is no tray, when adding an icon
// already there, or when modifying or deleting one that is not.
bool Shell_NotifyIcon(quint32 message, const TNotifyIconData &data);
