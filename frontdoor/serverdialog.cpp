#include "serverdialog.h"

#include "repeater.h"
#include "securitytypes.h"
#include "sshtunnel.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

ServerDialog::ServerDialog(const ServerEntry &e, const QStringList &taken, PasswordVault *vault, QWidget *parent)
    : QDialog(parent)
    , takenNames(taken)
{
    setObjectName(QStringLiteral("serverDialog"));
    setWindowTitle(e.name.isEmpty() ? tr("Add server") : tr("Edit server"));
    const auto field = [this](const char *objectName, const QString &text) {
        auto *edit = new QLineEdit(text, this);
        edit->setObjectName(QLatin1String(objectName));
        return edit;
    };
    const auto check = [this](const char *objectName, const QString &text, bool on) {
        auto *box = new QCheckBox(text, this);
        box->setObjectName(QLatin1String(objectName));
        box->setChecked(on);
        return box;
    };
    name = field("name", e.name);
    address = field("address", e.address);
    address->setPlaceholderText(tr("host, host:1 or host::5901"));
    userName = field("userName", e.userName);
    passwordField = field("password", QString());
    passwordField->setEchoMode(QLineEdit::Password);
    if (e.rememberPassword)
        passwordField->setPlaceholderText(tr("kept in the keyring"));
    remember = check("rememberPassword", tr("&Remember the password in the keyring"), e.rememberPassword);
    keyringNote = new QLabel(this);
    keyringNote->setWordWrap(true);
    quality = new QComboBox(this);
    quality->setObjectName(QStringLiteral("quality"));
    quality->addItem(tr("Automatic"), int(Quality::Auto));
    quality->addItem(tr("High"), int(Quality::High));
    quality->addItem(tr("Medium"), int(Quality::Medium));
    quality->addItem(tr("Low"), int(Quality::Low));
    quality->setCurrentIndex(quality->findData(int(e.quality)));
    security = field("security", e.securityTypes);
    security->setPlaceholderText(tr("all, e.g. X509Vnc,VncAuth"));
    via = field("via", e.via);
    via->setPlaceholderText(tr("none, or [user@]host[:port]"));
    repeaterId = field("repeaterId", e.repeaterId);
    repeaterId->setPlaceholderText(tr("none"));
    scaling = new QComboBox(this);
    scaling->setObjectName(QStringLiteral("scaling"));
    scaling->addItems({tr("Fit to window"), tr("Actual size (1:1)"), tr("Zoom")});
    scaling->setCurrentIndex(int(e.scaling));
    zoom = new QSpinBox(this);
    zoom->setObjectName(QStringLiteral("zoom"));
    zoom->setRange(25, 400);
    zoom->setSuffix(QStringLiteral(" %"));
    zoom->setValue(e.zoomPercent);
    zoom->setEnabled(e.scaling == ServerEntry::Zoom);
    connect(scaling, &QComboBox::currentIndexChanged, zoom, [this](int i) { zoom->setEnabled(i == ServerEntry::Zoom); });
    viewOnly = check("viewOnly", tr("&View only"), e.viewOnly);
    fullscreen = check("fullscreen", tr("&Full screen"), e.fullscreen);
    remoteResize = check("remoteResize", tr("Resize the remote &desktop to the window"), e.remoteResize);
    touchpad = check("touchpad", tr("&Touchpad mode: a finger moves the pointer"), e.touchpad);
    problem = new QLabel(this);
    problem->setObjectName(QStringLiteral("problem"));
    problem->setWordWrap(true);
    // In red, by the palette: a style sheet would load Qt's style sheet
    // machinery into the viewer's process for one colour.
    QPalette red = problem->palette();
    red.setColor(QPalette::WindowText, QColor(0xb0, 0x00, 0x20));
    problem->setPalette(red);
    problem->hide();

    auto *form = new QFormLayout;
    form->setObjectName(QStringLiteral("form"));
    form->addRow(tr("&Name:"), name);
    form->addRow(tr("&Address:"), address);
    form->addRow(tr("&User name:"), userName);
    form->addRow(tr("&Password:"), passwordField);
    form->addRow(remember);
    form->addRow(keyringNote);
    form->addRow(tr("&Quality:"), quality);
    form->addRow(tr("&Security types:"), security);
    form->addRow(tr("SSH &gateway:"), via);
    form->addRow(tr("Repeater &ID:"), repeaterId);
    form->addRow(tr("S&caling:"), scaling);
    form->addRow(tr("&Zoom:"), zoom);
    form->addRow(viewOnly);
    form->addRow(fullscreen);
    form->addRow(remoteResize);
    form->addRow(touchpad);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Save | QDialogButtonBox::Cancel, this);
    connect(buttons, &QDialogButtonBox::accepted, this, &ServerDialog::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &ServerDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(form);
    layout->addWidget(problem);
    layout->addWidget(buttons);

    // A password typed here is one to remember.
    connect(passwordField, &QLineEdit::textEdited, remember, [this](const QString &text) {
        if (!text.isEmpty())
            remember->setChecked(true);
    });
    showKeyring(vault->state());
    connect(vault, &PasswordVault::stateChanged, this, &ServerDialog::showKeyring);
}

