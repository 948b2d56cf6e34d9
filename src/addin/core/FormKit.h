// What the tool windows build alike: their speed buttons and their key preview.
#pragma once

#include <QList>
#include <QString>

#include <functional>

class QIcon;
class QKeyEvent;
class QToolButton;
class QWidget;

// A speed button of a form's button bar: a flat tool button, raised under the mouse, that
// never takes the focus. It shows icon, or glyph where the style has no such icon; the hint
// is its tool tip.
QToolButton *NewSpeedButton(QWidget *parent, const char *name, const QIcon &icon,
                            const QString &hint = QString(), const QString &glyph = QString());

// Key preview: keyDown sees each key pressed in one of controls before the control does, and
// a true return swallows the key. Controls that are windows of their own by then (a popup
// menu, a combo box's list) keep their keys. The preview belongs to form; installed after a
// form's own filter on a control, it runs first.
void InstallKeyPreview(QWidget *form, const QList<QWidget *> &controls,
                       std::function<bool(QKeyEvent *)> keyDown);

// Adds a control created after InstallKeyPreview to form's preview.
void AddToKeyPreview(QWidget *form, QWidget *control);
