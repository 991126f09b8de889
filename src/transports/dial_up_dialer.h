#pragma once
#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

class QProcess;
class QTemporaryFile;

// Connect states of a dial-up connection; callers test only "connected".
constexpr int kDialUpConnecting = 2;  // pppd runs, its interface is not up yet
constexpr int kDialUpConnected = 8192;
constexpr int kDialUpDisconnected = 8193;

// Dial results: 0, a pppd exit status (1 to 19), or one of these.
enum DialUpErrorCode {
    kDialNoProgram = 100,
    kDialCannotStart,
    kDialNoEntry,
    kDialOtherLinkName,
    kDialBadPhone,
    kDialNoPhoneInScript,
    kDialSecretFile,
    kDialEndedWithoutLink,
    kDialKilled,
    kDialCancelled,
    kDialBusy,
    kDialNoLinkFolder,
};

// A hang-up that could not be done.
class DialUpError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Dial-up networking through pppd. The phone book is the pppd peer files;
// a connection is a pppd started with "linkname" (see ppp_links.h). The
// dialer dials one entry at a time, synchronously, and never hangs up when
// it is destroyed unless it still owns the pppd of its own dial.
class DialUpDialer : public QObject {
    Q_OBJECT
public:
    explicit DialUpDialer(QObject* parent = nullptr);
    ~DialUpDialer() override;

    // 0 with the names of the active connections, or an error code.
    int ListConnections(std::vector<std::string>& names) const;
    // The active connections whose pppd uses that serial device.
    std::vector<std::string> ConnectionsOnDevice(const std::string& device) const;

    // Selects the entry and loads its stored dial parameters.
    void SetEntryName(const std::string& name);
    const std::string& EntryName() const { return entryName_; }
    // The state of the selected entry's connection (of the first active one
    // when none is selected); throws when the links cannot be read.
    int ConnectState() const;
    std::string DeviceName() const;

    // Dial parameters; they override the entry's (an empty password too).
    std::string UserName, Password, Domain, PhoneNumber;

    // Hangs up the dialer's own connection, dials the selected entry and
    // returns when its link is up (0) or pppd has ended (an error code).
    // stop ends the dial early (kDialCancelled).
    int Dial(const std::function<bool()>& stop = {});
    // Hangs up the selected connection and waits until its pppd has gone.
    void Hangup();
    // Hangs up a connection by name (for the modem, which needs its line).
    void HangupConnection(const std::string& name);

    static std::string GetErrorText(int code);
    static std::string GetStatusText(int state);

signals:
    void OnConnected();
    void OnDialStatus(int state);
    void OnDialError(int code);
    void OnDisconnected();

private:
    std::string SelectedLinkName() const;
    int CheckDialParameters(std::string& connect) const;
    int WriteOptionFile(const std::string& connect);
    int WaitForLink(const std::function<bool()>& stop);
    int FinishDial(int code);
    void EndOwnPppd();
    void CheckStillConnected();

    std::string entryName_;
    bool entryFound_ = false;
    std::string entryConnect_;
    std::string entryPhone_;
    std::string entryLinkName_;
    bool dialing_ = false;
    std::unique_ptr<QProcess> pppd_;
    std::unique_ptr<QTemporaryFile> optionFile_;
    QTimer connectedCheck_;
};
