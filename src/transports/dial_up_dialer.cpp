#include "transports/dial_up_dialer.h"

#include "ports/pumped_wait.h"
#include "transports/ppp_links.h"

#include <QDir>
#include <QProcess>
#include <QTemporaryFile>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstring>
#include <string_view>
#include <poll.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace {

// pppd's own shutdown (LCP terminate, modem hang-up) takes a few seconds.
constexpr int kHangupLimitMs = 20000;

bool IsDialablePhone(const std::string& phone)
{
    return std::all_of(phone.begin(), phone.end(), [](unsigned char c) {
        return std::isdigit(c) || std::string_view(" +*#,-()wWpPtT").find(static_cast<char>(c)) != std::string_view::npos;
    });
}

// The user as pppd sends it: a Windows domain goes in front, as MS-CHAP
// peers expect it.
std::string UserWithDomain(const std::string& user, const std::string& domain)
{
    return domain.empty() ? user : domain + "\\" + user;
}

// Waits for a process that is not our child to end.
bool WaitForProcessEnd(pid_t pid, int limitMs)
{
    int fd = static_cast<int>(::syscall(SYS_pidfd_open, pid, 0));
    if (fd < 0)
        return errno == ESRCH;
    pollfd watch{fd, POLLIN, 0};
    int ready = 0;
    do {
        ready = ::poll(&watch, 1, limitMs);
    } while (ready < 0 && errno == EINTR);
    ::close(fd);
    return ready > 0;
}

// What a user may choose from instead of a missing entry.
std::string PhoneBookNames()
{
    try {
        std::string names;
        for (const std::string& name : ListPeerEntries())
            names += (names.empty() ? "" : ", ") + name;
        return names.empty() ? " (it is empty)" : " (its entries: " + names + ")";
    } catch (const std::exception&) {
        return " (it cannot be read)";
    }
}

// Where the private option file goes: the user's runtime folder when there
// is one (nobody else can even list it). QTemporaryFile fills in the Xs.
QString OptionFileTemplate()
{
    QString folder = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (folder.isEmpty() || !QDir(folder).exists())
        folder = QDir::tempPath();
    return folder + "/corvane-dialup-XXXXXX";
}

} // namespace

DialUpDialer::DialUpDialer(QObject* parent)
    : QObject(parent)
{
    connectedCheck_.setInterval(1000);
    connect(&connectedCheck_, &QTimer::timeout, this, &DialUpDialer::CheckStillConnected);
}

DialUpDialer::~DialUpDialer()
{
    EndOwnPppd();
}

int DialUpDialer::ListConnections(std::vector<std::string>& names) const
{
    names.clear();
    try {
        for (const PppLink& link : ListPppLinks())
            names.push_back(link.name);
    } catch (const std::exception&) {
        return kDialNoLinkFolder;
    }
    return 0;
}

std::vector<std::string> DialUpDialer::ConnectionsOnDevice(const std::string& device) const
{
    std::vector<std::string> names;
    for (const PppLink& link : ListPppLinks())
        if (SameDevice(PppLinkDevice(link), device))
            names.push_back(link.name);
    return names;
}

void DialUpDialer::SetEntryName(const std::string& name)
{
    entryName_ = name;
    PeerEntry entry;
    entryFound_ = ReadPeerEntry(name, entry);
    UserName = entry.user;
    Password = entry.password;
    Domain.clear();
    PhoneNumber = entry.phone;
    entryConnect_ = entry.connect;
    entryPhone_ = entry.phone;
    entryLinkName_ = entry.linkname;
}

std::string DialUpDialer::SelectedLinkName() const
{
    if (!entryName_.empty())
        return entryName_;
    std::vector<PppLink> links = ListPppLinks();
    return links.empty() ? std::string() : links.front().name;
}

int DialUpDialer::ConnectState() const
{
    PppLink link;
    std::string name = SelectedLinkName();
    if (name.empty() || !FindPppLink(name, link))
        return kDialUpDisconnected;
    return link.up ? kDialUpConnected : kDialUpConnecting;
}

