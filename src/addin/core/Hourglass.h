// The hourglass cursor over a tool run. Done may come early (before a file
// dialog); the destructor restores the cursor on every path.
#pragma once

#include <QCursor>
#include <QGuiApplication>

class THourglass {
public:
    THourglass() { Start(); }
    ~THourglass() { Done(); }
    THourglass(const THourglass &) = delete;
    THourglass &operator=(const THourglass &) = delete;
    void Start()
    {
        // Without a GUI application (command-line programs) there is no cursor.
        if (FOn || !qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
            return;
        QGuiApplication::setOverrideCursor(Qt::WaitCursor);
        FOn = true;
    }
    void Done()
    {
        if (FOn)
            QGuiApplication::restoreOverrideCursor();
        FOn = false;
    }

private:
    bool FOn = false;
};
