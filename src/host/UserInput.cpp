#include "UserInput.h"

#include <QAbstractButton>
#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPointer>
#include <QWidget>

namespace qide {

namespace {

// The text a keyboard sends with a chord: none with Ctrl, Alt or Meta held.
QString ChordText(QKeyCombination chord)
{
    if (chord.keyboardModifiers() & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return {};
    switch (chord.key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        return QStringLiteral("\r");
    case Qt::Key_Tab:
        return QStringLiteral("\t");
    case Qt::Key_Backspace:
        return QStringLiteral("\b");
    case Qt::Key_Escape:
        return QStringLiteral("\x1b");
    case Qt::Key_Delete:
        return QStringLiteral("\x7f");
    default:
        break;
    }
    const int key = chord.key();
    if (key < Qt::Key_Space || key > 0xFFFF)
        return {};
    const QChar c{char16_t(key)};
    return QString(chord.keyboardModifiers() & Qt::ShiftModifier ? c.toUpper() : c.toLower());
}

void SendKey(QWidget *target, QEvent::Type type, QKeyCombination chord, const QString &text)
{
    QKeyEvent event(type, chord.key(), chord.keyboardModifiers(), text);
    QApplication::sendEvent(target, &event);
}

void SendMouse(QWidget *target, QEvent::Type type, QPoint at, Qt::MouseButtons held)
{
    QMouseEvent event(type, QPointF(at), QPointF(target->mapToGlobal(at)), Qt::LeftButton, held,
                      Qt::NoModifier);
    QApplication::sendEvent(target, &event);
}

void PressWithText(QWidget *target, QKeyCombination chord, const QString &text)
{
    QPointer<QWidget> alive(target);
    // The press may run a command that shows a dialog and closes the widget.
    SendKey(target, QEvent::KeyPress, chord, text);
    if (alive)
        SendKey(target, QEvent::KeyRelease, chord, text);
}

} // namespace

void PressKey(QWidget *target, QKeyCombination chord)
{
    if (target)
        PressWithText(target, chord, ChordText(chord));
}

void PressKeys(QWidget *target, const QKeySequence &sequence)
{
    QPointer<QWidget> alive(target);
    for (int i = 0; i < sequence.count() && alive; ++i)
        PressKey(target, sequence[i]);
}

void TypeText(QWidget *target, const QString &text)
{
    QPointer<QWidget> alive(target);
    for (qsizetype i = 0; i < text.size() && alive; ++i) {
        const QChar c = text.at(i);
        QString one(c);
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate())
            one += text.at(++i);
        if (c == QLatin1Char('\n')) {
            PressKey(target, Qt::Key_Return);
            continue;
        }
        // Character keys carry the upper-case code point, as on a keyboard.
        const auto key = c == QLatin1Char('\t') ? Qt::Key_Tab : Qt::Key(QChar::toUpper(one.toUcs4().value(0)));
        const Qt::KeyboardModifiers shift = c.isUpper() ? Qt::ShiftModifier : Qt::NoModifier;
        PressWithText(target, QKeyCombination(shift, key), one);
    }
}

void DoubleClick(QWidget *target, QPoint at)
{
    QPointer<QWidget> alive(target);
    const QEvent::Type steps[] = {QEvent::MouseButtonPress, QEvent::MouseButtonRelease,
                                  QEvent::MouseButtonPress, QEvent::MouseButtonDblClick,
                                  QEvent::MouseButtonRelease};
    for (QEvent::Type type : steps) {
        if (!alive)
            return;
        SendMouse(target, type, at, type == QEvent::MouseButtonRelease ? Qt::NoButton : Qt::LeftButton);
    }
}

QString ClickButton(QAbstractButton *button)
{
    if (!button->isEnabled())
        return QStringLiteral("%1 is disabled").arg(button->objectName());
    if (button->focusPolicy() & Qt::ClickFocus)
        button->setFocus(Qt::MouseFocusReason);
    button->click();
    return {};
}

} // namespace qide
