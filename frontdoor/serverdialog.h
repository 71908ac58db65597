#ifndef SERVERDIALOG_H
#define SERVERDIALOG_H

#include "passwordvault.h"
#include "serverentry.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QSpinBox;

// Adds or edits one saved server. Refuses what would not connect (a bad
// address, an unknown security type, a name taken) and says why, keeping
// what was typed.
class ServerDialog : public QDialog
{
    Q_OBJECT

public:
    // 'taken': the names of the other saved servers.
    ServerDialog(const ServerEntry &entry, const QStringList &taken, PasswordVault *vault, QWidget *parent);

    ServerEntry entry() const;
    // What was typed in the password field; empty keeps the one remembered.
    QString password() const;

    void accept() override;

private:
    void showKeyring(PasswordVault::State state);

    QStringList takenNames;
    QLineEdit *name;
    QLineEdit *address;
    QLineEdit *userName;
    QLineEdit *passwordField;
    QCheckBox *remember;
    QLabel *keyringNote;
    QComboBox *quality;
    QLineEdit *security;
    QLineEdit *via;
    QLineEdit *repeaterId;
    QComboBox *scaling;
    QSpinBox *zoom;
    QCheckBox *viewOnly;
    QCheckBox *fullscreen;
    QCheckBox *remoteResize;
    QCheckBox *touchpad;
    QLabel *problem;
};

#endif
