#include "FormKit.h"

#include <QEvent>
#include <QIcon>
#include <QKeyEvent>
#include <QToolButton>
#include <QWidget>

QToolButton *NewSpeedButton(QWidget *parent, const char *name, const QIcon &icon,
                            const QString &hint, const QString &glyph)
{
    auto *button = new QToolButton(parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setAutoRaise(true);
    button->setFocusPolicy(Qt::NoFocus);
    if (icon.isNull() && !glyph.isEmpty())
        button->setText(glyph);
    else
        button->setIcon(icon);
    if (!hint.isEmpty())
        button->setToolTip(hint);
    return button;
}

namespace {

// A child of its form, so it goes with it.
class TKeyPreview : public QObject {
public:
    TKeyPreview(QWidget *form, std::function<bool(QKeyEvent *)> keyDown)
        : QObject(form), FForm(form), FKeyDown(std::move(keyDown))
    {
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() != QEvent::KeyPress || !watched->isWidgetType()
            || static_cast<QWidget *>(watched)->window() != FForm->window())
            return false;
        return FKeyDown(static_cast<QKeyEvent *>(event));
    }

private:
    QWidget *FForm;
    std::function<bool(QKeyEvent *)> FKeyDown;
};

} // namespace

void InstallKeyPreview(QWidget *form, const QList<QWidget *> &controls,
                       std::function<bool(QKeyEvent *)> keyDown)
{
    auto *preview = new TKeyPreview(form, std::move(keyDown));
    for (QWidget *control : controls)
        control->installEventFilter(preview);
}

void AddToKeyPreview(QWidget *form, QWidget *control)
{
    for (QObject *child : form->children())
        if (auto *preview = dynamic_cast<TKeyPreview *>(child)) {
            control->installEventFilter(preview);
            return;
        }
}
