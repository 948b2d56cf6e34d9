// Acts on the next modal dialog once its event loop runs, so a test can
// drive a command that shows a dialog with exec().
#pragma once

#include <QApplication>
#include <QDialog>
#include <QTimer>

#include <functional>

// Runs action on the next dialog that becomes the active modal widget.
// Dialogs other than QDialog are skipped.
inline void OnNextModal(std::function<void(QDialog *)> action, int timeoutMs = 5000)
{
    auto *timer = new QTimer;
    auto *elapsed = new int(0);
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, elapsed, action, timeoutMs] {
        *elapsed += 10;
        if (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget())) {
            timer->stop();
            timer->deleteLater();
            delete elapsed;
            action(dialog);
            return;
        }
        if (*elapsed > timeoutMs) {
            timer->stop();
            timer->deleteLater();
            delete elapsed;
        }
    });
    timer->start();
}

// Closes the next modal dialog with reject().
inline void RejectNextModal()
{
    OnNextModal([](QDialog *d) { d->reject(); });
}

inline void AcceptNextModal()
{
    OnNextModal([](QDialog *d) { d->accept(); });
}
