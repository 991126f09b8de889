#include "app/widgets/options_dialog.h"

#include "config/settings.h"
#include "sources/path_ops.h"

#include <QApplication>
#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QFormLayout>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QVBoxLayout>

namespace {

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

std::string S(const QString& text)
{
    return text.toStdString();
}

// Typed keys other than digits are swallowed; control characters (copy,
// paste, cut, backspace) pass, so pasted text reaches the edit as it is.
class DigitKeys : public QObject {
public:
    DigitKeys(QObject* parent, bool oneDot) : QObject(parent), oneDot_(oneDot) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::KeyPress)
            return false;
        QString text = static_cast<QKeyEvent*>(event)->text();
        if (text.size() != 1 || !text[0].isPrint() || text[0].isDigit())
            return false;
        if (oneDot_ && text == "." && !static_cast<QLineEdit*>(watched)->text().contains('.'))
            return false;
        return true;
    }

private:
    bool oneDot_;
};

class BoxQuestion : public FolderQuestion {
public:
    explicit BoxQuestion(QWidget* parent) : parent_(parent) {}
    Answer Ask(const std::string& title, const std::string& question) override
    {
        QApplication::beep();
        auto answer = QMessageBox::question(parent_, Q(title), Q(question),
                                            QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
        return answer == QMessageBox::Yes ? Answer::Yes : answer == QMessageBox::No ? Answer::No : Answer::Cancel;
    }

private:
    QWidget* parent_;
};

QLineEdit* Edit(const char* name)
{
    auto* edit = new QLineEdit;
    edit->setObjectName(name);
    return edit;
}

QLineEdit* DigitsEdit(const char* name)
{
    QLineEdit* edit = Edit(name);
    edit->installEventFilter(new DigitKeys(edit, false));
    return edit;
}

QCheckBox* Box(const QString& text, const char* name)
{
    auto* box = new QCheckBox(text);
    box->setObjectName(name);
    return box;
}

QPushButton* Button(const QString& text, const char* name)
{
    auto* button = new QPushButton(text);
    button->setObjectName(name);
    return button;
}

// An edit with a "..." button beside it.
QWidget* WithPicker(QLineEdit* edit, QPushButton* button)
{
    auto* row = new QWidget;
    auto* layout = new QHBoxLayout(row);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(edit);
    button->setMaximumWidth(32);
    layout->addWidget(button);
    return row;
}

// Radios of one group that may all be unchecked.
void CheckNone(QButtonGroup* group)
{
    group->setExclusive(false);
    for (QAbstractButton* button : group->buttons())
        button->setChecked(false);
    group->setExclusive(true);
}

// One line for every control a user may wonder about, by object name.
const std::pair<const char*, const char*> kToolTips[] = {
    {"Network1CheckBox", "Send claims to host 1."},
    {"Network2CheckBox", "Send claims to host 2 when host 1 cannot be reached."},
    {"Network3CheckBox", "Send claims to host 3 when hosts 1 and 2 cannot be reached."},
    {"ModemCheckBox", "Send claims by modem call (VISA II) when no host can be reached."},
    {"OutHost1Edit", "Name or IP address of Tuq host 1."},
    {"OutPort1AEdit", "First port of host 1 (0: unassigned)."},
    {"OutPort1BEdit", "Second port of host 1 (0: unassigned)."},
    {"OutHost2Edit", "Name or IP address of Tuq host 2."},
    {"OutPort2AEdit", "First port of host 2 (0: unassigned)."},
    {"OutPort2BEdit", "Second port of host 2 (0: unassigned)."},
    {"OutHost3Edit", "Name or IP address of Tuq host 3."},
    {"OutPort3AEdit", "First port of host 3 (0: unassigned)."},
    {"OutPort3BEdit", "Second port of host 3 (0: unassigned)."},
    {"TapiReplyTimeoutEdit", "Number of seconds to wait for claim response from Tuq dial-up server."},
    {"TapiRetriesEdit", "Number of times to dial before giving up."},
    {"TapiRetryDelayEdit", "Number of seconds to wait between dial attempts."},
    {"DNLanRadioButton", "The network is always there (local area network or permanent connection)."},
    {"DNPhoneRadioButton", "Dial up the network through this dial-up networking entry first."},
    {"DNConnectionComboBox", "Dial-up networking entry (a pppd peer) to dial."},
    {"DNStartupCheckBox", "If checked, connect to ISP on program startup"},
    {"NetPersistCheckBox", "If checked, socket connection to Tuq persists when there are no pending transactions."},
    {"NetWriteTimeoutEdit", "Number of seconds allowed to write a claim to a host port."},
    {"NetConnectTimeoutEdit", "Number of seconds allowed to connect to a host port."},
    {"NetOverallTimeoutEdit", "Total number of seconds allowed to process claim via the network hosts."},
    {"NetTwofishCheckBox", "If checked, claim data buffer is internally encrypted using 128-bit Twofish algorithm."},
    {"NetEnableSSLCheckBox", "If checked, the connection to Tuq uses SSL with a client certificate."},
    {"SSLCertificateEdit", "PEM file holding the client certificate and its private key."},
    {"SSLCertificateFileButton", "Select the SSL client certificate file."},
    {"SSLCAFileEdit", "PEM file of the certificate authority that signed Tuq's certificate."},
    {"SSLCAFileButton", "Select the SSL certificate authority file."},
    {"SSLClientPasswordEdit", "Password of the client certificate's private key."},
    {"MaskSSLPwdCheckBox", "If checked, the password is shown as '*' characters."},
    {"ClaimDirectoryRadioButton", "Claims arrive as files matching this mask."},
    {"ClaimFileMaskEdit", "Folder and wildcard of the claim files, such as /home/pharmacy/TuqData/*.clm"},
    {"SerialPortRadioButton", "Claims arrive on this serial port from a pharmacy system that dials a modem."},
    {"DTRDSR", "DTR/DSR hardware flow control."},
    {"RTSCTS", "RTS/CTS hardware flow control."},
    {"XOnEdit", "Character code of XON."},
    {"XOffEdit", "Character code of XOFF."},
    {"Visa2CheckBox", "Checked if the pharmacy system speaks VISA II (else VISA I)."},
    {"LrcCheckBox", "Checked if a checksum follows claim data."},
    {"EnqHalfSecCheckBox", "If checked, pause before sending ENQ after connecting."},
    {"ClosePortCheckBox", "Check if desire serial port to close for 1 sec. when VISA 1 claim complete"},
    {"EnqPauseEdit", "Number of seconds to pause before sending ENQ after connecting."},
    {"SPClientRetriesEdit", "Number of times to try to send response to client via serial port."},
    {"DSSocketRadioButton", "Claims arrive from client computers on the inbound socket port."},
    {"DSInHostEdit", "The name or IP address of the local computer."},
    {"DSInPortEdit", "Port on which Corvane listens for inbound connections."},
    {"DSIdleTimeoutEdit", "Number of seconds of inactivity after which an inbound connection is terminated."},
    {"DSInSocketFormatComboBox", "Format of data received from client computers."},
    {"ClaimFileRetriesEdit",
     "Number of attempts allowed to send claim before responding with Host Unavailable message."},
    {"ClaimFileRetryDelayEdit",
     "Number of seconds to wait after a communications failure before a resend is attempted."},
    {"TrimAtNewlineCheckBox", "Only send first line of data in file."},
    {"ResponseFileExtEdit", "Extension of the response files, such as .rsp"},
    {"ResponseFileFolderEdit", "Folder for the response files; empty writes them beside the claim files."},
    {"ClaimFileArchiveFolderEdit",
     "If specify, processed claim files will be moved to this folder.  Otherwise, processed claim files are "
     "deleted."},
    {"ClaimFileArchiveTimestampCheckBox",
     "If checked, append timestamp to archived claim files when duplicate names exist.  Otherwise, overwrite "
     "duplicate files."},
    {"DebugFileEdit", "File of the general log; its folder must exist."},
    {"DebugFileButton", "Select the log file."},
    {"SPDebugCheckBox", "If checked, all incoming serial port characters are written to log file."},
    {"NetDebugFileEdit", "File of the network communications log; its folder must exist."},
    {"SSLDebugFileButton", "Select the network communications log file."},
    {"NetDebugCheckBox", "If checked, network communications are written to their log file."},
    {"SystemIdEdit", "A short name to include at end of generated error responses."},
    {"PharmacyConfigComboBox", "The pharmacy system and modem that dial in on the serial port."},
};

}  // namespace

