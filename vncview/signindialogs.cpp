#include "signindialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

PasswordDialog::PasswordDialog(QWidget *parent, const QString &server, const QString &userName,
                               bool askUserName)
    : QDialog(parent)
{
    build(askUserName ? tr("Sign in") : tr("Password"),
          askUserName         ? tr("The server %1 asks for a user name and password.").arg(server)
          : userName.isEmpty() ? tr("The server %1 asks for a password.").arg(server)
                               : tr("The server %1 asks for the password of %2.").arg(server, userName),
          askUserName);
}

PasswordDialog::PasswordDialog(QWidget *parent, const QString &prompt) : QDialog(parent)
{
    build(tr("SSH sign-in"), prompt, false);
}

void PasswordDialog::build(const QString &title, const QString &prompt, bool askUserName)
{
    setObjectName(QStringLiteral("passwordDialog"));
    setWindowTitle(title);
    setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(this);
    auto *text = new QLabel(prompt, this);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);
    if (askUserName) {
        userField = new QLineEdit(this);
        userField->setObjectName(QStringLiteral("userName"));
        userField->setPlaceholderText(tr("User name"));
        layout->addWidget(userField);
    }
    field = new QLineEdit(this);
    field->setObjectName(QStringLiteral("password"));
    field->setEchoMode(QLineEdit::Password);
    if (askUserName)
        field->setPlaceholderText(tr("Password"));
    layout->addWidget(field);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    (userField ? userField : field)->setFocus();
}

void PasswordDialog::accept()
{
    if (userField && userField->hasFocus() && field->text().isEmpty()) {
        field->setFocus();
        return;
    }
    QDialog::accept();
}

QString PasswordDialog::userName() const
{
    return userField ? userField->text() : QString();
}

QString PasswordDialog::takePassword()
{
    const QString password = field->text();
    // setText(), unlike clear(), also drops the undo steps, which hold the
    // characters typed.
    field->setText(QString());
    return password;
}
