// Keys and clicks for scripted runs, delivered as the window system delivers
// a user's: plain key and mouse events sent to the widget. A key press that
// did not come from the window system is offered to the application's
// shortcuts first (QApplication does that), so Ctrl+Alt+L reaches the menu
// item that carries it, and a widget that claims the key still gets it.
#pragma once

#include <QKeySequence>
#include <QPoint>
#include <QString>

class QAbstractButton;
class QWidget;

namespace qide {

// Presses and releases one chord in the widget.
void PressKey(QWidget *target, QKeyCombination chord);
// Every chord of the sequence, in order; stops when the widget goes.
void PressKeys(QWidget *target, const QKeySequence &sequence);
// One key per character, with the character as the key's text.
void TypeText(QWidget *target, const QString &text);
// Two clicks of the left button at a point of the widget, the second one
// reported as a double-click.
void DoubleClick(QWidget *target, QPoint at);
// Clicks the button as the mouse does: it takes the focus first, so the
// control that had it sees it leave. Empty, or why it cannot be clicked.
QString ClickButton(QAbstractButton *button);

} // namespace qide
