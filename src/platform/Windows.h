// Top-level windows found by class name, and the messages sent to them.
#pragma once

#include <QString>

class QWidget;

// A visible or hidden top-level window of this process whose class name
// matches, ignoring case; nullptr when there is none.
QWidget *FindWindow(const QString &className);

// WM_CLOSE: closes the window and returns when it has been handled.
void SendCloseMessage(QWidget *window);
