#pragma once
#include <string>

// Turns the general log on into generalLog, and the network log into
// networkLog when one is given, and loads the log settings.
void LogInto(const std::string& generalLog, const std::string& networkLog = "");
