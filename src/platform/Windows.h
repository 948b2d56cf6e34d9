// Top-level windows found by class name, and the messages sent to them.
#pragma once

#include <QString>

class QWidget;

// A window's class name: the one its class registers with
// Q_CLASSINFO("WindowClass", "TName"), else its Qt class name. Only the
// window's own class counts, so a subclass is a class of its own unless it
// registers a name too. Test doubles register the names of the windows they
// stand in for.
QString WindowClassName(const QWidget *window);

// A visible or hidden top-level window of this process whose class name
// matches, ignoring case; nullptr when there is none.
QWidget *FindWindow(const QString &className);

// WM_CLOSE: closes the window and returns when it has been handled.
void SendCloseMessage(QWidget *window);
