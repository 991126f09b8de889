#pragma once
#include "pharmacy_options.h"

// Runs the serial mode: opens the line, places the calls and sends the
// claims, prints the first mismatch on standard error and the summary line
// on standard output. Returns the process exit status: 0 when every claim
// and every answer of the modem was right, 1 otherwise.
int RunSerialLoad(const SerialLoadOptions& options);
