#include "Windows.h"

#include <QApplication>
#include <QWidget>

QWidget *FindWindow(const QString &className)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (QString::fromLatin1(w->metaObject()->className())
                .compare(className, Qt::CaseInsensitive) == 0)
            return w;
    }
    return nullptr;
}

void SendCloseMessage(QWidget *window)
{
    if (window)
        window->close();
}
