#pragma once
#include "ports/port_device.h"

#include <QSocketNotifier>
#include <QTimer>

#include <termios.h>

#include <memory>
#include <string>

enum TParity { pNone, pOdd, pEven, pMark, pSpace };

struct LineSettings {
    int baud = 19200;
    TParity parity = pNone;
    int dataBits = 8;
    int stopBits = 1;
};

// A serial device through termios and the TIOCM ioctls. The line is raw: flow
// control is done by the port on its own buffers. A device without modem
// lines (a pty) keeps the output levels it is given and reports CTS, DSR and
// DCD as high, so a program that waits for them behaves as on a cable.
class SerialLineDevice : public PortDevice {
    Q_OBJECT
public:
    // Opens `path` with the settings and output levels; raises EPortError.
    static std::unique_ptr<SerialLineDevice> Open(const std::string& path, const LineSettings& settings,
                                                  bool dtr, bool rts);
    // Takes over a line that someone else opened and set up; its settings stay.
    static std::unique_ptr<SerialLineDevice> Adopt(int fd, bool dtr, bool rts);
    ~SerialLineDevice() override;

    // Stops using the line without closing it and returns its descriptor.
    int Release();
    // The speed and framing the line has now.
    LineSettings CurrentSettings() const;

    QByteArray Read(qint64 max) override;
    qint64 Write(const QByteArray& data) override;
    qint64 BytesQueued() const override;
    void Close() override;
    void SetReadSuspended(bool suspended) override;
    void SetOutputLines(bool dtr, bool rts) override;
    ModemLevels Levels() const override;

private:
    explicit SerialLineDevice(int fd);
    void StartWatching();
    void PollStatus();

    struct Counters {
        int cts = 0, dsr = 0, rng = 0, dcd = 0;
        int frame = 0, parity = 0, overrun = 0, brk = 0;
    };
    bool ReadCounters(Counters& counters) const;

    int fd_;
    bool hasModemLines_ = false;
    bool hasCounters_ = false;
    bool readFailed_ = false;
    bool readSuspended_ = false;
    ModemLevels levels_;
    Counters counters_;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer statusPoll_;
};

// Makes `tio` a raw line with the speed and framing; raises EPortError for
// values the line cannot take.
void SetLineTermios(termios& tio, const LineSettings& settings);
// The speed and framing that `tio` describes.
LineSettings LineSettingsOf(const termios& tio);