std::string DialUpDialer::DeviceName() const
{
    PppLink link;
    std::string name = SelectedLinkName();
    return !name.empty() && FindPppLink(name, link) ? PppLinkDevice(link) : std::string();
}

int DialUpDialer::Dial(const std::function<bool()>& stop)
{
    if (dialing_)
        return kDialBusy;
    dialing_ = true;
    EndOwnPppd();
    emit OnDisconnected();

    std::string connect;
    int code = CheckDialParameters(connect);
    if (code == 0)
        code = WriteOptionFile(connect);
    if (code != 0)
        return FinishDial(code);

    QStringList arguments{"call", QString::fromStdString(entryName_), "file", optionFile_->fileName(), "nodetach"};
    // Only root may name the link on the command line; an entry may name it.
    if (entryLinkName_.empty())
        arguments += {"linkname", QString::fromStdString(entryName_)};
    pppd_ = std::make_unique<QProcess>();
    pppd_->setProgram(QString::fromStdString(PppProgram()));
    pppd_->setArguments(arguments);
    // pppd reports to the system log; its terminal output is not kept, so
    // nothing it might echo of the secrets lands in ours.
    pppd_->setStandardOutputFile(QProcess::nullDevice());
    pppd_->setStandardErrorFile(QProcess::nullDevice());
    pppd_->start();
    if (!pppd_->waitForStarted()) {
        pppd_.reset();
        return FinishDial(kDialCannotStart);
    }
    emit OnDialStatus(kDialUpConnecting);
    return FinishDial(WaitForLink(stop));
}

int DialUpDialer::CheckDialParameters(std::string& connect) const
{
    if (PppProgram().empty())
        return kDialNoProgram;
    if (!entryFound_)
        return kDialNoEntry;
    if (!entryLinkName_.empty() && entryLinkName_ != entryName_)
        return kDialOtherLinkName;
    if (!IsDialablePhone(PhoneNumber))
        return kDialBadPhone;
    if (PhoneNumber.empty() || PhoneNumber == entryPhone_)
        return 0;
    connect = ConnectWithPhone(entryConnect_, PhoneNumber);
    return connect.empty() ? kDialNoPhoneInScript : 0;
}

int DialUpDialer::WriteOptionFile(const std::string& connect)
{
    // Created 0600 by QTemporaryFile; later options override the entry's.
    optionFile_ = std::make_unique<QTemporaryFile>(OptionFileTemplate());
    if (!optionFile_->open()) {
        optionFile_.reset();
        return kDialSecretFile;
    }
    // An empty user name leaves the entry's; an empty password is a password.
    std::string text;
    if (!UserName.empty())
        text += "user " + PppQuoted(UserWithDomain(UserName, Domain)) + "\n";
    text += "password " + PppQuoted(Password) + "\n";
    if (!connect.empty())
        text += "connect " + PppQuoted(connect) + "\n";
    bool written = optionFile_->write(text.data(), static_cast<qint64>(text.size())) ==
                   static_cast<qint64>(text.size());
    if (!written || !optionFile_->flush()) {
        optionFile_.reset();
        return kDialSecretFile;
    }
    return 0;
}

int DialUpDialer::WaitForLink(const std::function<bool()>& stop)
{
    const qint64 pid = pppd_->processId();
    for (;;) {
        ProcessPendingEvents();
        if (pppd_->state() == QProcess::NotRunning) {
            int status = pppd_->exitStatus() == QProcess::NormalExit ? pppd_->exitCode() : -1;
            pppd_.reset();
            if (status < 0)
                return kDialKilled;
            return status == 0 ? kDialEndedWithoutLink : status;
        }
        PppLink link;
        if (FindPppLink(entryName_, link) && link.pid == pid && link.up)
            return 0;
        if (stop && stop()) {
            EndOwnPppd();
            return kDialCancelled;
        }
        // Neither a pid file nor an interface says when it changes.
        WaitForEvents(kMaxWaitSliceMs);
    }
}

int DialUpDialer::FinishDial(int code)
{
    optionFile_.reset();  // pppd has read it, or will never need it
    dialing_ = false;
    if (code != 0) {
        emit OnDialError(code);
        return code;
    }
    connectedCheck_.start();
    emit OnConnected();
    return 0;
}

