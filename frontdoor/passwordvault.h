#ifndef PASSWORDVAULT_H
#define PASSWORDVAULT_H

#include <QObject>
#include <QString>

#include <functional>

// Remembered passwords, kept only where the system keeps secrets (the
// Secret Service on Linux, through QtKeychain), one per saved server name.
// Never in vemo's own files. Every call answers later, on this thread.
class PasswordVault : public QObject
{
    Q_OBJECT

public:
    enum State { Probing, Available, Unavailable };

    explicit PasswordVault(QObject *parent = nullptr);

    // Whether a keyring answered; Probing until it does.
    State state() const { return current; }

    // 'done' gets the password, or a null string when none is kept.
    void read(const QString &server, const std::function<void(const QString &)> &done);
    // 'done' gets an empty string, or what went wrong, for the user.
    void write(const QString &server, const QString &password, const std::function<void(const QString &)> &done);
    void remove(const QString &server);

signals:
    void stateChanged(PasswordVault::State state);

private:
    State current = Probing;
};

#endif
