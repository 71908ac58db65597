#include "passwordvault.h"

#include <qt6keychain/keychain.h>

namespace {

const QString service = QStringLiteral("vemo");
// Read once to learn whether a keyring answers at all.
const QString probeKey = QStringLiteral("vemo keyring probe");

// Jobs have no parent: the Secret Service backend calls back into a job
// after its operation ends, so a job deleted early with its owner would be
// used after it is gone. Each deletes itself once finished; the answer is
// connected through this object, so it is dropped when the vault is gone.

} // namespace

PasswordVault::PasswordVault(QObject *parent)
    : QObject(parent)
{
    // Without a session bus the library would start one of its own, which
    // nobody ends: no session, no keyring.
    if (qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS")) {
        current = Unavailable;
        return;
    }
    auto *job = new QKeychain::ReadPasswordJob(service);
    job->setKey(probeKey);
    connect(job, &QKeychain::Job::finished, this, [this](QKeychain::Job *done) {
        // A missing entry is an answer: the keyring is there.
        const bool answered = done->error() == QKeychain::NoError || done->error() == QKeychain::EntryNotFound;
        current = answered ? Available : Unavailable;
        emit stateChanged(current);
    });
    job->start();
}

void PasswordVault::read(const QString &server, const std::function<void(const QString &)> &done)
{
    if (current == Unavailable) {
        QMetaObject::invokeMethod(this, [done] { done(QString()); }, Qt::QueuedConnection);
        return;
    }
    auto *job = new QKeychain::ReadPasswordJob(service);
    job->setKey(server);
    connect(job, &QKeychain::Job::finished, this, [done](QKeychain::Job *finished) {
        const auto *reader = static_cast<QKeychain::ReadPasswordJob *>(finished);
        done(reader->error() == QKeychain::NoError ? reader->textData() : QString());
    });
    job->start();
}

void PasswordVault::write(const QString &server, const QString &password,
                          const std::function<void(const QString &)> &done)
{
    auto *job = new QKeychain::WritePasswordJob(service);
    job->setKey(server);
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [done](QKeychain::Job *finished) {
        done(finished->error() == QKeychain::NoError
                 ? QString()
                 : tr("The keyring did not keep the password (%1); you will be asked for it.")
                       .arg(finished->errorString()));
    });
    job->start();
}

void PasswordVault::remove(const QString &server)
{
    if (current == Unavailable)
        return;
    auto *job = new QKeychain::DeletePasswordJob(service);
    job->setKey(server);
    job->start();
}
