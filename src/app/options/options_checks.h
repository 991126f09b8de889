#pragma once
#include "app/options/options_values.h"

#include <string>
#include <vector>

// The checks the Options dialog runs when OK is pressed, in their order.
// Each failure names its message, the page and the control (by object name)
// to show, and the setting it concerns.

// The dialog's pages, in their order.
enum class OptionsPage { TuqConnection, Network, Security, DataSource, LogMisc };

// A missing folder: the dialog asks whether to create it.
class FolderQuestion {
public:
    enum class Answer { Yes, No, Cancel };
    virtual ~FolderQuestion() = default;
    virtual Answer Ask(const std::string& title, const std::string& question) = 0;
};

struct OptionsFailure {
    int check = 0;        // 1..31, in the order the checks run
    std::string message;  // empty when a folder question was cancelled
    OptionsPage page = OptionsPage::TuqConnection;
    std::string control;
    std::string setting;  // as written in the settings file, section first
};

enum class CheckScope {
    // The dialog: stop at the first failure; a folder the user chose not to
    // create is no failure.
    FirstFailure,
    // The check command: every failure, a missing folder among them.
    AllFailures,
};

// Whether the inbound port is tried by opening a listening socket. A
// running Corvane of the same configuration may hold it itself.
enum class ListenTest { Open, Skip };

// Trimmed texts are written back where the dialog shows them trimmed (the
// claim-file mask, response extension and folders).
std::vector<OptionsFailure> RunOptionsChecks(OptionsValues& values, FolderQuestion& question, CheckScope scope,
                                             ListenTest listenTest = ListenTest::Open);

// One line per failure: "setting: message", line breaks of a message
// folded into spaces.
std::string FailureLine(const OptionsFailure& failure);
