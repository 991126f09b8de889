#pragma once
#include "pharmacy_options.h"

// Runs every connection at once, prints the errors on standard error and
// the summary line on standard output. Returns the process exit status:
// 0 when every claim got a right reply, 1 otherwise.
int RunSocketLoad(const SocketLoadOptions& options);
