// Parsing and re-reading a large settings file: many configurations with a
// serial section each, as a store that serves many pharmacy systems grows.

#include "config/reg_file.h"
#include "config/settings_file.h"

#include <QTemporaryDir>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>

namespace {

std::string LargeSettingsText(size_t targetBytes)
{
    std::string text = "REGEDIT4\n\n";
    for (int config = 0; text.size() < targetBytes; ++config) {
        std::string key = "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Store" +
                          std::to_string(config);
        text += key + "]\n";
        for (int i = 0; i < 40; ++i)
            text += "\"Value" + std::to_string(i) + "\"=\"C:\\\\TuqData\\\\store" +
                    std::to_string(config) + "\\\\file" + std::to_string(i) + ".txt\"\n";
        text += "\"TapiConfig\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,\\\n"
                "  15,16,17,18,19,1a,1b,1c,1d,1e,1f,20\n\n";
        text += key + "\\InputSerialPort]\n";
        for (int i = 0; i < 15; ++i)
            text += "\"Setting" + std::to_string(i) + "\"=dword:0000" + std::to_string(1000 + i) + "\n";
        text += "\n";
    }
    return text;
}

template <typename F>
double MillisecondsOf(F&& run)
{
    auto start = std::chrono::steady_clock::now();
    run();
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
        .count();
}

} // namespace

int main()
{
    const std::string text = LargeSettingsText(550 * 1024);
    QTemporaryDir folder;
    const std::string path = folder.path().toStdString() + "/Corvane.reg";
    std::ofstream(path, std::ios::binary) << text;

    double parse = MillisecondsOf([&] { RegDocument::Parse(text); });
    ReadSettingsFile(path);  // parsed once; the file then stays unchanged
    const int reads = 100;
    double reread = MillisecondsOf([&] {
        for (int i = 0; i < reads; ++i)
            ReadSettingsFile(path);
    }) / reads;
    std::printf("settings file=%zuKB parse=%.1fms unchanged_reread=%.3fms\n", text.size() / 1024,
                parse, reread);
    return 0;
}
