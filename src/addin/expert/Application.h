// The add-in's application object: its window is the IDE main window, which
// owns the add-in's windows and message boxes.
#pragma once

#include <QPointer>
#include <QWidget>

extern QPointer<QWidget> Application;
