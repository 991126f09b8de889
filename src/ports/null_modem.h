#pragma once
#include "ports/port_device.h"

#include <memory>
#include <string>

// An in-process null-modem cable for tests of line choreography: two ends,
// each opened by a port through its device path. Bytes cross both ways, and
// each end's DTR shows as DSR and DCD on the other end, its RTS as CTS. An
// end that no port holds open drives no lines, and bytes sent to it are lost
// as on a real cable. Everything happens on the main thread.
class NullModemPair {
public:
    NullModemPair();
    ~NullModemPair();
    NullModemPair(const NullModemPair&) = delete;
    NullModemPair& operator=(const NullModemPair&) = delete;

    // Device paths of the two ends, usable wherever a serial device path is.
    std::string PathA() const;
    std::string PathB() const;

    // Reports a ring pulse or line conditions (LineStatusMask: framing,
    // parity, overrun, break) at the end opened through PathA() or PathB(),
    // as a serial driver would; does nothing while that end is closed.
    void InjectStatus(bool atEndA, bool ring, int lineConditions);

    struct Cable;

private:
    std::shared_ptr<Cable> cable_;
};

// True for a device path that names a null-modem end.
bool IsNullModemPath(const std::string& path);

// Opens the end named by `path` with the given output levels; raises
// EPortError when the pair no longer exists or the end is already open.
std::unique_ptr<PortDevice> OpenNullModemEnd(const std::string& path, bool dtr, bool rts);
