#include "GuideKey.h"

#include "core/CommandEdge.h"

#include "HelpViewer.h"

#include <QApplication>
#include <QKeyEvent>
#include <QPointer>
#include <QWidget>

namespace {

const char *const GuidePageProperty = "GuidePage";

bool IsHelpKey(const QEvent *event)
{
    if (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride)
        return false;
    const auto *key = static_cast<const QKeyEvent *>(event);
    return key->key() == Qt::Key_F1 && (key->modifiers() & ~Qt::KeypadModifier) == Qt::NoModifier;
}

// The window whose page a key in w asks for: w's own window, else the
// nearest owner window that has a page.
QWidget *PageWindow(QWidget *w)
{
    for (QWidget *window = w->window(); window;
         window = window->parentWidget() ? window->parentWidget()->window() : nullptr)
        if (window->property(GuidePageProperty).isValid())
            return window;
    return nullptr;
}

// One per form, so none outlives the add-in's code; it watches the whole
// application because the key goes to the focused control first.
class TGuideKey : public QObject {
public:
    TGuideKey(QWidget *form, const TAddinServices &services, quint32 page)
        : QObject(form), FForm(form), FServices(services), FPage(page)
    {
        form->setProperty(GuidePageProperty, page);
        qApp->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (!IsHelpKey(event) || !watched->isWidgetType()
            || PageWindow(static_cast<QWidget *>(watched)) != FForm)
            return false;
        // Claimed before any shortcut of the window, then acted on.
        event->accept();
        if (event->type() == QEvent::KeyPress)
            RunAtEdge(FServices.dialogs(), [&] {
                WinHelp(FServices.DataFile(QString::fromLatin1(GuideFileName)), HELP_CONTEXT, FPage,
                        FServices.FindTool);
            });
        return true;
    }

private:
    QPointer<QWidget> FForm;
    TAddinServices FServices;
    quint32 FPage;
};

} // namespace

void InstallGuideKey(QWidget *form, const TAddinServices &services, quint32 page)
{
    new TGuideKey(form, services, page);
}
