#include "connectioninfodialog.h"

#include "securitytypes.h"

#include <QDialogButtonBox>
#include <QFormLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLocale>
#include <QScreen>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace
{
struct SecurityWords {
    quint32 type;
    const char *text;
};

// The types vemo signs in with; "TLS" alone leaves the server unverified.
const SecurityWords securityWords[] = {
    {SecurityTypes::None, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "no password")},
    {SecurityTypes::VncAuth, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "VNC password")},
    {SecurityTypes::Tight, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "Tight's own")},
    {SecurityTypes::AnonymousTls, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "TLS without a certificate")},
    {SecurityTypes::VeNCrypt, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "VeNCrypt")},
    {SecurityTypes::Plain, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "user name and password, not encrypted")},
    {SecurityTypes::TLSNone, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "TLS without a certificate, no password")},
    {SecurityTypes::TLSVnc, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "TLS without a certificate, VNC password")},
    {SecurityTypes::TLSPlain,
     QT_TRANSLATE_NOOP("ConnectionInfoDialog", "TLS without a certificate, user name and password")},
    {SecurityTypes::X509None, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "TLS with a certificate, no password")},
    {SecurityTypes::X509Vnc, QT_TRANSLATE_NOOP("ConnectionInfoDialog", "TLS with a certificate, VNC password")},
    {SecurityTypes::X509Plain,
     QT_TRANSLATE_NOOP("ConnectionInfoDialog", "TLS with a certificate, user name and password")},
};

QString securityType(quint32 type)
{
    for (const SecurityWords &words : securityWords) {
        if (words.type == type)
            return ConnectionInfoDialog::tr("%1 (%2)").arg(ConnectionInfoDialog::tr(words.text),
                                                           SecurityTypes::name(type));
    }
    return ConnectionInfoDialog::tr("type %1").arg(type);
}

QString security(const ConnectionInfo &info)
{
    if (info.securityType == 0)
        return ConnectionInfoDialog::tr("unknown");
    if (info.securitySubtype == 0)
        return securityType(info.securityType);
    // VeNCrypt's sub-type says it all; an older TLS server's second list
    // follows its TLS.
    if (info.securityType == SecurityTypes::VeNCrypt)
        return securityType(info.securitySubtype);
    return ConnectionInfoDialog::tr("%1, then %2")
        .arg(securityType(info.securityType), securityType(info.securitySubtype));
}

QString encryption(const ConnectionInfo &info)
{
    QString text;
    if (!info.encrypted)
        text = ConnectionInfoDialog::tr("not encrypted");
    else if (info.identity == ServerIdentity::VerifiedByAuthority)
        text = ConnectionInfoDialog::tr("encrypted; the server's certificate is signed by an authority you trust");
    else if (info.identity == ServerIdentity::TrustedByUser)
        text = ConnectionInfoDialog::tr("encrypted; the server's certificate is one you chose to trust");
    else
        text = ConnectionInfoDialog::tr("encrypted; the server is not verified: no certificate was checked");
    return info.tunnelled ? ConnectionInfoDialog::tr("%1; through an SSH tunnel").arg(text) : text;
}

QString qualityName(Quality quality)
{
    switch (quality) {
    case Quality::Auto:
        return ConnectionInfoDialog::tr("Automatic: follows the link and the picture");
    case Quality::High:
        return ConnectionInfoDialog::tr("High: lossless");
    case Quality::Medium:
        return ConnectionInfoDialog::tr("Medium");
    case Quality::Low:
    case Quality::Unknown:
        break;
    }
    return ConnectionInfoDialog::tr("Low: 256 colours");
}

QString choice(const EncodingChoice &c)
{
    QString colours = ConnectionInfoDialog::tr("full colour, lossless");
    if (c.lowColour)
        colours = ConnectionInfoDialog::tr("256 colours, lossless");
    else if (c.jpegQuality >= 0)
        colours = ConnectionInfoDialog::tr("full colour, JPEG quality %1 of 9").arg(c.jpegQuality);
    return ConnectionInfoDialog::tr("%1; compression level %2 of 9; asks for %3")
        .arg(colours)
        .arg(c.compressLevel)
        .arg(QString::fromLatin1(c.encodings).replace(QLatin1Char(' '), QLatin1String(", ")));
}

QString reason(AutoQuality::Reason why)
{
    switch (why) {
    case AutoQuality::Reason::NotMeasured:
        return ConnectionInfoDialog::tr("the link is not measured yet");
    case AutoQuality::Reason::FastLink:
        return ConnectionInfoDialog::tr("the link is fast enough for full colour");
    case AutoQuality::Reason::SlowLinkText:
        return ConnectionInfoDialog::tr("the link is slow and the picture is mostly text and flat areas, "
                                        "which 256 colours keep sharp in fewer bytes");
    case AutoQuality::Reason::SlowLinkPictures:
        return ConnectionInfoDialog::tr("the link is slow and the picture holds photographs, "
                                        "which JPEG sends in fewer bytes");
    case AutoQuality::Reason::VerySlowLink:
        break;
    }
    return ConnectionInfoDialog::tr("the link is very slow: 256 colours take the fewest bytes");
}

QString lineSpeed(int kbps)
{
    if (kbps < 0)
        return ConnectionInfoDialog::tr("not measured yet");
    if (kbps >= 1000)
        return ConnectionInfoDialog::tr("%L1 Mbit/s").arg(kbps / 1000.0, 0, 'f', 1);
    return ConnectionInfoDialog::tr("%L1 kbit/s").arg(kbps);
}
} // namespace

