#pragma once
#include <string>
#include <sys/types.h>
#include <vector>

// Where pppd keeps what Corvane needs to know about dial-up links. Every
// place can be moved by an environment variable, so that tests run against
// a stand-in pppd without PPP support in the kernel:
//   CORVANE_PPPD           the pppd program (else "pppd" on the PATH)
//   CORVANE_PPP_PEERS_DIR  the phone book (else /etc/ppp/peers)
//   CORVANE_PPP_RUN_DIR    the link pid files ppp-<link>.pid (else /var/run)
//   CORVANE_SYS_NET_DIR    the interface records (else /sys/class/net)
std::string PppProgram();
std::string PppPeersDir();
std::string PppRunDir();
std::string SysNetDir();

// A phone-book entry: a pppd peer file. Only what the dialer overrides or
// reports is read; everything else stays pppd's business.
struct PeerEntry {
    std::string user;
    std::string password;
    std::string connect;  // the connect script, usually chat with -T <number>
    std::string phone;    // the -T argument of the connect script
    std::string device;   // the serial device the entry dials on
    std::string linkname; // set when the entry names its link itself
};

// The entry names, sorted. Throws std::runtime_error when the folder cannot
// be read.
std::vector<std::string> ListPeerEntries();
// False when the entry has no readable file.
bool ReadPeerEntry(const std::string& name, PeerEntry& entry);
// The words of a pppd options text, with its quoting and escapes undone.
std::vector<std::string> PppOptionWords(const std::string& text);
// A value quoted for a pppd options file: nothing in it can end the word.
std::string PppQuoted(const std::string& value);
// The connect script with its chat -T argument set to phone; empty when the
// script takes no number that way.
std::string ConnectWithPhone(const std::string& connect, const std::string& phone);

// A running pppd that was started with "linkname".
struct PppLink {
    std::string name;
    pid_t pid = 0;
    std::string interface;  // empty until pppd has its interface
    bool up = false;        // the interface is up
};

// The links whose pppd is alive, by name. Throws std::runtime_error when the
// run folder cannot be read.
std::vector<PppLink> ListPppLinks();
// The link of that name, if its pppd is alive.
bool FindPppLink(const std::string& name, PppLink& link);
// The serial device a link's pppd uses: a device on its command line, else
// the device of the entry it was called with.
std::string PppLinkDevice(const PppLink& link);
// Whether two device names name the same device (a link such as
// /dev/serial/by-id/... and the device it points to are the same).
bool SameDevice(const std::string& a, const std::string& b);
