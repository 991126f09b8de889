#include "app/widgets/about_box.h"

#include <QDialogButtonBox>
#include <QFile>
#include <QGridLayout>
#include <QIcon>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>
#include <nettle/version.h>
#include <openssl/crypto.h>

namespace {

// The support contacts shown to the user. Like the switch defaults, they lie
// on the reserved example domain and in the fictional 555-01xx range: a
// pharmacy's own support line is not known here, and these reach no one
// by mistake.
const char* const WebAddress = "https://www.tuqnetwork.example/";
const char* const MailAddress = "support@tuqnetwork.example";
const char* const Telephone = "555-0100";

QString Resource(const QString& path)
{
    QFile file(path);
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

QString Heading(const QString& text)
{
    return text + "\n" + QString(text.size(), '=') + "\n\n";
}

QString LicenceNotices()
{
    QString text;
    text += Heading("OpenSSL");
    text += QString("This product uses OpenSSL (%1), the OpenSSL toolkit of the OpenSSL Project "
                    "(https://www.openssl.org/), for its TLS connections. OpenSSL 3 is licensed "
                    "under the Apache License 2.0:\n\n")
                .arg(OpenSSL_version(OPENSSL_VERSION));
    text += Resource(":/notices/Apache-2.0.txt") + "\n\n";
    text += Heading("Qt");
    text += QString("This product uses the Qt toolkit %1 (https://www.qt.io/), copyright The Qt "
                    "Company Ltd. and other contributors, under the GNU Lesser General Public "
                    "License version 3, given below after the Nettle notice.\n\n")
                .arg(qVersion());
    text += Heading("Nettle");
    text += QString("This product uses the Nettle cryptographic library %1.%2 "
                    "(https://www.lysator.liu.se/~nisse/nettle/), copyright Niels Möller and "
                    "contributors, for Twofish, under the GNU Lesser General Public License "
                    "version 3 (Nettle may also be used under the GNU General Public License "
                    "version 2 or later).\n\n")
                .arg(nettle_version_major())
                .arg(nettle_version_minor());
    text += Heading("GNU Lesser General Public License version 3");
    text += Resource(":/notices/LGPL-3.txt") + "\n\n";
    text += Heading("GNU General Public License version 3");
    text += Resource(":/notices/GPL-3.txt");
    return text;
}

QLabel* Link(const QString& url, const QString& shown, QWidget* parent)
{
    auto* label = new QLabel(QString("<a href=\"%1\">%2</a>").arg(url.toHtmlEscaped(), shown.toHtmlEscaped()),
                             parent);
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    return label;
}

} // namespace

QString FileVersionText()
{
    const QString version = CORVANE_VERSION;
    return "File Version: " + (version.isEmpty() ? QString("< No Data Available >") : version);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent)
{
    setWindowTitle("About");
    setWindowIcon(QIcon(":/icons/corvane.svg"));

    auto* icon = new QLabel(this);
    icon->setPixmap(QIcon(":/icons/corvane.svg").pixmap(48, 48));
    auto* product = new QLabel("Corvane", this);
    QFont big = product->font();
    big.setPointSizeF(big.pointSizeF() * 1.6);
    big.setBold(true);
    product->setFont(big);
    auto* version = new QLabel(FileVersionText(), this);
    version->setObjectName("version");

    auto* contact = new QGridLayout;
    contact->addWidget(new QLabel("Contact Information:", this), 0, 0, 1, 2);
    contact->addWidget(new QLabel("Internet:", this), 1, 0);
    contact->addWidget(Link(WebAddress, WebAddress, this), 1, 1);
    contact->addWidget(new QLabel("E-mail", this), 2, 0);
    contact->addWidget(Link(QString("mailto:") + MailAddress, MailAddress, this), 2, 1);
    contact->addWidget(new QLabel("Telephone:", this), 3, 0);
    contact->addWidget(new QLabel(Telephone, this), 3, 1);
    contact->setColumnStretch(1, 1);

    auto* identity = new QVBoxLayout;
    identity->addWidget(product);
    identity->addWidget(version);
    identity->addSpacing(8);
    identity->addLayout(contact);
    auto* top = new QHBoxLayout;
    top->addWidget(icon, 0, Qt::AlignTop);
    top->addSpacing(12);
    top->addLayout(identity, 1);

    auto* notices = new QPlainTextEdit(LicenceNotices(), this);
    notices->setObjectName("notices");
    notices->setReadOnly(true);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    QPushButton* ok = buttons->button(QDialogButtonBox::Ok);
    ok->setDefault(true);
    // OK is the cancel button too: Escape closes the box as OK does.
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(notices, 1);
    layout->addWidget(buttons);
    setFixedSize(480, 420);
}
