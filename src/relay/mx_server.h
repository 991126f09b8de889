#pragma once
#include "relay/mx_types.h"

class TMxSockThread;

// The relay configuration from the settings; null when it cannot be built.
std::unique_ptr<MXCFG> mxConfig();

// Opens the relay: configuration, listening socket and, unless on demand,
// the upstream connection. Null on failure.
MX* mxOpen();

// Waits for readable sockets until the nearest deadline: the number ready,
// 0 on timeout or stop request, -1 on failure.
int mxSelect(MX* mx);

// Releases every open relay context.
void mxShutdown(int signal);

// The relay thread's function: the server loop.
void mxtuq_svr(TMxSockThread& thread);
