#pragma once
#include "relay/mx_types.h"

// TLS on the upstream socket (OpenSSL 3). Readiness waits use poll() within
// the deadline (0: none) and the relay's terminate request.

// Sets up the client context and performs the handshake on the connected
// socket: 1 done, 0 failed, -3 terminate requested. Failures are logged; the
// caller closes.
int mxSslConnect(MX* mx, const char* host, time_t deadline);

// Writes the 16 + data-length bytes of the send frame: the frame length, -1
// on failure, -2 when not all was written in time, -3 on terminate.
int mxSSL_write(MX* mx, MXTX* tx);

// Reads exactly size bytes: size, -1 on failure, -2 when not all arrived in
// time, -3 on terminate. The upstream reason is set on failure.
int mxSSL_read(MX* mx, char* buffer, int size);

// Reads what has arrived, up to size bytes, without waiting: the count, 0
// when no application data is there yet (a readable socket may carry only
// TLS housekeeping such as session tickets), -1 on failure (reason set).
int mxSslReadAvailable(MX* mx, char* buffer, int size);

// Bytes already decrypted and waiting inside the TLS connection.
bool mxSslPending(MX* mx);