void DialUpDialer::Hangup()
{
    HangupConnection(SelectedLinkName());
}

void DialUpDialer::HangupConnection(const std::string& name)
{
    connectedCheck_.stop();
    PppLink link;
    if (pppd_ && pppd_->state() != QProcess::NotRunning && name == entryName_) {
        EndOwnPppd();
    } else if (!name.empty() && FindPppLink(name, link)) {
        if (::kill(link.pid, SIGTERM) != 0)
            throw DialUpError("Cannot hang up '" + name + "': " + std::strerror(errno));
        if (!WaitForProcessEnd(link.pid, kHangupLimitMs))
            throw DialUpError("The pppd of '" + name + "' did not end");
    }
    emit OnDisconnected();
}

void DialUpDialer::EndOwnPppd()
{
    if (!pppd_)
        return;
    if (pppd_->state() != QProcess::NotRunning) {
        pppd_->terminate();
        if (!pppd_->waitForFinished(kHangupLimitMs)) {
            pppd_->kill();
            pppd_->waitForFinished();
        }
    }
    pppd_.reset();
}

void DialUpDialer::CheckStillConnected()
{
    try {
        if (ConnectState() == kDialUpConnected)
            return;
    } catch (const std::exception&) {
    }
    connectedCheck_.stop();
    emit OnDisconnected();
}

std::string DialUpDialer::GetErrorText(int code)
{
    switch (code) {
    case 0: return "The connection is up.";
    case 1: return "pppd failed with a fatal error (exit status 1).";
    case 2: return "pppd refused the options of the dial-up entry (exit status 2).";
    case 3: return "pppd is not setuid-root and the user is not root (exit status 3).";
    case 4: return "The kernel does not support PPP (exit status 4).";
    case 5: return "pppd was stopped by a signal (exit status 5).";
    case 6: return "The serial port could not be locked (exit status 6).";
    case 7: return "The serial port could not be opened (exit status 7).";
    case 8: return "The connect script failed: no answer, busy or no dial tone (exit status 8).";
    case 9: return "The pty command could not be run (exit status 9).";
    case 10: return "The PPP negotiation failed (exit status 10).";
    case 11: return "The remote system failed to authenticate itself (exit status 11).";
    case 12: return "The link was ended because it was idle (exit status 12).";
    case 13: return "The link reached its connect time limit (exit status 13).";
    case 14: return "Callback was negotiated; no link was made (exit status 14).";
    case 15: return "The remote system stopped answering (exit status 15).";
    case 16: return "The modem hung up (exit status 16).";
    case 17: return "Serial loopback was detected (exit status 17).";
    case 18: return "The init script failed (exit status 18).";
    case 19: return "The remote system refused the user name or password (exit status 19).";
    case kDialNoProgram: return "pppd was not found (install the ppp package).";
    case kDialCannotStart: return "pppd could not be started.";
    case kDialNoEntry: return "The dial-up entry is not in the phone book " + PppPeersDir() + PhoneBookNames() + ".";
    case kDialOtherLinkName: return "The dial-up entry sets a linkname other than its own name.";
    case kDialBadPhone: return "The telephone number may hold only digits, spaces and + * # , - ( ) W P T.";
    case kDialNoPhoneInScript: return "The entry's connect script takes no telephone number (chat -T).";
    case kDialSecretFile: return "The private option file for pppd could not be written.";
    case kDialEndedWithoutLink: return "pppd ended without bringing the link up.";
    case kDialKilled: return "pppd was killed.";
    case kDialCancelled: return "The dial was cancelled.";
    case kDialBusy: return "Another dial is in progress.";
    case kDialNoLinkFolder: return "The dial-up links in " + PppRunDir() + " cannot be read.";
    default: return "pppd ended with exit status " + std::to_string(code) + ".";
    }
}

std::string DialUpDialer::GetStatusText(int state)
{
    switch (state) {
    case kDialUpConnecting: return "Connecting";
    case kDialUpConnected: return "Connected";
    case kDialUpDisconnected: return "Disconnected";
    default: return "State " + std::to_string(state);
    }
}
