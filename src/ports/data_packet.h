#pragma once
#include <QObject>
#include <QTimer>

#include <functional>
#include <string>
#include <vector>

class TApdWinsockPort;
class PacketHub;

enum TPacketMode { dpIdle, dpWaitStart, dpCollecting };

// How a packet ends; none set: the packet is its start string alone.
enum TPacketEndCond : int { ecString = 0x01 };

// Watches the bytes arriving on a port for a packet that begins with a start
// string and ends with an end string, and hands each complete packet to
// OnStringPacket. In patterns "?" matches any one byte and a backslash makes
// the next character literal. All matchers of one port share its bytes: the
// first to see its start string captures the port until its packet is
// complete or times out. Handlers run on the main thread inside the port's
// notifications and may arm and disarm any matcher.
class TApdDataPacket : public QObject {
    Q_OBJECT
public:
    explicit TApdDataPacket(TApdWinsockPort& port, QObject* parent = nullptr);
    ~TApdDataPacket() override;

    // Arming compiles the patterns and looks for the start string in the
    // bytes that arrive from then on; raises std::invalid_argument for an
    // empty start string, or an empty end string with ecString.
    void SetEnabled(bool enabled);
    bool Enabled() const { return enabled_; }
    TPacketMode Mode() const { return mode_; }

    void SetAutoEnable(bool on) { autoEnable_ = on; }
    void SetStartString(const std::string& pattern);
    void SetEndCond(int conditions);
    // An armed matcher is re-armed with the new end string (its partial
    // match is lost).
    void SetEndString(const std::string& pattern);
    std::string EndString() const { return endString_; }
    void SetIncludeStrings(bool on) { includeStrings_ = on; }
    void SetIgnoreCase(bool on) { ignoreCase_ = on; }
    // In ticks of 55 ms; 0: a started packet may take for ever.
    void SetTimeOut(int ticks) { timeOutTicks_ = ticks; }
    void SetFlushOnTimeout(bool on) { flushOnTimeout_ = on; }

    // A complete packet, start and end strings included (IncludeStrings).
    std::function<void(TApdDataPacket& sender, const std::string& data)> OnStringPacket;
    // A started packet did not complete within TimeOut.
    std::function<void(TApdDataPacket& sender)> OnTimeout;

signals:
    // A handler raised; the matcher is settled already.
    void HandlerFailed(const QString& message);

private:
    friend class PacketHub;

    // One position of a compiled pattern.
    struct PatternByte {
        unsigned char value = 0;
        bool wildcard = false;
    };
    using Pattern = std::vector<PatternByte>;

    // The earliest place in the buffer where a pattern may still be starting,
    // advanced byte by byte; the pattern is found at its first occurrence.
    struct Search {
        size_t candidate = 0;
        size_t next = 0;  // next buffer position to examine
    };

    Pattern Compile(const std::string& text) const;
    bool Matches(const PatternByte& position, unsigned char byte) const;
    // Examines buffer bytes up to its end; true once the pattern is complete.
    bool Advance(Search& search, const Pattern& pattern, const std::string& buffer) const;
    bool HasEndCondition() const;
    bool EndReached(const std::string& buffer);
    void Arm();
    void Disarm();
    void StartCapture();
    void CaptureTimedOut();
    // The packet as delivered, from the shared buffer.
    std::string PacketData(const std::string& buffer, size_t end) const;
    void Deliver(const std::string& data);
    void ReportTimeout();

    PacketHub* hub_;  // null once the port is gone
    bool enabled_ = false;
    TPacketMode mode_ = dpIdle;
    bool autoEnable_ = true;
    std::string startString_;
    int endCond_ = 0;
    std::string endString_;
    bool includeStrings_ = true;
    bool ignoreCase_ = true;
    int timeOutTicks_ = 2184;
    bool flushOnTimeout_ = true;

    Pattern start_;
    Pattern end_;
    Search startSearch_;
    Search endSearch_;
    size_t packetStart_ = 0;  // buffer position of the start string
    QTimer captureTimer_;
};
