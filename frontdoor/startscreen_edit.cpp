// The start screen's saved servers: added, edited, duplicated, deleted,
// with their remembered passwords following them.
#include "startscreen.h"

#include "passwordvault.h"
#include "serverdialog.h"

#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>

void StartScreen::addServer()
{
    ServerEntry fresh;
    fresh.address = address->text().trimmed();
    editEntry(fresh, QString());
}

void StartScreen::editServer()
{
    if (const ServerEntry *e = selectedSaved())
        editEntry(*e, e->name);
    else
        showProblem(tr("Choose a saved server to edit."));
}

void StartScreen::duplicateServer()
{
    const ServerEntry *e = selectedSaved();
    if (!e) {
        showProblem(tr("Choose a saved server to duplicate."));
        return;
    }
    ServerEntry copy = *e;
    copy.name = store.freeName(e->name);
    copy.rememberPassword = false;
    QString error;
    if (store.put(copy, QString(), &error))
        refresh();
    showProblem(error);
}

// Opens the editor, not modal to the application: the event loop runs on.
void StartScreen::editEntry(const ServerEntry &entry, const QString &oldName)
{
    QStringList taken;
    for (const ServerEntry &e : store.servers()) {
        if (e.name != oldName)
            taken << e.name;
    }
    auto *dialog = new ServerDialog(entry, taken, passwords(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &QDialog::accepted, this, [this, dialog, oldName] {
        const ServerEntry edited = dialog->entry();
        QString error;
        if (store.put(edited, oldName, &error))
            keepPassword(edited, oldName, dialog->password());
        refresh();
        showProblem(error);
    });
    dialog->open();
}

// The keyring follows the entry: stored, moved with a new name, or dropped.
void StartScreen::keepPassword(const ServerEntry &entry, const QString &oldName, const QString &typed)
{
    const bool renamed = !oldName.isEmpty() && oldName != entry.name;
    if (!entry.rememberPassword) {
        if (!oldName.isEmpty())
            passwords()->remove(oldName);
        return;
    }
    const auto keep = [this, entry](const QString &password) {
        if (password.isEmpty())
            return;
        passwords()->write(entry.name, password, [this](const QString &error) { showProblem(error); });
    };
    if (!typed.isEmpty())
        keep(typed);
    else if (renamed)
        passwords()->read(oldName, keep);
    if (renamed)
        passwords()->remove(oldName);
}

void StartScreen::deleteServer()
{
    const QListWidgetItem *item = list->currentItem();
    QString error;
    if (item && item->data(KindRole).toInt() == Recent) {
        // A recent row leaves the recent list only.
        ServerStore::Recent r;
        (item->data(TypedRole).toBool() ? r.address : r.name) = item->data(KeyRole).toString();
        store.forget(r, &error);
        refresh();
        showProblem(error);
        return;
    }
    const ServerEntry *e = selectedSaved();
    if (!e) {
        showProblem(tr("Choose a saved server to delete."));
        return;
    }
    const QString name = e->name;
    auto *question = new QMessageBox(QMessageBox::Question, tr("Delete server"),
                                     tr("Delete the saved server \"%1\"?").arg(name),
                                     QMessageBox::Yes | QMessageBox::No, this);
    question->setObjectName(QStringLiteral("confirmDelete"));
    question->setDefaultButton(QMessageBox::Yes);
    question->setAttribute(Qt::WA_DeleteOnClose);
    connect(question, &QMessageBox::buttonClicked, this, [this, question, name](QAbstractButton *button) {
        if (question->standardButton(button) != QMessageBox::Yes)
            return;
        QString error;
        if (store.remove(name, &error))
            passwords()->remove(name);
        refresh();
        showProblem(error);
    });
    question->open();
}
