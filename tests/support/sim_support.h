#pragma once
#include <QProcess>
#include <QStringList>

#include <cstdint>
#include <string>

// Helpers of the simulator tests, in their own namespace so that they never
// meet the relay tests' helpers of the same program.
namespace sim {

// A program of build/bin run as a child process.
class ToolProcess {
public:
    ToolProcess(const char* program, const QStringList& arguments);
    ~ToolProcess();

    // Waits for the "listening on HOST:PORT" line; 0 when it never came.
    std::uint16_t waitForListening();
    // Waits until its standard output holds text; false when it never came.
    bool waitForOutput(const QString& text);
    // True once the program has ended (seen by the event loop).
    bool finished() const { return process_.state() == QProcess::NotRunning; }
    // SIGTERM, then the exit code (-1 when it did not end normally).
    int terminate();
    // Waits for the program to end by itself; its exit code, or -1.
    int waitForExit();
    QString output() const { return output_; }
    QString errors() const { return errors_; }

private:
    void collect();

    QProcess process_;
    QString output_;
    QString errors_;
};

// A blocking loopback TCP client whose reads give up after 30 s.
int ConnectLoopback(std::uint16_t port);
bool SendAll(int fd, const std::string& bytes);
// Exactly size bytes; false on end of stream, error or the read limit (each
// wait for data gives up after 30 s).
bool ReceiveExact(int fd, size_t size, std::string& bytes);
// True when the peer closed the connection before sending anything more
// (within 30 s).
bool ReceivesEndOfStream(int fd);

// One upstream frame: length, 12-byte sequence field, data.
struct UpstreamFrame {
    std::uint32_t lengthField = 0;
    std::string sequence;
    std::string data;
};
std::string EncodeUpstreamFrame(const std::string& sequence12, const std::string& data);
// Reads the header and the data its length field announces.
bool ReceiveUpstreamFrame(int fd, UpstreamFrame& frame);

// A loopback port that nothing listens on (the system's pick, released again).
int UnusedLoopbackPort();

// A short NCPDP 5.1 claim with one transaction and prescription rxNumber.
std::string ClaimWithPrescription(const std::string& rxNumber7);

}  // namespace sim