OptionsDialog::OptionsDialog(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
    , boxQuestion_(std::make_unique<BoxQuestion>(this))
    , question_(boxQuestion_.get())
{
    setWindowTitle("Options");
    showError = [this](const std::string& text) { QMessageBox::critical(this, "Error!", Q(text)); };
    pages_ = new QTabWidget;
    pages_->addTab(TuqConnectionPage(), "Tuq Connection");
    pages_->addTab(NetworkPage(), "Network");
    pages_->addTab(SecurityPage(), "Security");
    pages_->addTab(DataSourcePage(), "Data Source");
    pages_->addTab(LogPage(), "Log / Misc");

    auto* buttons = new QDialogButtonBox;
    QPushButton* ok = buttons->addButton("&OK", QDialogButtonBox::AcceptRole);
    ok->setObjectName("OKButton");
    ok->setDefault(true);
    buttons->addButton("&Cancel", QDialogButtonBox::RejectRole)->setObjectName("CancelButton");
    connect(ok, &QPushButton::clicked, this, &OptionsDialog::OKButtonClick);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(pages_);
    layout->addWidget(buttons);
    for (const auto& [name, tip] : kToolTips)
        if (auto* control = findChild<QWidget*>(name))
            control->setToolTip(tip);
}

OptionsDialog::~OptionsDialog() = default;

QWidget* OptionsDialog::TuqConnectionPage()
{
    auto* page = new QWidget;
    auto* hosts = new QGridLayout;
    hosts->addWidget(new QLabel("Port A"), 0, 2);
    hosts->addWidget(new QLabel("Port B"), 0, 3);
    for (int i = 0; i < 3; ++i) {
        std::string n = std::to_string(i + 1);
        hostBox_[i] = Box("Host &" + Q(n), ("Network" + n + "CheckBox").c_str());
        hostEdit_[i] = Edit(("OutHost" + n + "Edit").c_str());
        portAEdit_[i] = DigitsEdit(("OutPort" + n + "AEdit").c_str());
        portBEdit_[i] = DigitsEdit(("OutPort" + n + "BEdit").c_str());
        hosts->addWidget(hostBox_[i], i + 1, 0);
        hosts->addWidget(hostEdit_[i], i + 1, 1);
        hosts->addWidget(portAEdit_[i], i + 1, 2);
        hosts->addWidget(portBEdit_[i], i + 1, 3);
    }
    hosts->setColumnStretch(1, 1);

    auto* modem = new QFormLayout;
    modemBox_ = Box("&Modem / VISA II", "ModemCheckBox");
    modemNameEdit_ = Edit("ModemNameEdit");
    modemNameEdit_->setReadOnly(true);
    QPushButton* select = Button("...", "ModemSelectButton");
    connect(select, &QPushButton::clicked, this, &OptionsDialog::SelectModem);
    QPushButton* configure = Button("Modem &Settings...", "ModemPropertiesButton");
    connect(configure, &QPushButton::clicked, this, &OptionsDialog::ConfigureModem);
    phoneEdit_ = Edit("PhoneNumberEdit");
    statusPanelBox_ = Box("Display status panel during connect", "ShowTapiStatusPanelCheckBox");
    tapiReplyTimeoutEdit_ = DigitsEdit("TapiReplyTimeoutEdit");
    tapiRetriesEdit_ = DigitsEdit("TapiRetriesEdit");
    tapiRetryDelayEdit_ = DigitsEdit("TapiRetryDelayEdit");
    modem->addRow(modemBox_, configure);
    modem->addRow("Modem Name", WithPicker(modemNameEdit_, select));
    modem->addRow("Telephone Number", phoneEdit_);
    modem->addRow(statusPanelBox_);
    modem->addRow("Reply Timeout (sec.)", tapiReplyTimeoutEdit_);
    modem->addRow("Dial Attempts", tapiRetriesEdit_);
    modem->addRow("Retry Delay (sec.)", tapiRetryDelayEdit_);

    auto* layout = new QVBoxLayout(page);
    layout->addLayout(hosts);
    layout->addLayout(modem);
    layout->addStretch();
    return page;
}

QWidget* OptionsDialog::NetworkPage()
{
    auto* page = new QWidget;
    lanRadio_ = new QRadioButton("Connect using local area network (LAN)");
    lanRadio_->setObjectName("DNLanRadioButton");
    dialUpRadio_ = new QRadioButton("Connect using the following Dial-Up Networking entry:");
    dialUpRadio_->setObjectName("DNPhoneRadioButton");
    connectionGroup_ = new QButtonGroup(page);
    connectionGroup_->addButton(lanRadio_);
    connectionGroup_->addButton(dialUpRadio_);
    connect(connectionGroup_, &QButtonGroup::buttonToggled, this, &OptionsDialog::UpdateRules);
    entryCombo_ = new QComboBox;
    entryCombo_->setObjectName("DNConnectionComboBox");
    connect(entryCombo_, &QComboBox::activated, this, &OptionsDialog::SelectEntry);
    connectOnStartupBox_ = Box("Connect on startup", "DNStartupCheckBox");

    auto* dial = new QGroupBox(" Dial Parameters ");
    auto* dialForm = new QFormLayout(dial);
    dialUserEdit_ = Edit("DialUpUserEdit");
    dialPasswordEdit_ = Edit("DialUpPasswordEdit");
    dialPasswordEdit_->setEchoMode(QLineEdit::Password);
    dialPhoneEdit_ = Edit("DialUpPhoneEdit");
    dialDomainEdit_ = Edit("DialUpDomainEdit");
    dialForm->addRow("User name", dialUserEdit_);
    dialForm->addRow("Password", dialPasswordEdit_);
    dialForm->addRow("Phone number", dialPhoneEdit_);
    dialForm->addRow("Domain", dialDomainEdit_);

    persistentBox_ = Box("Persistent Connection", "NetPersistCheckBox");
    auto* timeouts = new QGroupBox("Timeouts per Host Port (seconds)");
    auto* timeoutForm = new QFormLayout(timeouts);
    connectTimeoutEdit_ = DigitsEdit("NetConnectTimeoutEdit");
    writeTimeoutEdit_ = DigitsEdit("NetWriteTimeoutEdit");
    timeoutForm->addRow("Connect", connectTimeoutEdit_);
    timeoutForm->addRow("Write", writeTimeoutEdit_);
    overallTimeoutEdit_ = DigitsEdit("NetOverallTimeoutEdit");

    auto* layout = new QVBoxLayout(page);
    layout->addWidget(lanRadio_);
    layout->addWidget(dialUpRadio_);
    layout->addWidget(entryCombo_);
    layout->addWidget(connectOnStartupBox_);
    layout->addWidget(dial);
    layout->addWidget(persistentBox_);
    layout->addWidget(timeouts);
    auto* overall = new QFormLayout;
    overall->addRow("Overall Timeout (seconds)", overallTimeoutEdit_);
    layout->addLayout(overall);
    layout->addStretch();
    return page;
}

QWidget* OptionsDialog::SecurityPage()
{
    auto* page = new QWidget;
    auto* type = new QGroupBox("Security Type");
    auto* typeLayout = new QVBoxLayout(type);
    twofishBox_ = Box("128-bit Twofish Security", "NetTwofishCheckBox");
    sslBox_ = Box("Secure Socket Layer (SSL) Communications", "NetEnableSSLCheckBox");
    typeLayout->addWidget(twofishBox_);
    typeLayout->addWidget(sslBox_);

    const QString pem = "SSL PEM Files (*.pem);;All Files (*)";
    certificateEdit_ = Edit("SSLCertificateEdit");
    QPushButton* certificate = Button("...", "SSLCertificateFileButton");
    connect(certificate, &QPushButton::clicked, this,
            [this, pem] { PickFile(certificateEdit_, "Select SSL Client Certificate File", pem); });
    caEdit_ = Edit("SSLCAFileEdit");
    QPushButton* ca = Button("...", "SSLCAFileButton");
    connect(ca, &QPushButton::clicked, this,
            [this, pem] { PickFile(caEdit_, "Select SSL Certificate Authority File", pem); });
    passwordEdit_ = Edit("SSLClientPasswordEdit");
    maskPasswordBox_ = Box("Mask SSL Password", "MaskSSLPwdCheckBox");
    maskPasswordBox_->setChecked(true);
    connect(maskPasswordBox_, &QCheckBox::toggled, this, &OptionsDialog::UpdateRules);

    auto* form = new QFormLayout;
    form->addRow("SSL Client Certificate File", WithPicker(certificateEdit_, certificate));
    form->addRow("SSL Certificate Authority File", WithPicker(caEdit_, ca));
    form->addRow("SSL Client Private Key Password", passwordEdit_);
    form->addRow(maskPasswordBox_);
    auto* layout = new QVBoxLayout(page);
    layout->addWidget(type);
    layout->addLayout(form);
    layout->addStretch();
    return page;
}

QWidget* OptionsDialog::DataSourcePage()
{
    auto* page = new QWidget;
    claimRadio_ = new QRadioButton("C&laim File Mask:");
    claimRadio_->setObjectName("ClaimDirectoryRadioButton");
    serialRadio_ = new QRadioButton("Se&rial Port:");
    serialRadio_->setObjectName("SerialPortRadioButton");
    socketRadio_ = new QRadioButton("Soc&ket Port:");
    socketRadio_->setObjectName("DSSocketRadioButton");
    sourceGroup_ = new QButtonGroup(page);
    sourceGroup_->addButton(claimRadio_);
    sourceGroup_->addButton(serialRadio_);
    sourceGroup_->addButton(socketRadio_);

    auto* layout = new QGridLayout(page);
    layout->addWidget(ClaimFilesGroup(), 0, 0);
    layout->addWidget(SocketPortGroup(), 1, 0);
    layout->addWidget(SerialPortGroup(), 0, 1, 2, 1);
    return page;
}

QWidget* OptionsDialog::ClaimFilesGroup()
{
    auto* group = new QGroupBox;
    auto* form = new QFormLayout(group);
    maskEdit_ = Edit("ClaimFileMaskEdit");
    QPushButton* mask = Button("...", "ClaimDataDirectoryButton");
    connect(mask, &QPushButton::clicked, this, &OptionsDialog::PickClaimMask);
    claimRetriesEdit_ = DigitsEdit("ClaimFileRetriesEdit");
    claimRetryDelayEdit_ = DigitsEdit("ClaimFileRetryDelayEdit");
    trimBox_ = Box("Trim at newline", "TrimAtNewlineCheckBox");
    responseExtEdit_ = Edit("ResponseFileExtEdit");
    responseFolderEdit_ = Edit("ResponseFileFolderEdit");
    QPushButton* response = Button("...", "ResponseFolderButton");
    connect(response, &QPushButton::clicked, this, [this] { PickFolder(responseFolderEdit_); });
    archiveFolderEdit_ = Edit("ClaimFileArchiveFolderEdit");
    QPushButton* archive = Button("...", "ClaimArchiveFolderButton");
    connect(archive, &QPushButton::clicked, this, [this] { PickFolder(archiveFolderEdit_); });
    archiveTimestampBox_ = Box("Timestamp collision files", "ClaimFileArchiveTimestampCheckBox");
    // The paths are long: each gets a row of its own under its label.
    form->setRowWrapPolicy(QFormLayout::WrapLongRows);
    form->addRow(claimRadio_);
    form->addRow(WithPicker(maskEdit_, mask));
    form->addRow("Attempts", claimRetriesEdit_);
    form->addRow("Retry Delay (sec.)", claimRetryDelayEdit_);
    form->addRow(trimBox_);
    form->addRow("Response File Extension:", responseExtEdit_);
    form->addRow(new QLabel("Response File Folder (optional):"));
    form->addRow(WithPicker(responseFolderEdit_, response));
    form->addRow(new QLabel("Claim File Archive Folder (optional):"));
    form->addRow(WithPicker(archiveFolderEdit_, archive));
    form->addRow(archiveTimestampBox_);
    return group;
}

QWidget* OptionsDialog::SerialPortGroup()
{
    auto* group = new QGroupBox;
    auto* form = new QFormLayout(group);
    comPortCombo_ = new QComboBox;
    comPortCombo_->setObjectName("ComPortComboBox");
    baudCombo_ = new QComboBox;
    baudCombo_->setObjectName("BaudComboBox");
    for (int rate : kBaudRates)
        baudCombo_->addItem(QString::number(rate), rate);
    parityCombo_ = new QComboBox;
    parityCombo_->setObjectName("ParityComboBox");
    parityCombo_->addItems({"None", "Odd", "Even", "Mark", "Space"});

    auto* bits = new QWidget;
    auto* bitsLayout = new QHBoxLayout(bits);
    bitsLayout->setContentsMargins(0, 0, 0, 0);
    dataBitsGroup_ = new QButtonGroup(group);
    for (int count : {8, 7, 6, 5}) {
        auto* radio = new QRadioButton(QString::number(count));
        dataBitsGroup_->addButton(radio, count);
        bitsLayout->addWidget(radio);
    }
    auto* stops = new QWidget;
    auto* stopsLayout = new QHBoxLayout(stops);
    stopsLayout->setContentsMargins(0, 0, 0, 0);
    stopBitsGroup_ = new QButtonGroup(group);
    for (int count : {1, 2}) {
        auto* radio = new QRadioButton(QString::number(count));
        stopBitsGroup_->addButton(radio, count);
        stopsLayout->addWidget(radio);
    }

    auto* flow = new QGroupBox("&Flow control:");
    auto* flowLayout = new QGridLayout(flow);
    dtrDsrBox_ = Box("DTR/DSR", "DTRDSR");
    rtsCtsBox_ = Box("RTS/CTS", "RTSCTS");
    softwareTransmitBox_ = Box("Software transmit", "SoftwareTransmitCheckBox");
    softwareReceiveBox_ = Box("Software receive", "SoftwareReceiveCheckBox");
    xonEdit_ = DigitsEdit("XOnEdit");
    xoffEdit_ = DigitsEdit("XOffEdit");
    flowLayout->addWidget(dtrDsrBox_, 0, 0);
    flowLayout->addWidget(rtsCtsBox_, 1, 0);
    flowLayout->addWidget(softwareTransmitBox_, 0, 1);
    flowLayout->addWidget(softwareReceiveBox_, 1, 1);
    flowLayout->addWidget(new QLabel("Xon:"), 2, 0);
    flowLayout->addWidget(xonEdit_, 2, 1);
    flowLayout->addWidget(new QLabel("Xoff:"), 3, 0);
    flowLayout->addWidget(xoffEdit_, 3, 1);

    visa2Box_ = Box("VISA II Protocol", "Visa2CheckBox");
    lrcBox_ = Box("LRC", "LrcCheckBox");
    enqPauseBox_ = Box("ENQ Pause (seconds):", "EnqHalfSecCheckBox");
    connect(enqPauseBox_, &QCheckBox::toggled, this, &OptionsDialog::UpdateRules);
    enqPauseEdit_ = Edit("EnqPauseEdit");
    enqPauseEdit_->installEventFilter(new DigitKeys(enqPauseEdit_, true));
    closePortBox_ = Box("Close Port on VISA 1 Hangup", "ClosePortCheckBox");
    spClientRetriesEdit_ = DigitsEdit("SPClientRetriesEdit");

    form->addRow(serialRadio_, comPortCombo_);
    form->addRow("&Baud Rate", baudCombo_);
    form->addRow("&Parity", parityCombo_);
    form->addRow("&Data bits:", bits);
    form->addRow("Stop bits:", stops);
    form->addRow(flow);
    form->addRow(visa2Box_, lrcBox_);
    form->addRow(enqPauseBox_, enqPauseEdit_);
    form->addRow(closePortBox_);
    form->addRow("Response Attempts", spClientRetriesEdit_);
    return group;
}

QWidget* OptionsDialog::SocketPortGroup()
{
    auto* group = new QGroupBox;
    auto* form = new QFormLayout(group);
    inHostEdit_ = Edit("DSInHostEdit");
    inPortEdit_ = DigitsEdit("DSInPortEdit");
    idleTimeoutEdit_ = DigitsEdit("DSIdleTimeoutEdit");
    formatCombo_ = new QComboBox;
    formatCombo_->setObjectName("DSInSocketFormatComboBox");
    for (const std::string& name : InboundFormatNames())
        formatCombo_->addItem(Q(name));
    form->addRow(socketRadio_);
    form->addRow("Host", inHostEdit_);
    form->addRow("Port", inPortEdit_);
    form->addRow("Idle Timeout", idleTimeoutEdit_);
    form->addRow("Format", formatCombo_);
    return group;
}

QWidget* OptionsDialog::LogPage()
{
    auto* page = new QWidget;
    auto* form = new QFormLayout(page);
    const QString all = "All Files (*)";
    debugFileEdit_ = Edit("DebugFileEdit");
    QPushButton* debugFile = Button("...", "DebugFileButton");
    connect(debugFile, &QPushButton::clicked, this, [this, all] { PickFile(debugFileEdit_, "Select Log File", all); });
    debugBox_ = Box("Write Messages", "DebugCheckBox");
    connect(debugBox_, &QCheckBox::toggled, this, &OptionsDialog::UpdateRules);
    serialDebugBox_ = Box("Also, write all incoming serial port data.", "SPDebugCheckBox");
    netDebugFileEdit_ = Edit("NetDebugFileEdit");
    QPushButton* netDebugFile = Button("...", "SSLDebugFileButton");
    connect(netDebugFile, &QPushButton::clicked, this,
            [this, all] { PickFile(netDebugFileEdit_, "Select Network Log File", all); });
    netDebugBox_ = Box("Write Network Communications Messages", "NetDebugCheckBox");
    systemIdEdit_ = Edit("SystemIdEdit");
    systemIdEdit_->setMaxLength(8);
    connect(systemIdEdit_, &QLineEdit::textEdited, this, [this](const QString& text) {
        int cursor = systemIdEdit_->cursorPosition();
        systemIdEdit_->setText(text.toUpper());
        systemIdEdit_->setCursorPosition(cursor);
    });
    pharmacyCombo_ = new QComboBox;
    pharmacyCombo_->setObjectName("PharmacyConfigComboBox");
    for (const std::string& name : PharmacyConfigNames())
        pharmacyCombo_->addItem(Q(name));

    form->addRow("&Log File (except Network communications)", WithPicker(debugFileEdit_, debugFile));
    form->addRow(debugBox_);
    form->addRow(serialDebugBox_);
    form->addRow("Network Communications Log File", WithPicker(netDebugFileEdit_, netDebugFile));
    form->addRow(netDebugBox_);
    form->addRow("System ID", systemIdEdit_);
    form->addRow("Pharmacy Configuration", pharmacyCombo_);
    return page;
}

bool OptionsDialog::Execute()
{
    Load();
    return exec() == QDialog::Accepted;
}

void OptionsDialog::Load()
{
    pages_->setCurrentIndex(0);
    loaded_ = LoadOptionsValues(LoadPurpose::Dialog);
    Show(loaded_);
}

void OptionsDialog::Show(const OptionsValues& v)
{
    for (int i = 0; i < 3; ++i) {
        hostBox_[i]->setChecked(v.hostEnabled[i]);
        hostEdit_[i]->setText(Q(v.hostName[i]));
        portAEdit_[i]->setText(Q(v.portA[i]));
        portBEdit_[i]->setText(Q(v.portB[i]));
    }
    modemBox_->setChecked(v.connectViaTapi);
    modemNameEdit_->setText(Q(v.modemName));
    phoneEdit_->setText(Q(v.phoneNumber));
    statusPanelBox_->setChecked(v.showTapiStatusPanel);
    tapiReplyTimeoutEdit_->setText(Q(v.tapiReplyTimeout));
    tapiRetriesEdit_->setText(Q(v.tapiRetries));
    tapiRetryDelayEdit_->setText(Q(v.tapiRetryDelay));
    ShowDialUp(v);

    twofishBox_->setChecked(v.twofish);
    sslBox_->setChecked(v.ssl);
    certificateEdit_->setText(Q(v.certificateFile));
    caEdit_->setText(Q(v.caFile));
    passwordEdit_->setText(Q(v.clientPassword));

    CheckNone(sourceGroup_);
    claimRadio_->setChecked(v.dataSource == DataSourceChoice::ClaimFiles);
    serialRadio_->setChecked(v.dataSource == DataSourceChoice::SerialPort);
    socketRadio_->setChecked(v.dataSource == DataSourceChoice::SocketPort);
    maskEdit_->setText(Q(v.claimFileMask));
    claimRetriesEdit_->setText(Q(v.claimFileRetries));
    claimRetryDelayEdit_->setText(Q(v.claimFileRetryDelay));
    trimBox_->setChecked(v.trimAtNewline);
    responseExtEdit_->setText(Q(v.responseFileExtension));
    responseFolderEdit_->setText(Q(v.responseFileFolder));
    archiveFolderEdit_->setText(Q(v.archiveFolder));
    archiveTimestampBox_->setChecked(v.archiveTimestamp);
    ShowSerialPort(v);
    inHostEdit_->setText(Q(v.inboundHost));
    inPortEdit_->setText(Q(v.inboundPort));
    idleTimeoutEdit_->setText(Q(v.idleTimeout));
    formatCombo_->setCurrentIndex(v.inboundFormatIndex);

    debugFileEdit_->setText(Q(v.debugFileName));
    debugBox_->setChecked(v.debugMessages);
    serialDebugBox_->setChecked(v.serialPortMessages);
    netDebugFileEdit_->setText(Q(v.netDebugFileName));
    netDebugBox_->setChecked(v.netDebugMessages);
    systemIdEdit_->setText(Q(v.systemId));
    pharmacyCombo_->setCurrentIndex(v.pharmacyConfig);
    UpdateRules();
}

void OptionsDialog::ShowDialUp(const OptionsValues& v)
{
    CheckNone(connectionGroup_);
    lanRadio_->setChecked(v.lanSelected);
    dialUpRadio_->setChecked(v.dialUpSelected);
    entryCombo_->clear();
    for (const std::string& entry : v.dialUpEntries)
        entryCombo_->addItem(Q(entry));
    entryCombo_->setCurrentText(Q(v.dialUpConnection));
    connectOnStartupBox_->setChecked(v.connectOnStartup);
    dialUserEdit_->setText(Q(v.dialUpUser));
    dialPasswordEdit_->setText(Q(v.dialUpPassword));
    dialPhoneEdit_->setText(Q(v.dialUpPhone));
    dialDomainEdit_->setText(Q(v.dialUpDomain));
    persistentBox_->setChecked(v.persistentConnection);
    connectTimeoutEdit_->setText(Q(v.connectTimeout));
    writeTimeoutEdit_->setText(Q(v.writeTimeout));
    overallTimeoutEdit_->setText(Q(v.overallTimeout));
}

void OptionsDialog::ShowSerialPort(const OptionsValues& v)
{
    comPortCombo_->clear();
    for (int number : v.comPorts)
        comPortCombo_->addItem("Direct to COM" + QString::number(number), number);
    comPortCombo_->setCurrentIndex(comPortCombo_->findData(v.comNumber));
    baudCombo_->setCurrentIndex(baudCombo_->findData(v.baud));
    parityCombo_->setCurrentIndex(v.parity);
    dataBitsGroup_->button(v.dataBits)->setChecked(true);
    stopBitsGroup_->button(v.stopBits)->setChecked(true);
    dtrDsrBox_->setChecked(v.dtrDsr);
    rtsCtsBox_->setChecked(v.rtsCts);
    softwareTransmitBox_->setChecked(v.softwareTransmit);
    softwareReceiveBox_->setChecked(v.softwareReceive);
    xonEdit_->setText(Q(v.xonChar));
    xoffEdit_->setText(Q(v.xoffChar));
    visa2Box_->setChecked(v.visa2);
    lrcBox_->setChecked(v.lrc);
    enqPauseBox_->setChecked(v.enqPauseEnabled);
    enqPauseEdit_->setText(Q(v.enqPause));
    closePortBox_->setChecked(v.closePortOnHangup);
    spClientRetriesEdit_->setText(Q(v.spClientRetries));
}

OptionsValues OptionsDialog::Values() const
{
    OptionsValues v = loaded_;
    for (int i = 0; i < 3; ++i) {
        v.hostEnabled[i] = hostBox_[i]->isChecked();
        v.hostName[i] = S(hostEdit_[i]->text());
        v.portA[i] = S(portAEdit_[i]->text());
        v.portB[i] = S(portBEdit_[i]->text());
    }
    v.connectViaTapi = modemBox_->isChecked();
    v.modemName = S(modemNameEdit_->text());
    v.phoneNumber = S(phoneEdit_->text());
    v.showTapiStatusPanel = statusPanelBox_->isChecked();
    v.tapiReplyTimeout = S(tapiReplyTimeoutEdit_->text());
    v.tapiRetries = S(tapiRetriesEdit_->text());
    v.tapiRetryDelay = S(tapiRetryDelayEdit_->text());
    ReadDialUp(v);

    v.twofish = twofishBox_->isChecked();
    v.ssl = sslBox_->isChecked();
    v.certificateFile = S(certificateEdit_->text());
    v.caFile = S(caEdit_->text());
    v.clientPassword = S(passwordEdit_->text());

    v.dataSource = claimRadio_->isChecked()    ? DataSourceChoice::ClaimFiles
                   : serialRadio_->isChecked() ? DataSourceChoice::SerialPort
                   : socketRadio_->isChecked() ? DataSourceChoice::SocketPort
                                               : DataSourceChoice::None;
    v.claimFileMask = S(maskEdit_->text());
    v.claimFileRetries = S(claimRetriesEdit_->text());
    v.claimFileRetryDelay = S(claimRetryDelayEdit_->text());
    v.trimAtNewline = trimBox_->isChecked();
    v.responseFileExtension = S(responseExtEdit_->text());
    v.responseFileFolder = S(responseFolderEdit_->text());
    v.archiveFolder = S(archiveFolderEdit_->text());
    v.archiveTimestamp = archiveTimestampBox_->isChecked();
    ReadSerialPort(v);
    v.inboundHost = S(inHostEdit_->text());
    v.inboundPort = S(inPortEdit_->text());
    v.idleTimeout = S(idleTimeoutEdit_->text());
    v.inboundFormatIndex = formatCombo_->currentIndex();

    v.debugFileName = S(debugFileEdit_->text());
    v.debugMessages = debugBox_->isChecked();
    v.serialPortMessages = serialDebugBox_->isChecked();
    v.netDebugFileName = S(netDebugFileEdit_->text());
    v.netDebugMessages = netDebugBox_->isChecked();
    v.systemId = S(systemIdEdit_->text());
    v.pharmacyConfig = pharmacyCombo_->currentIndex();
    return v;
}

void OptionsDialog::ReadDialUp(OptionsValues& v) const
{
    v.lanSelected = lanRadio_->isChecked();
    v.dialUpSelected = dialUpRadio_->isChecked();
    v.dialUpConnection = S(entryCombo_->currentText());
    v.connectOnStartup = connectOnStartupBox_->isChecked();
    v.dialUpUser = S(dialUserEdit_->text());
    v.dialUpPassword = S(dialPasswordEdit_->text());
    v.dialUpPhone = S(dialPhoneEdit_->text());
    v.dialUpDomain = S(dialDomainEdit_->text());
    v.persistentConnection = persistentBox_->isChecked();
    v.connectTimeout = S(connectTimeoutEdit_->text());
    v.writeTimeout = S(writeTimeoutEdit_->text());
    v.overallTimeout = S(overallTimeoutEdit_->text());
}

void OptionsDialog::ReadSerialPort(OptionsValues& v) const
{
    v.comNumber = comPortCombo_->currentIndex() < 0 ? 0 : comPortCombo_->currentData().toInt();
    v.baud = baudCombo_->currentData().toInt();
    v.parity = parityCombo_->currentIndex();
    v.dataBits = dataBitsGroup_->checkedId();
    v.stopBits = stopBitsGroup_->checkedId();
    v.dtrDsr = dtrDsrBox_->isChecked();
    v.rtsCts = rtsCtsBox_->isChecked();
    v.softwareTransmit = softwareTransmitBox_->isChecked();
    v.softwareReceive = softwareReceiveBox_->isChecked();
    v.xonChar = S(xonEdit_->text());
    v.xoffChar = S(xoffEdit_->text());
    v.visa2 = visa2Box_->isChecked();
    v.lrc = lrcBox_->isChecked();
    v.enqPauseEnabled = enqPauseBox_->isChecked();
    v.enqPause = S(enqPauseEdit_->text());
    v.closePortOnHangup = closePortBox_->isChecked();
    v.spClientRetries = S(spClientRetriesEdit_->text());
}

void OptionsDialog::UpdateRules()
{
    serialDebugBox_->setEnabled(debugBox_->isChecked());
    enqPauseEdit_->setEnabled(enqPauseBox_->isChecked());
    passwordEdit_->setEchoMode(maskPasswordBox_->isChecked() ? QLineEdit::Password : QLineEdit::Normal);
    bool dialUp = dialUpRadio_->isChecked();
    dialUpRadio_->setEnabled(loaded_.dialUpAvailable);
    entryCombo_->setEnabled(dialUp && entryCombo_->count() > 0);
    connectOnStartupBox_->setEnabled(dialUp);
    for (QLineEdit* edit : {dialUserEdit_, dialPasswordEdit_, dialPhoneEdit_, dialDomainEdit_})
        edit->setEnabled(dialUp);
}

void OptionsDialog::SelectEntry()
{
    OptionsValues values = Values();
    FillDialParameters(values);
    dialUserEdit_->setText(Q(values.dialUpUser));
    dialPasswordEdit_->setText(Q(values.dialUpPassword));
    dialPhoneEdit_->setText(Q(values.dialUpPhone));
    dialDomainEdit_->setText(Q(values.dialUpDomain));
}

void OptionsDialog::SelectModem()
{
    QStringList names;
    for (const std::string& name : ModemDeviceNames())
        names << Q(name);
    bool ok = false;
    QString chosen = QInputDialog::getItem(this, "Select Modem", "Modem:", names,
                                           std::max<int>(0, names.indexOf(modemNameEdit_->text())), false, &ok);
    if (ok && !chosen.isEmpty())
        modemNameEdit_->setText(chosen);
}

// The modem's settings are text lines (InitString=..., Speed=...); they are
// kept here and stored by OK.
void OptionsDialog::ConfigureModem()
{
    if (modemNameEdit_->text().isEmpty()) {
        QApplication::beep();
        QMessageBox::information(this, "Options", "Select a modem prior to configuring it.");
        return;
    }
    TapiConfigBlock& block = loaded_.tapiConfig;
    QString current = QString::fromUtf8(reinterpret_cast<const char*>(block.data.data()), static_cast<int>(block.size));
    bool ok = false;
    QByteArray text = QInputDialog::getMultiLineText(this, "Modem Settings", modemNameEdit_->text(), current, &ok)
                          .toUtf8()
                          .left(static_cast<int>(block.data.size()));
    if (!ok)
        return;
    block = TapiConfigBlock{};
    block.size = static_cast<uint32_t>(text.size());
    std::copy(text.begin(), text.end(), block.data.begin());
}

void OptionsDialog::PickFile(QLineEdit* edit, const QString& title, const QString& filter)
{
    QString path = QFileDialog::getOpenFileName(this, title, QString(), filter);
    if (!path.isEmpty())
        edit->setText(path);
}

void OptionsDialog::PickFolder(QLineEdit* edit)
{
    QString folder = QFileDialog::getExistingDirectory(this, QString(), edit->text());
    if (!folder.isEmpty())
        edit->setText(folder);
}

void OptionsDialog::PickClaimMask()
{
    std::string mask = S(maskEdit_->text());
    std::string folder = ExtractFolder(mask);
    QString initial = FolderExists(folder) ? Q(mask) : Q(ExtractFileName(mask));
    QFileDialog dialog(this, "Select Claim File Mask", FolderExists(folder) ? Q(folder) : QString(), initial);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return;
    maskEdit_->setText(dialog.selectedFiles().front());
    claimRadio_->setChecked(true);
}

void OptionsDialog::OKButtonClick()
{
    OptionsValues values = Values();
    std::vector<OptionsFailure> failures = RunOptionsChecks(values, *question_, CheckScope::FirstFailure);
    // The checks trimmed these; the edits show what will be saved.
    maskEdit_->setText(Q(values.claimFileMask));
    responseExtEdit_->setText(Q(values.responseFileExtension));
    responseFolderEdit_->setText(Q(values.responseFileFolder));
    archiveFolderEdit_->setText(Q(values.archiveFolder));
    if (!failures.empty())
        return Fail(failures.front());
    try {
        SaveOptionsValues(values);
    } catch (const SettingsError& error) {
        showError(error.what());
        return;
    }
    accept();
}

void OptionsDialog::Fail(const OptionsFailure& failure)
{
    if (!failure.message.empty()) {
        QApplication::beep();
        showError(failure.message);
    }
    pages_->setCurrentIndex(static_cast<int>(failure.page));
    if (auto* control = findChild<QWidget*>(Q(failure.control)))
        control->setFocus();
}
