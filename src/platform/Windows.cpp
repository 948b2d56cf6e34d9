#include "Windows.h"

#include <QApplication>
#include <QMetaClassInfo>
#include <QWidget>

QString WindowClassName(const QWidget *window)
{
    const QMetaObject *meta = window->metaObject();
    const int index = meta->indexOfClassInfo("WindowClass");
    if (index >= meta->classInfoOffset())
        return QString::fromLatin1(meta->classInfo(index).value());
    return QString::fromLatin1(meta->className());
}

QWidget *FindWindow(const QString &className)
{
    const auto windows = QApplication::topLevelWidgets();
    for (QWidget *w : windows) {
        if (WindowClassName(w).compare(className, Qt::CaseInsensitive) == 0)
            return w;
    }
    return nullptr;
}

void SendCloseMessage(QWidget *window)
{
    if (window)
        window->close();
}
