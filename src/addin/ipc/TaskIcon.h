// An icon in the desktop's notification area, owned by a window. The icon
// is registered through the platform's notification-icon function, which
// the owner may replace (tests record the calls instead).
#pragma once

#include "NotifyIcon.h"

#include <QIcon>
#include <QWidget>

class TTaskIcon : public QWidget, public TNotifyIconWindow {
    Q_OBJECT
public:
    // An empty function: the platform's.
    explicit TTaskIcon(QWidget *owner, TNotifyIconFunction notify = {});
    ~TTaskIcon() override;

    // True while the icon is registered. Setting it adds or deletes the
    // icon; when the platform refuses, the value stays as it was.
    bool Enabled() const { return FEnabled; }
    void SetEnabled(bool value);

    const QIcon &Icon() const { return FIcon; }
    void SetIcon(const QIcon &icon);

    qint32 TaskIconID() const { return FTaskIconID; }
    void SetTaskIconID(qint32 id);

    // The icon's tool tip; the record holds 63 bytes of it.
    QString Hint() const { return toolTip(); }
    void SetHint(const QString &hint) { setToolTip(hint); }

    // The record of the last add (what a delete sends).
    const TNotifyIconData &IconData() const { return FData; }

    void NotifyIconMessage(quint32 message, quint64 wParam, qint64 lParam) override;

    static constexpr quint32 CallbackMessage = WM_USER;

signals:
    void OnClick(TTaskIcon *sender);
    void OnDblClick(TTaskIcon *sender);
    void OnRightClick(TTaskIcon *sender, Qt::MouseButton button, Qt::KeyboardModifiers shift,
                      int x, int y);

private:
    TNotifyIconData FillData() const;
    bool Notify(quint32 message, const TNotifyIconData &data);
    void Modify();

    TNotifyIconFunction FNotify;
    TNotifyIconData FData;
    QIcon FIcon;
    qint32 FTaskIconID = 0;
    bool FEnabled = false;
};
