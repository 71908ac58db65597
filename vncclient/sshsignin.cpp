// Signing in to the SSH gateway as OpenSSH users expect: the agent, then
// the keys in ~/.ssh (asking for a passphrase), then keyboard-interactive
// or a password. Every secret typed is wiped once libssh has it.
#include "secret.h"
#include "sessionhost.h"
#include "sshconnection.h"

#include <QCoreApplication>

#include <cstring>

namespace
{
struct Messages
{
    Q_DECLARE_TR_FUNCTIONS(SshTunnel)
};
} // namespace

int SshConnection::passphraseHook(const char *prompt, char *buffer, size_t length, int, int, void *self)
{
    auto *tunnel = static_cast<SshConnection *>(self);
    Q_UNUSED(prompt);
    QByteArray answer;
    if (!tunnel->askSecret(Messages::tr("Your SSH key for the gateway %1 is protected: enter its passphrase.")
                               .arg(tunnel->gatewayName()),
                           &answer))
        return -1;
    const bool fits = size_t(answer.size()) < length;
    if (fits) {
        memcpy(buffer, answer.constData(), size_t(answer.size()));
        buffer[answer.size()] = '\0';
    }
    Secret::wipe(answer);
    return fits ? 0 : -1;
}

bool SshConnection::askSecret(const QString &prompt, QByteArray *answer)
{
    if (cancelled || stopping || host.stopRequested())
        return false;
    QString typed;
    if (!host.secret(prompt, &typed)) {
        cancelled = true;
        return false;
    }
    *answer = typed.toUtf8();
    Secret::wipe(typed);
    return true;
}

bool SshConnection::signIn()
{
    callbacks.userdata = this;
    callbacks.auth_function = passphraseHook;
    ssh_callbacks_init(&callbacks);
    ssh_set_callbacks(ssh, &callbacks);

    int result = ssh_userauth_none(ssh, nullptr);
    const int methods = ssh_userauth_list(ssh, nullptr);
    // The agent first, then the keys in ~/.ssh, as OpenSSH does.
    if (result != SSH_AUTH_SUCCESS && (methods & SSH_AUTH_METHOD_PUBLICKEY))
        result = ssh_userauth_publickey_auto(ssh, nullptr, nullptr);
    if (result != SSH_AUTH_SUCCESS && !cancelled && (methods & SSH_AUTH_METHOD_INTERACTIVE)) {
        result = ssh_userauth_kbdint(ssh, nullptr, nullptr);
        while (result == SSH_AUTH_INFO) {
            const int prompts = ssh_userauth_kbdint_getnprompts(ssh);
            for (int i = 0; i < prompts; ++i) {
                char echo = 0;
                const QString text = QString::fromUtf8(ssh_userauth_kbdint_getprompt(ssh, unsigned(i), &echo));
                QByteArray answer;
                if (!askSecret(Messages::tr("The SSH gateway %1 asks: %2").arg(gatewayName(), text.trimmed()),
                               &answer))
                    break;
                ssh_userauth_kbdint_setanswer(ssh, unsigned(i), answer.constData());
                Secret::wipe(answer);
            }
            if (cancelled)
                break;
            result = ssh_userauth_kbdint(ssh, nullptr, nullptr);
        }
    }
    if (result != SSH_AUTH_SUCCESS && !cancelled && (methods & SSH_AUTH_METHOD_PASSWORD)) {
        char *user = nullptr;
        ssh_options_get(ssh, SSH_OPTIONS_USER, &user);
        const QString userName = QString::fromUtf8(user ? user : "");
        ssh_string_free_char(user);
        QByteArray answer;
        if (askSecret(Messages::tr("The SSH gateway %1 asks for the password of %2.").arg(gatewayName(), userName),
                      &answer)) {
            result = ssh_userauth_password(ssh, nullptr, answer.constData());
            Secret::wipe(answer);
        }
    }
    if (result == SSH_AUTH_SUCCESS)
        return true;
    if (stopping || host.stopRequested())
        return false;
    if (cancelled) {
        host.fail(Messages::tr("Sign-in to the SSH gateway was cancelled. Connect again to sign in."));
        return false;
    }
    char *user = nullptr;
    ssh_options_get(ssh, SSH_OPTIONS_USER, &user);
    const QString userName = QString::fromUtf8(user ? user : "");
    ssh_string_free_char(user);
    host.fail(Messages::tr("The SSH gateway %1 refused to sign in %2. Check the user name (user@ in --via, or User "
                           "in ~/.ssh/config), that your key is loaded in the ssh-agent or in %3 and listed in the "
                           "gateway's authorized_keys, or the password.")
                  .arg(gatewayName(), userName, sshDirectory()));
    return false;
}
