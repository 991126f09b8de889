#pragma once
#include "relay/mx_types.h"

// Error replies of the relay: a locally built NCPDP reject for one
// transaction, framed and encrypted like a switch response and sent on the
// transaction's connection. The transaction is not freed here.

// 0 when the reply was built (and sent, or the short send logged), else the
// builder's non-zero result or -1.
int mxErrorReply(MX* mx, MXTX* tx, const char* codes, const char* message);

// The catalogue senders, one per entry; the text names mxcfg's SystemID.
void mxHostDisconnected(MX* mx, MXTX* tx);     // TUQ02
void mxProcessorTimedOut(MX* mx, MXTX* tx);    // TUQ06
void mxHostUnavailable(MX* mx, MXTX* tx);      // TUQ07
void mxHostResponseError(MX* mx, MXTX* tx);    // TUQ08
