#pragma once
#include "app/options/options_checks.h"

#include <cstdio>
#include <string>
#include <vector>

// The Options checks on the stored settings, for a machine nobody sits at:
// nothing is written and missing folders are reported, not created.
std::vector<OptionsFailure> CheckStoredSettings(ListenTest listenTest);

// corvane --check-config: one line per failure on out, exit status 1 if
// any; a one-line summary and 0 if none; 2 when the settings cannot be read.
int RunCheckConfig(std::FILE* out);