// The password is offered only where a keyring can keep it.
void ServerDialog::showKeyring(PasswordVault::State state)
{
    const bool available = state == PasswordVault::Available;
    auto *form = findChild<QFormLayout *>();
    form->setRowVisible(passwordField, available);
    form->setRowVisible(remember, available);
    if (!available)
        remember->setChecked(false);
    keyringNote->setText(state == PasswordVault::Probing
                             ? tr("Looking for the keyring…")
                             : tr("No keyring is available, so no password is remembered: vemo asks for it "
                                  "when the server wants one."));
    keyringNote->setVisible(!available);
}

ServerEntry ServerDialog::entry() const
{
    ServerEntry e;
    e.name = name->text().trimmed();
    e.address = address->text().trimmed();
    e.userName = userName->text().trimmed();
    e.quality = Quality(quality->currentData().toInt());
    e.securityTypes = security->text().trimmed();
    e.via = via->text().trimmed();
    e.repeaterId = repeaterId->text().trimmed();
    e.scaling = ServerEntry::Scaling(scaling->currentIndex());
    e.zoomPercent = zoom->value();
    e.viewOnly = viewOnly->isChecked();
    e.fullscreen = fullscreen->isChecked();
    e.remoteResize = remoteResize->isChecked();
    e.touchpad = touchpad->isChecked();
    e.rememberPassword = remember->isChecked();
    return e;
}

QString ServerDialog::password() const
{
    return passwordField->text();
}

void ServerDialog::accept()
{
    const ServerEntry e = entry();
    QString error;
    QUrl url;
    QList<quint32> types;
    if (e.name.isEmpty() || e.name.startsWith(QLatin1Char('[')) || e.name.contains(QLatin1Char(']')))
        error = tr("Give the server a name, without square brackets.");
    else if (takenNames.contains(e.name))
        error = tr("Another server is called \"%1\": choose another name.").arg(e.name);
    else if (addressToUrl(e.address, &url, &error) && !url.password().isEmpty())
        error = tr("Type the password in the password field, not in the address.");
    else if (error.isEmpty() && !e.securityTypes.isEmpty())
        SecurityTypes::parseList(e.securityTypes, &types, &error);
    SshTunnel::Gateway gateway;
    if (error.isEmpty() && !e.via.isEmpty() && !SshTunnel::parseGateway(e.via, &gateway))
        error = tr("Give the SSH gateway as [user@]host[:port], or leave it empty.");
    else if (error.isEmpty() && e.repeaterId.toUtf8().size() > Repeater::maximumIdLength)
        error = tr("Give a repeater ID of at most %1 characters.").arg(Repeater::maximumIdLength);
    if (!error.isEmpty()) {
        problem->setText(error);
        problem->show();
        return;
    }
    QDialog::accept();
}
