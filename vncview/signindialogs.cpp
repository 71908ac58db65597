#include "signindialogs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QVBoxLayout>

PasswordDialog::PasswordDialog(QWidget *parent, const QString &server, const QString &userName)
    : QDialog(parent)
{
    setObjectName(QStringLiteral("passwordDialog"));
    setWindowTitle(tr("Password"));
    setWindowModality(Qt::WindowModal);
    auto *layout = new QVBoxLayout(this);
    auto *text = new QLabel(userName.isEmpty()
                                ? tr("The server %1 asks for a password.").arg(server)
                                : tr("The server %1 asks for the password of %2.").arg(server, userName),
                            this);
    text->setTextFormat(Qt::PlainText);
    text->setWordWrap(true);
    layout->addWidget(text);
    field = new QLineEdit(this);
    field->setEchoMode(QLineEdit::Password);
    layout->addWidget(field);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    layout->addWidget(buttons);
    field->setFocus();
}

QString PasswordDialog::takePassword()
{
    const QString password = field->text();
    // setText(), unlike clear(), also drops the undo steps, which hold the
    // characters typed.
    field->setText(QString());
    return password;
}
