#pragma once
#include <QByteArray>
#include <QObject>

// Modem-status lines, as bits of a trigger mask.
enum ModemStatusMask : int {
    msRingDelta = 0x04,
    msCTSDelta = 0x10,
    msDSRDelta = 0x20,
    msDCDDelta = 0x80,
};

// Line conditions, as bits of a line-status trigger mask.
enum LineStatusMask : int {
    lsOverrun = 0x02,
    lsParity = 0x04,
    lsFraming = 0x08,
    lsBreak = 0x10,
};

struct ModemLevels {
    bool cts = false;
    bool dsr = false;
    bool dcd = false;
    bool ri = false;
};

// What a port is bound to: a serial line, a TCP connection or one end of the
// in-process null-modem pair. The port keeps the buffers and the triggers;
// a device only moves bytes and reports its lines.
class PortDevice : public QObject {
    Q_OBJECT
public:
    ~PortDevice() override = default;

    // Reads at most `max` of the bytes that have arrived; never blocks.
    virtual QByteArray Read(qint64 max) = 0;
    // Takes as much of `data` as it can without blocking; returns that count.
    virtual qint64 Write(const QByteArray& data) = 0;
    // Bytes taken by Write that have not left yet.
    virtual qint64 BytesQueued() const = 0;
    // Stops (or resumes) reporting arrivals while the port has no room.
    virtual void SetReadSuspended(bool suspended) = 0;

    // Lets go of the line or connection at once; the object itself may be
    // deleted later. No signal follows.
    virtual void Close() = 0;

    virtual void SetOutputLines(bool dtr, bool rts) = 0;
    virtual ModemLevels Levels() const = 0;

signals:
    void ReadyRead();
    void ReadyWrite();
    // Lines of ModemStatusMask that changed, conditions of LineStatusMask seen.
    void StatusChanged(int modemChanges, int lineConditions);
};
