#include "app/options/settings_report.h"

#include "app/single_instance.h"
#include "config/settings.h"
#include "config/settings_file.h"

#include <cstdio>

namespace {

class DeclineFolders : public FolderQuestion {
public:
    Answer Ask(const std::string&, const std::string&) override { return Answer::No; }
};

// Probing takes the lock for an instant; a Corvane that holds it has its
// relay on the inbound port, where a listening test would fail.
bool ConfigurationRunning()
{
    return SingleInstance(GetConfigName()).heldElsewhere();
}

std::string ConfigurationLabel()
{
    std::string name = GetConfigName();
    return name.empty() ? "the default configuration" : "configuration '" + name + "'";
}

}  // namespace

std::vector<OptionsFailure> CheckStoredSettings(ListenTest listenTest)
{
    OptionsValues values = LoadOptionsValues(LoadPurpose::Check);
    DeclineFolders question;
    return RunOptionsChecks(values, question, CheckScope::AllFailures, listenTest);
}

int RunCheckConfig(std::FILE* out)
{
    bool running = ConfigurationRunning();
    std::vector<OptionsFailure> failures;
    try {
        failures = CheckStoredSettings(running ? ListenTest::Skip : ListenTest::Open);
    } catch (const std::exception& error) {
        std::fprintf(out, "%s: %s\n", SettingsFilePath().c_str(), error.what());
        return 2;
    }
    for (const OptionsFailure& failure : failures)
        std::fprintf(out, "%s\n", FailureLine(failure).c_str());
    if (!failures.empty())
        return 1;
    std::fprintf(out, "Settings of %s in %s pass all 31 checks%s.\n", ConfigurationLabel().c_str(),
                 SettingsFilePath().c_str(),
                 running ? " (the inbound port was not tried: Corvane is running with them)" : "");
    return 0;
}
