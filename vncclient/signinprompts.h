#ifndef SIGNINPROMPTS_H
#define SIGNINPROMPTS_H

#include <QMutex>
#include <QString>

#include <atomic>

// The questions the connection thread puts to the user while it signs in
// (the password, another secret such as an SSH passphrase, whether to
// trust a certificate) and the answers the GUI thread gives. Each question
// is begun with ask...(), put to the user by the caller, then awaited. The
// answers hold secrets: each is wiped once used or replaced.
class SignInPrompts
{
public:
    SignInPrompts();
    ~SignInPrompts();
    SignInPrompts(const SignInPrompts &) = delete;
    SignInPrompts &operator=(const SignInPrompts &) = delete;

    // GUI thread: the answers. A password set before it was asked for is
    // used when nobody answers the question.
    void setPassword(const QString &password);
    void setUserName(const QString &userName);
    void setSecret(const QString &secret);
    // Yes to a question; no declines any of them.
    void answer(bool yes);
    // Whether the pending password question wants a user name as well.
    bool wantsUserName() const { return userNameWanted; }

    // Any thread: ends every wait, now and until reset(), as the
    // connection stops.
    void interrupt();
    // Between connections: forgets every answer.
    void reset();

    // Connection thread.
    // A password given before the question stands only when nobody is
    // there to answer it ('answered' false).
    void askPassword(bool withUserName, bool answered);
    // False when declined or interrupted.
    bool awaitPassword(QString *password, QString *userName);
    // After a false await: the user said no (not a stop).
    bool declined() const;
    // Whether the password last given is the one the last attempt used: a
    // refused one is not tried again.
    bool passwordUnchanged() const;
    // Signed in: the passwords are needed no more.
    void forgetPasswords();
    void askSecret();
    bool awaitSecret(QString *secret);
    void askConfirmation();
    bool awaitConfirmation() { return await(); }

private:
    enum class Reply { Waiting, Yes, No };

    void setReply(Reply answer);
    bool await();

    int answered = -1; // an eventfd, written with each answer and by interrupt()
    std::atomic<bool> interrupted{false};
    std::atomic<bool> userNameWanted{false};
    // Guards the answers; never held while calling out.
    mutable QMutex lock;
    QString givenPassword;
    QString givenUserName;
    QString givenSecret;
    Reply reply = Reply::Waiting;
    // Connection thread only.
    QString suppliedPassword; // what the last attempt signed in with
    bool givenEarlier = false; // a password stood before it was asked for
};

#endif
