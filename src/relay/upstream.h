#pragma once
#include "relay/mx_types.h"

// The relay's single connection to the claims switch: hosts 1 to 3 with
// ports A and B, plain TCP or TLS with a client certificate, claim data
// optionally Twofish-encrypted.

// Resets the upstream part: closed, counters 0, sequence and data blank.
void mxClientInit(MX* mx);

// 0 connected, 1 already connected, -1 every host failed or the dial-up
// step failed.
int mxClientConnect(MX* mx);

// 1 connected; 0 failed (timeout, TLS failure); -1 host unusable; -2 socket,
// connect or wait error; -3 terminate requested.
int mxTryConnect(MX* mx, const char* host, int port);

// Writes the connection's complete claim upstream: 0, or -1. Over TLS it
// is sent at once; over plain TCP it waits in the outbox for mxClientFlush.
int mxClientWrite(MX* mx, MXSOCK* mxSock);

// Sends the claims waiting in the outbox with one send: 0, or -1 when the
// send failed or fell short (MX error 10). claims receives the sequence
// numbers of the claims that were in it either way.
int mxClientFlush(MX* mx, std::vector<long>& claims);

// Bytes waiting in the outbox.
size_t mxClientUnsentBytes(MX* mx);

// The response data length once a whole response is in the upstream frame,
// 0 while more bytes are needed, -1 on failure with the upstream reason set.
int mxClientRead(MX* mx);

// True when the last receive brought in more than the response just read:
// the next mxClientRead goes on with those bytes, which poll() cannot show.
bool mxClientHoldsMore(MX* mx);

void mxClientClose(MX* mx);

// Hands the connection's complete claim to the modem route: 0 when its
// response is in the upstream frame, else -1.
int TapiProcessTx(MX* mx, MXSOCK* mxSock);
