#ifndef SIGNINDIALOGS_H
#define SIGNINDIALOGS_H

#include <QDialog>

class QLineEdit;

// Asks for the password a server wants, and with 'askUserName' for the
// user name too. Window-modal and small, with OK and Cancel (soft keys)
// and Enter for OK; the typed password is cleared once it has been read.
class PasswordDialog : public QDialog
{
    Q_OBJECT

public:
    PasswordDialog(QWidget *parent, const QString &server, const QString &userName, bool askUserName = false);
    // Asks for the secret that 'prompt' names (an SSH passphrase or password).
    PasswordDialog(QWidget *parent, const QString &prompt);
    // The password typed, taken out of the field.
    QString takePassword();
    QString userName() const;

    // Enter after the user name goes on to the password.
    void accept() override;

private:
    void build(const QString &title, const QString &prompt, bool askUserName);

    QLineEdit *userField = nullptr;
    QLineEdit *field;
};

#endif
