#pragma once

// Re-reads the five log settings from the settings file into the log
// writers' cache. A file that cannot be read leaves the defaults in force.
void LoadLogSettings();
