#include "signinprompts.h"

#include "secret.h"

#include <QMutexLocker>

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

SignInPrompts::SignInPrompts() : answered(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

SignInPrompts::~SignInPrompts()
{
    Secret::wipe(givenPassword);
    Secret::wipe(suppliedPassword);
    Secret::wipe(givenSecret);
    if (answered >= 0)
        close(answered);
}

void SignInPrompts::setPassword(const QString &password)
{
    {
        QMutexLocker locker(&lock);
        Secret::wipe(givenPassword);
        givenPassword = password;
        reply = Reply::Yes;
    }
    eventfd_write(answered, 1);
}

void SignInPrompts::setUserName(const QString &userName)
{
    QMutexLocker locker(&lock);
    givenUserName = userName;
}

void SignInPrompts::setSecret(const QString &secret)
{
    {
        QMutexLocker locker(&lock);
        Secret::wipe(givenSecret);
        givenSecret = secret;
        reply = Reply::Yes;
    }
    eventfd_write(answered, 1);
}

void SignInPrompts::answer(bool yes)
{
    setReply(yes ? Reply::Yes : Reply::No);
}

void SignInPrompts::setReply(Reply answer)
{
    {
        QMutexLocker locker(&lock);
        reply = answer;
    }
    eventfd_write(answered, 1);
}

void SignInPrompts::interrupt()
{
    interrupted = true;
    eventfd_write(answered, 1);
}

void SignInPrompts::reset()
{
    interrupted = false;
    userNameWanted = false;
    eventfd_t stale;
    eventfd_read(answered, &stale);
    QMutexLocker locker(&lock);
    Secret::wipe(givenPassword);
    Secret::wipe(suppliedPassword);
    Secret::wipe(givenSecret);
    givenUserName.clear();
    reply = Reply::Waiting;
}

// Waits for the GUI thread's answer to a question, or for an interrupt.
bool SignInPrompts::await()
{
    for (;;) {
        {
            QMutexLocker locker(&lock);
            if (reply != Reply::Waiting)
                return reply == Reply::Yes && !interrupted;
        }
        if (interrupted)
            return false;
        pollfd fd = {answered, POLLIN, 0};
        if (poll(&fd, 1, -1) > 0) {
            eventfd_t value;
            eventfd_read(answered, &value);
        }
    }
}

bool SignInPrompts::declined() const
{
    QMutexLocker locker(&lock);
    return reply == Reply::No && !interrupted;
}

void SignInPrompts::askPassword(bool withUserName, bool answered)
{
    userNameWanted = withUserName;
    QMutexLocker locker(&lock);
    givenEarlier = !answered && !givenPassword.isNull();
    reply = Reply::Waiting;
}

bool SignInPrompts::awaitPassword(QString *password, QString *userName)
{
    {
        // A password given before the question stands when nobody answers.
        QMutexLocker locker(&lock);
        if (reply == Reply::Waiting && givenEarlier && !userNameWanted)
            reply = Reply::Yes;
    }
    if (!await())
        return false;
    QMutexLocker locker(&lock);
    Secret::wipe(suppliedPassword);
    suppliedPassword = givenPassword;
    *password = suppliedPassword;
    if (userNameWanted)
        *userName = givenUserName;
    return true;
}

bool SignInPrompts::passwordUnchanged() const
{
    QMutexLocker locker(&lock);
    return givenPassword == suppliedPassword;
}

void SignInPrompts::forgetPasswords()
{
    QMutexLocker locker(&lock);
    Secret::wipe(suppliedPassword);
    Secret::wipe(givenPassword);
}

void SignInPrompts::askSecret()
{
    QMutexLocker locker(&lock);
    Secret::wipe(givenSecret);
    reply = Reply::Waiting;
}

bool SignInPrompts::awaitSecret(QString *secret)
{
    if (!await())
        return false;
    QMutexLocker locker(&lock);
    *secret = givenSecret;
    Secret::wipe(givenSecret);
    return true;
}

void SignInPrompts::askConfirmation()
{
    QMutexLocker locker(&lock);
    reply = Reply::Waiting;
}
