#pragma once
#include "ports/comm_port.h"

#include <QObject>
#include <string>
#include <vector>

class TApdDataPacket;

// The bytes of one port as its packet matchers see them: a buffer of what
// arrived since the last packet was cut out, scanned by every armed matcher
// in step, byte by byte. One hub per port, created by its first matcher.
class PacketHub : public QObject, public PortListener {
public:
    static PacketHub& For(TApdWinsockPort& port);
    ~PacketHub() override;

    void Add(TApdDataPacket* matcher);
    void Remove(TApdDataPacket* matcher);

    // Where a newly armed matcher starts looking.
    size_t ScanPosition() const { return scanned_; }
    // A matcher left the collecting state without a packet (disarmed).
    void Released(TApdDataPacket& matcher);
    void TimedOut(TApdDataPacket& matcher);
    // Looks at the bytes not yet scanned, unless a handler is running.
    void Scan();

    // PortListener
    void PortAvail(int count) override;
    void PortOpened() override;
    void PortClosing() override;

private:
    explicit PacketHub(TApdWinsockPort& port);

    bool ScanOneByte();
    void BeginCapture(TApdDataPacket& matcher);
    void Complete(TApdDataPacket& matcher, size_t end);
    void ResetWaitingMatchers();
    void DropUnheldBytes();
    // Runs a handler with the other matchers held: bytes that arrive
    // meanwhile wait, and everything is scanned again afterwards.
    template <typename Handler>
    void HoldWhile(Handler handler);

    TApdWinsockPort& port_;
    std::vector<TApdDataPacket*> matchers_;
    std::string buffer_;
    std::string held_;        // arrived while a handler ran
    size_t scanned_ = 0;      // bytes every waiting matcher has looked at
    TApdDataPacket* capturing_ = nullptr;
    int handlerDepth_ = 0;
    bool scanning_ = false;
};
