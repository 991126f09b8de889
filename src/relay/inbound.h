#pragma once
#include "relay/mx_types.h"

#include <vector>

// The relay's client side: accepting connections, reading framed claims,
// the transaction table with its deadlines, and writing responses back in
// each client's own framing.

// 0 when a connection was accepted, else -1 (MX error 0: nothing to accept).
int mxSockNew(MX* mx);

// Accepts the connections still waiting in the listen backlog after
// mxSockNew, so that a burst of clients is taken in one pass instead of
// one pass each. Returns how many; a failure is logged by mxSockNew's
// lines and sets MX error.
int mxSockNewWaiting(MX* mx);

// A new transaction appended to the connection, or null.
MXTX* mxTxNew(MX* mx, MXSOCK* mxSock);

// The connection's first transaction whose claim is complete and not yet
// forwarded, or null.
MXTX* FirstCompleteTransaction(MXSOCK* mxSock);

// The first connection, in list order, whose socket is in the ready set.
MXSOCK* mxSockReady(MX* mx);

// The claim data length when a claim has just become complete, 0 when more
// bytes are needed, -1 on failure; tx names the transaction concerned.
int mxSockRead(MX* mx, MXSOCK* mxSock, MXTX** tx);

// Delivers the response held in the upstream frame to its client: 0, or -1.
int mxSockWrite(MX* mx);

// Answers transactions past their deadline (TUQ06) and closes connections
// idle too long. Returns how many were handled.
int mxTimeout(MX* mx);

// Release a connection (its transactions and socket with it) or a transaction.
void mxSockFree(MXSOCK* mxSock);
void mxTxFree(MXTX* tx);

// Every transaction of every connection, connections in list order and
// transactions in creation order.
std::vector<MXTX*> PendingTransactions(MX* mx);

// Transactions whose claim is complete and that wait for the switch: the
// ones an upstream loss concerns.
std::vector<MXTX*> TransactionsAwaitingSwitch(MX* mx);

// The nearest transaction deadline or idle deadline; 0 when none.
time_t NearestDeadline(MX* mx);

// now + idleTimeout when the connection has no transaction and idleTimeout
// > 0, else 0.
void RestartIdleDeadline(MXSOCK* mxSock);

// The next relay sequence number: 1, 2, ... 99999999, 1, ...
long NextRelaySequenceNumber();
