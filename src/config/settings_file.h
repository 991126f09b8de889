#pragma once
#include "config/reg_file.h"

#include <functional>
#include <memory>
#include <stdexcept>
#include <string>

// Where the settings file lives, and how it is read and rewritten without
// losing another writer's change or leaving a half-written file behind.

class SettingsFileError : public std::runtime_error {
public:
    enum class Stage { Read, CreateFolder, Write };
    SettingsFileError(Stage stage, const std::string& reason);
    Stage stage() const { return stage_; }

private:
    Stage stage_;
};

// $HOME, else the home folder of the user's account entry.
std::string UserHomeFolder();

// $CORVANE_SETTINGS, else $XDG_CONFIG_HOME/Tuq Network/Corvane.reg
// (~/.config when XDG_CONFIG_HOME is unset).
std::string SettingsFilePath();

// The whole file; an empty document when the file does not exist. The parsed
// file is kept and handed out again while the file's identity (device,
// inode), size and change times stay the same; any thread may call this.
std::shared_ptr<const RegDocument> ReadSettingsFile(const std::string& path);

// Under an exclusive lock: re-reads the file, applies change, writes a
// temporary file beside it (mode 0600), syncs it and renames it into place.
// A file that cannot be parsed is left as it is.
void UpdateSettingsFile(const std::string& path, const std::function<void(RegDocument&)>& change);