QList<ConnectionInfoDialog::Row> ConnectionInfoDialog::rows(const ConnectionInfo &info)
{
    const QString unknown = tr("unknown");
    const QString notMeasured = tr("not measured yet");
    const bool isAuto = info.quality == Quality::Auto;
    QString address = info.host.contains(QLatin1Char(':')) ? tr("[%1], port %2") : tr("%1, port %2");
    address = address.arg(info.host).arg(info.port);
    if (!info.connected)
        address = tr("%1 (not connected)").arg(address);
    const QLocale locale;
    return {
        {QStringLiteral("address"), tr("Server:"), address},
        {QStringLiteral("name"), tr("Desktop name:"), info.desktopName.isEmpty() ? unknown : info.desktopName},
        {QStringLiteral("protocol"), tr("Protocol:"),
         info.protocolMajor ? tr("RFB %1.%2").arg(info.protocolMajor).arg(info.protocolMinor) : unknown},
        {QStringLiteral("security"), tr("Security:"), security(info)},
        {QStringLiteral("encryption"), tr("Encryption:"), encryption(info)},
        {QStringLiteral("size"), tr("Desktop size:"),
         info.desktopSize.isEmpty()
             ? unknown
             : tr("%1 × %2 pixels").arg(info.desktopSize.width()).arg(info.desktopSize.height())},
        {QStringLiteral("pixelFormat"), tr("Pixel format:"),
         info.bitsPerPixel ? tr("%1 bits per pixel, depth %2").arg(info.bitsPerPixel).arg(info.depth) : unknown},
        {QStringLiteral("encodings"), tr("Encodings in use:"),
         info.encodingsUsed.isEmpty() ? tr("none yet") : info.encodingsUsed.join(QLatin1String(", "))},
        {QStringLiteral("continuous"), tr("Continuous updates:"), info.continuousUpdates ? tr("on") : tr("off")},
        {QStringLiteral("lineSpeed"), tr("Line speed:"), lineSpeed(info.lineSpeedKbps)},
        {QStringLiteral("roundTrip"), tr("Round trip:"),
         info.roundTripMs < 0 ? notMeasured : tr("%L1 ms").arg(info.roundTripMs)},
        {QStringLiteral("updates"), tr("Updates:"),
         info.connected ? tr("%L1 a second").arg(info.updatesPerSecond, 0, 'f', 1) : notMeasured},
        {QStringLiteral("bytes"), tr("Received:"),
         info.connected ? tr("%1 a second").arg(locale.formattedDataSize(qint64(info.bytesPerSecond), 1))
                        : notMeasured},
        {QStringLiteral("quality"), tr("Quality:"), qualityName(info.quality)},
        {QStringLiteral("choice"), isAuto ? tr("Chosen now:") : tr("In use:"), choice(info.choice)},
        {QStringLiteral("reason"), tr("Because:"), isAuto ? reason(info.reason) : QString()},
    };
}

ConnectionInfoDialog::ConnectionInfoDialog(QWidget *parent, std::function<ConnectionInfo()> source)
    : QDialog(parent), source(std::move(source))
{
    setObjectName(QStringLiteral("connectionInfoDialog"));
    setWindowTitle(tr("Connection information"));
    auto *page = new QWidget;
    form = new QFormLayout(page);
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    for (const Row &row : rows(ConnectionInfo())) {
        auto *value = new QLabel(page);
        value->setObjectName(QStringLiteral("info_") + row.name);
        value->setWordWrap(true);
        value->setTextFormat(Qt::PlainText);
        value->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
        form->addRow(row.label, value);
        values.insert(row.name, value);
    }
    // A small screen scrolls the rows, never the buttons.
    auto *area = new QScrollArea(this);
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area->setWidget(page);
    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(area);
    layout->addWidget(buttons);

    timer.setInterval(refreshMs);
    connect(&timer, &QTimer::timeout, this, &ConnectionInfoDialog::refresh);
    refresh();
    // Every row at once where the screen has room; a scroll area's own hint is smaller.
    const QMargins margins = layout->contentsMargins();
    const QSize room = screen()->availableSize() * 9 / 10;
    const int width = qMax(page->sizeHint().width(), fontMetrics().averageCharWidth() * 64);
    resize(QSize(width + area->verticalScrollBar()->sizeHint().width(),
                 page->sizeHint().height() + layout->spacing() + buttons->sizeHint().height())
               .grownBy(margins)
               .boundedTo(room));
}

void ConnectionInfoDialog::refresh()
{
    for (const Row &row : rows(source())) {
        QLabel *value = values.value(row.name);
        value->setText(row.value);
        if (auto *label = qobject_cast<QLabel *>(form->labelForField(value)))
            label->setText(row.label);
        form->setRowVisible(value, !row.value.isNull());
    }
}

void ConnectionInfoDialog::showEvent(QShowEvent *event)
{
    QDialog::showEvent(event);
    refresh();
    timer.start();
}

void ConnectionInfoDialog::hideEvent(QHideEvent *event)
{
    timer.stop();
    QDialog::hideEvent(event);
}

void ConnectionInfoDialog::keyPressEvent(QKeyEvent *event)
{
    if (event->key() == Qt::Key_Back || event->key() == Qt::Key_Context2) {
        reject();
        return;
    }
    QDialog::keyPressEvent(event);
}
