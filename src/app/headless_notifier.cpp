#include "app/headless_notifier.h"

#include "base/general_log.h"

#include <cstdio>

void HeadlessNotifier::ShowMessage(const std::string& text)
{
    LogMsg("Message: %s", text.c_str());
    std::fprintf(stderr, "corvane: %s\n", text.c_str());
}

void HeadlessNotifier::ShowError(const std::string& text)
{
    LogMsg("Error: %s", text.c_str());
    std::fprintf(stderr, "corvane: error: %s\n", text.c_str());
}
