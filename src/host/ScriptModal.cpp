#include "ScriptModal.h"

#include "UserInput.h"

#include "Windows.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTextEdit>
#include <QTreeView>

namespace qide {

namespace {

QAbstractButton *MessageButton(QMessageBox *box, const QString &name)
{
    const QString wanted = name.toLower();
    for (QAbstractButton *b : box->buttons()) {
        const QString text = b->text().remove(QLatin1Char('&')).toLower();
        if (text == wanted)
            return b;
    }
    // Standard buttons by name, whatever their caption.
    static const std::pair<const char *, QMessageBox::StandardButton> standard[] = {
        {"ok", QMessageBox::Ok},         {"save", QMessageBox::Save},
        {"saveall", QMessageBox::SaveAll}, {"open", QMessageBox::Open},
        {"yes", QMessageBox::Yes},       {"yestoall", QMessageBox::YesToAll},
        {"no", QMessageBox::No},         {"notoall", QMessageBox::NoToAll},
        {"abort", QMessageBox::Abort},   {"retry", QMessageBox::Retry},
        {"ignore", QMessageBox::Ignore}, {"close", QMessageBox::Close},
        {"cancel", QMessageBox::Cancel}, {"discard", QMessageBox::Discard},
        {"help", QMessageBox::Help},     {"apply", QMessageBox::Apply},
        {"reset", QMessageBox::Reset},
    };
    for (const auto &[key, button] : standard)
        if (wanted == QLatin1String(key))
            if (QAbstractButton *b = box->button(button))
                return b;
    return nullptr;
}

QAbstractButton *ButtonWithRole(QMessageBox *box, std::initializer_list<QMessageBox::ButtonRole> roles)
{
    for (QMessageBox::ButtonRole role : roles)
        for (QAbstractButton *b : box->buttons())
            if (box->buttonRole(b) == role)
                return b;
    return nullptr;
}

QModelIndex RowIndex(QAbstractItemView *view, int row)
{
    if (!view->model())
        return {};
    auto *tree = qobject_cast<QTreeView *>(view);
    if (!tree)
        return view->model()->index(row, 0, view->rootIndex());
    // In a tree, rows count the expanded items from the top.
    QModelIndex index = view->model()->index(0, 0, view->rootIndex());
    for (int i = 0; i < row && index.isValid(); ++i)
        index = tree->indexBelow(index);
    return index;
}

QObject *Named(QWidget *dialog, const QString &name)
{
    if (dialog->objectName() == name)
        return dialog;
    return dialog->findChild<QObject *>(name);
}

} // namespace

QString OneLine(const QString &text)
{
    QString out = text;
    out.replace(QLatin1String("\r\n"), QLatin1String("\\n"));
    out.replace(QLatin1Char('\n'), QLatin1String("\\n"));
    out.replace(QLatin1Char('\r'), QLatin1String("\\n"));
    return out;
}

TModalDriver::TModalDriver(TLog log, QObject *parent) : QObject(parent), FLog(std::move(log))
{
    FTimer.setInterval(20);
    connect(&FTimer, &QTimer::timeout, this, &TModalDriver::poll);
    FTimer.start();
}

QString TModalDriver::queue(const QStringList &words)
{
    static const QStringList known{QStringLiteral("accept"), QStringLiteral("reject"),
                                   QStringLiteral("invoke"), QStringLiteral("dblclick"),
                                   QStringLiteral("select"), QStringLiteral("text"),
                                   QStringLiteral("key"), QStringLiteral("show"),
                                   QStringLiteral("grab"), QStringLiteral("wait"),
                                   QStringLiteral("rows")};
    if (words.isEmpty() || !known.contains(words.first()))
        return QStringLiteral("unknown modal action");
    const QString &verb = words.first();
    if ((verb == QLatin1String("invoke") || verb == QLatin1String("key")) && words.size() < 2)
        return QStringLiteral("modal %1 needs a name").arg(verb);
    if ((verb == QLatin1String("dblclick") || verb == QLatin1String("select")) && words.size() < 3)
        return QStringLiteral("modal %1 needs a name and a row").arg(verb);
    if ((verb == QLatin1String("text") || verb == QLatin1String("show") || verb == QLatin1String("wait")
         || verb == QLatin1String("rows"))
        && words.size() < 2)
        return QStringLiteral("modal %1 needs a name").arg(verb);
    if (verb == QLatin1String("grab") && words.size() < 2)
        return QStringLiteral("modal grab needs a file name");
    FQueue.push_back(words);
    return {};
}

QString TModalDriver::describe(QWidget *dialog)
{
    return QStringLiteral("%1 %2").arg(WindowClassName(dialog),
                                       dialog->objectName().isEmpty() ? QStringLiteral("-")
                                                                      : dialog->objectName());
}

void TModalDriver::poll()
{
    QWidget *modal = QApplication::activeModalWidget();
    if (!modal) {
        FCurrent = nullptr;
        return;
    }
    if (modal != FCurrent) {
        FCurrent = modal;
        FSince.restart();
        if (auto *box = qobject_cast<QMessageBox *>(modal))
            FLog(QStringLiteral("message: ") + OneLine(box->text()));
        else
            FLog(QStringLiteral("modal-open ") + describe(modal));
    }
    if (FScheduled)
        return;
    if (!FQueue.empty() && FQueue.front().value(0) == QLatin1String("wait")) {
        wait(modal);
        return;
    }
    if (!FQueue.empty()) {
        const QStringList action = FQueue.front();
        FQueue.pop_front();
        FScheduled = true;
        // Run outside this timer's slot: the action may open a nested dialog
        // whose own actions this timer must still deliver.
        QPointer<QWidget> target(modal);
        QTimer::singleShot(0, this, [this, target, action] {
            FScheduled = false;
            FSince.restart();
            if (!target) {
                FLog(QStringLiteral("modal-error dialog gone before: ") + action.join(QLatin1Char(' ')));
                return;
            }
            const QString error = perform(target, action);
            if (!error.isEmpty())
                FLog(QStringLiteral("modal-error ") + error);
        });
        return;
    }
    if (FSince.elapsed() > FTimeoutMs) {
        FLog(QStringLiteral("modal-timeout ") + describe(modal));
        FSince.restart();
        dismiss(modal);
    }
}

// "wait NAME": the dialog works in the background (a build) while the named
// control is enabled; the next action waits for it to turn disabled.
void TModalDriver::wait(QWidget *dialog)
{
    const QString name = FQueue.front().value(1);
    QObject *target = Named(dialog, name);
    bool busy = false;
    if (auto *widget = qobject_cast<QWidget *>(target))
        busy = widget->isEnabled();
    else if (auto *action = qobject_cast<QAction *>(target))
        busy = action->isEnabled();
    else
        FLog(QStringLiteral("modal-error no control %1 in %2").arg(name, describe(dialog)));
    if (!FWaiting) {
        FWaiting = true;
        FWaitSince.start();
    }
    FSince.restart();
    if (busy && FWaitSince.elapsed() < MaxWaitMs)
        return;
    if (busy)
        FLog(QStringLiteral("modal-error %1 still enabled after %2 s").arg(name).arg(MaxWaitMs / 1000));
    FWaiting = false;
    FQueue.pop_front();
}

void TModalDriver::dismiss(QWidget *dialog)
{
    if (auto *box = qobject_cast<QMessageBox *>(dialog)) {
        if (QAbstractButton *b = box->escapeButton())
            b->click();
        else if (QAbstractButton *b = ButtonWithRole(box, {QMessageBox::RejectRole, QMessageBox::NoRole}))
            b->click();
        else
            box->reject();
    } else if (auto *d = qobject_cast<QDialog *>(dialog)) {
        d->reject();
    } else {
        dialog->close();
    }
}

QString TModalDriver::perform(QWidget *dialog, const QStringList &words)
{
    const QString verb = words.value(0);
    auto *box = qobject_cast<QMessageBox *>(dialog);

    if (verb == QLatin1String("accept")) {
        if (box) {
            if (QAbstractButton *b = ButtonWithRole(box, {QMessageBox::AcceptRole, QMessageBox::YesRole,
                                                          QMessageBox::ApplyRole}))
                b->click();
            else
                box->accept();
        } else if (auto *d = qobject_cast<QDialog *>(dialog)) {
            d->accept();
        } else {
            dialog->close();
        }
        return {};
    }
    if (verb == QLatin1String("reject")) {
        dismiss(dialog);
        return {};
    }

    const QString name = words.value(1);
    if (verb == QLatin1String("invoke")) {
        if (box) {
            if (QAbstractButton *b = MessageButton(box, name)) {
                b->click();
                return {};
            }
        }
        QObject *target = Named(dialog, name);
        if (auto *button = qobject_cast<QAbstractButton *>(target))
            return ClickButton(button);
        if (auto *action = qobject_cast<QAction *>(target)) {
            action->trigger();
            return {};
        }
        return QStringLiteral("no button or action %1 in %2").arg(name, describe(dialog));
    }
    if (verb == QLatin1String("key")) {
        const QKeySequence seq(words.mid(1).join(QLatin1Char(' ')), QKeySequence::PortableText);
        if (seq.isEmpty())
            return QStringLiteral("bad key sequence");
        PressKeys(dialog->focusWidget() ? dialog->focusWidget() : dialog, seq);
        return {};
    }
    if (verb == QLatin1String("rows")) {
        auto *view = qobject_cast<QAbstractItemView *>(Named(dialog, name));
        if (!view || !view->model())
            return QStringLiteral("no list %1 in %2").arg(name, describe(dialog));
        for (int row = 0;; ++row) {
            const QModelIndex index = RowIndex(view, row);
            if (!index.isValid())
                break;
            QStringList cells;
            for (int column = 0; column < view->model()->columnCount(index.parent()); ++column)
                cells << OneLine(index.siblingAtColumn(column).data().toString());
            FLog(QStringLiteral("modal-row %1\t%2").arg(row).arg(cells.join(QLatin1Char('\t'))));
        }
        return {};
    }
    if (verb == QLatin1String("grab")) {
        const QString file = words.mid(1).join(QLatin1Char(' '));
        if (!dialog->grab().save(file))
            return QStringLiteral("cannot save %1").arg(file);
        return {};
    }
    if (verb == QLatin1String("show")) {
        QObject *target = Named(dialog, name);
        QString text;
        if (auto *edit = qobject_cast<QLineEdit *>(target))
            text = edit->text();
        else if (auto *combo = qobject_cast<QComboBox *>(target))
            text = combo->currentIndex() < 0 ? QStringLiteral("<none>") : combo->currentText();
        else
            return QStringLiteral("no text control %1 in %2").arg(name, describe(dialog));
        FLog(QStringLiteral("modal-value %1 %2").arg(name, OneLine(text)));
        return {};
    }
    if (verb == QLatin1String("text")) {
        QString text = words.mid(2).join(QLatin1Char(' '));
        text.replace(QLatin1String("\\n"), QLatin1String("\n"));
        QObject *target = Named(dialog, name);
        // As typing: the box takes the focus first (and sees it leave later).
        if (auto *widget = qobject_cast<QWidget *>(target); widget && (widget->focusPolicy() & Qt::ClickFocus))
            widget->setFocus(Qt::MouseFocusReason);
        if (auto *edit = qobject_cast<QLineEdit *>(target))
            edit->setText(text);
        else if (auto *plain = qobject_cast<QPlainTextEdit *>(target))
            plain->setPlainText(text);
        else if (auto *rich = qobject_cast<QTextEdit *>(target))
            rich->setPlainText(text);
        else if (auto *spin = qobject_cast<QSpinBox *>(target))
            spin->setValue(text.toInt());
        else if (auto *combo = qobject_cast<QComboBox *>(target))
            combo->setCurrentText(text);
        else
            return QStringLiteral("no text control %1 in %2").arg(name, describe(dialog));
        return {};
    }

    // dblclick / select NAME ROW
    bool ok = false;
    const int row = words.value(2).toInt(&ok);
    if (!ok || row < 0)
        return QStringLiteral("bad row %1").arg(words.value(2));
    QObject *target = Named(dialog, name);
    if (auto *combo = qobject_cast<QComboBox *>(target); combo && verb == QLatin1String("select")) {
        if (row >= combo->count())
            return QStringLiteral("%1 has no row %2").arg(name).arg(row);
        // As the user's pick: the box takes the focus and says it was activated.
        if (combo->focusPolicy() & Qt::ClickFocus)
            combo->setFocus(Qt::MouseFocusReason);
        combo->setCurrentIndex(row);
        emit combo->activated(row);
        emit combo->textActivated(combo->itemText(row));
        return {};
    }
    if (auto *tabs = qobject_cast<QTabWidget *>(target); tabs && verb == QLatin1String("select")) {
        if (row >= tabs->count())
            return QStringLiteral("%1 has no tab %2").arg(name).arg(row);
        tabs->setCurrentIndex(row);
        return {};
    }
    auto *view = qobject_cast<QAbstractItemView *>(target);
    if (!view)
        return QStringLiteral("no list %1 in %2").arg(name, describe(dialog));
    const QModelIndex index = RowIndex(view, row);
    if (!index.isValid())
        return QStringLiteral("%1 has no row %2").arg(name).arg(row);
    // As a click on the row: the list takes the focus.
    if (view->focusPolicy() & Qt::ClickFocus)
        view->setFocus(Qt::MouseFocusReason);
    view->setCurrentIndex(index);
    view->scrollTo(index);
    if (verb == QLatin1String("dblclick")) {
        const QPoint at = view->visualRect(index).center();
        DoubleClick(view->viewport(), at);
    }
    return {};
}

} // namespace qide
