#include "config/settings.h"

#include "config/settings_access.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <sys/stat.h>

namespace {

const int kHighestComNumber = 64;

// Tests give the serial devices a folder of their own.
std::string DeviceDir()
{
    const char* dir = std::getenv("CORVANE_DEVICE_DIR");
    return dir && *dir ? dir : "/dev";
}

bool IsCharacterDevice(const std::string& path)
{
    struct stat status {};
    return !path.empty() && ::stat(path.c_str(), &status) == 0 && S_ISCHR(status.st_mode);
}

// n of a name "COM<n>", or 0.
int ComNumberOf(const std::string& name)
{
    if (name.rfind("COM", 0) != 0 || name.size() == 3)
        return 0;
    int number = 0;
    const char* end = name.data() + name.size();
    auto [stop, error] = std::from_chars(name.data() + 3, end, number);
    return error == std::errc() && stop == end && number > 0 ? number : 0;
}

}  // namespace

std::string ComPortDevice(int comNumber)
{
    if (comNumber < 1)
        return {};
    const std::string name = "COM" + std::to_string(comNumber);
    if (auto device = ReadTextAt(MainKeyPath() + "\\Ports", name))
        return *device;
    if (auto device = ReadTextAt(BaseKeyPath() + "\\Ports", name))
        return *device;
    return DeviceDir() + "/ttyS" + std::to_string(comNumber - 1);
}

void SetComPortDevice(int comNumber, const std::string& device)
{
    WriteTextAt(BaseKeyPath() + "\\Ports", "COM" + std::to_string(comNumber), device);
}

std::vector<int> ExistingComPorts()
{
    std::vector<int> numbers;
    for (int n = 1; n <= kHighestComNumber; ++n)
        if (IsCharacterDevice(ComPortDevice(n)))
            numbers.push_back(n);
    return numbers;
}

bool IsTapiDeviceInstalled(const std::string& name)
{
    if (int number = ComNumberOf(name))
        return IsCharacterDevice(ComPortDevice(number));
    return !name.empty() && name[0] == '/' && IsCharacterDevice(name);
}

std::string ModemDevicePath(const std::string& name)
{
    if (int number = ComNumberOf(name))
        return ComPortDevice(number);
    return name;
}

std::vector<std::string> ModemDeviceNames()
{
    std::vector<std::string> names;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(DeviceDir() + "/serial/by-id", error))
        names.push_back(entry.path().string());
    for (int n = 1; n <= kHighestComNumber; ++n) {
        const std::string name = "COM" + std::to_string(n);
        bool mapped = ReadTextAt(MainKeyPath() + "\\Ports", name) || ReadTextAt(BaseKeyPath() + "\\Ports", name);
        if (mapped && IsCharacterDevice(ComPortDevice(n)))
            names.push_back(name);
    }
    std::vector<std::string> ttys;
    for (const auto& entry : std::filesystem::directory_iterator(DeviceDir(), error)) {
        const std::string file = entry.path().filename().string();
        for (const char* prefix : {"ttyS", "ttyUSB", "ttyACM"})
            if (file.rfind(prefix, 0) == 0 && file.size() > std::strlen(prefix) && IsCharacterDevice(entry.path().string()))
                ttys.push_back(entry.path().string());
    }
    std::sort(ttys.begin(), ttys.end());
    names.insert(names.end(), ttys.begin(), ttys.end());
    return names;
}
