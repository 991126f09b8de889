#include "config/settings_access.h"

#include "base/format_text.h"
#include "config/settings_file.h"

#include <charconv>
#include <cstring>

namespace {

const size_t kMaxBinarySize = 1024;

std::string& ConfigName()
{
    static std::string name;
    return name;
}

[[noreturn]] void ThrowInvalidType(const std::string& name)
{
    throw SettingsError(FormatText("Invalid data type for '%s'", name.c_str()));
}

std::shared_ptr<const RegDocument> ReadForValue(const std::string& name)
{
    try {
        return ReadSettingsFile(SettingsFilePath());
    } catch (const SettingsFileError& error) {
        throw SettingsError(FormatText("Failed to read '%s' (%s)", name.c_str(), error.what()));
    }
}

std::optional<RegValue> Find(const std::string& keyPath, const std::string& name)
{
    std::shared_ptr<const RegDocument> document = ReadForValue(name);
    const RegValue* value = document->FindValue(keyPath, name);
    return value ? std::optional<RegValue>(*value) : std::nullopt;
}

bool HasLineBreak(const std::string& text)
{
    return text.find_first_of("\r\n") != std::string::npos;
}

// Writes one value; change receives the document's current value (or null)
// and returns the value to store.
void Update(const std::string& keyPath, const std::string& name,
            const std::function<RegValue(const RegValue*)>& change)
{
    if (HasLineBreak(keyPath))
        throw SettingsError(FormatText("Failed to create key %s", keyPath.c_str()));
    try {
        UpdateSettingsFile(SettingsFilePath(), [&](RegDocument& document) {
            RegValue value = change(document.FindValue(keyPath, name));
            value.name = name;
            document.SetValue(keyPath, value);
        });
    } catch (const SettingsFileError& error) {
        if (error.stage() == SettingsFileError::Stage::CreateFolder)
            throw SettingsError(
                FormatText("Failed to create key %s (%s)", keyPath.c_str(), error.what()));
        throw SettingsError(
            FormatText("Failed to set data for '%s' (%s)", name.c_str(), error.what()));
    }
}

std::optional<int> ParseDecimal(const std::string& text)
{
    size_t first = text.find_first_not_of(" \t");
    size_t last = text.find_last_not_of(" \t");
    if (first == std::string::npos)
        return std::nullopt;
    const char* begin = text.data() + first;
    const char* end = text.data() + last + 1;
    if (*begin == '+')
        ++begin;
    int value = 0;
    auto [stop, error] = std::from_chars(begin, end, value);
    if (error != std::errc() || stop != end)
        return std::nullopt;
    return value;
}

}  // namespace

void SetConfigName(const std::string& name)
{
    ConfigName() = name;
}

std::string GetConfigName()
{
    return ConfigName();
}

std::string BaseKeyPath()
{
    return "HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane";
}

std::string MainKeyPath()
{
    return ConfigName().empty() ? BaseKeyPath() : BaseKeyPath() + "\\" + ConfigName();
}

std::string SectionKeyPath(SettingsSection section)
{
    switch (section) {
    case SettingsSection::InputSerialPort:
        return MainKeyPath() + "\\InputSerialPort";
    case SettingsSection::Network:
        return MainKeyPath() + "\\Network";
    default:
        return MainKeyPath();
    }
}

bool ValueExistsAt(const std::string& keyPath, const std::string& name)
{
    return Find(keyPath, name).has_value();
}

bool ValueExists(SettingsSection section, const std::string& name)
{
    return ValueExistsAt(SectionKeyPath(section), name);
}

std::optional<std::string> ReadTextAt(const std::string& keyPath, const std::string& name)
{
    std::optional<RegValue> value = Find(keyPath, name);
    if (!value)
        return std::nullopt;
    if (value->kind != RegValueKind::Text)
        ThrowInvalidType(name);
    return value->text;
}

std::string ReadText(SettingsSection section, const std::string& name, const std::string& fallback)
{
    return ReadTextAt(SectionKeyPath(section), name).value_or(fallback);
}

int ReadInt(SettingsSection section, const std::string& name, int fallback)
{
    std::optional<RegValue> value = Find(SectionKeyPath(section), name);
    if (!value)
        return fallback;
    if (value->kind == RegValueKind::Dword)
        return static_cast<int32_t>(value->dword);
    if (value->kind == RegValueKind::Text)
        return ParseDecimal(value->text).value_or(fallback);
    ThrowInvalidType(name);
}

bool ReadBool(SettingsSection section, const std::string& name, bool fallback)
{
    return ReadInt(section, name, fallback ? 1 : 0) != 0;
}

double ReadReal(SettingsSection section, const std::string& name, double fallback)
{
    std::optional<RegValue> value = Find(SectionKeyPath(section), name);
    if (!value)
        return fallback;
    if (value->kind != RegValueKind::Binary || value->bytes.size() != sizeof(double))
        ThrowInvalidType(name);
    uint64_t bits = 0;
    for (size_t i = 0; i < sizeof bits; ++i)
        bits |= static_cast<uint64_t>(value->bytes[i]) << (8 * i);
    double result = 0;
    std::memcpy(&result, &bits, sizeof result);
    return result;
}

std::optional<std::vector<uint8_t>> ReadBinary(SettingsSection section, const std::string& name)
{
    std::optional<RegValue> value = Find(SectionKeyPath(section), name);
    if (!value)
        return std::nullopt;
    if (value->kind != RegValueKind::Binary || value->bytes.size() > kMaxBinarySize)
        ThrowInvalidType(name);
    return value->bytes;
}

void WriteTextAt(const std::string& keyPath, const std::string& name, const std::string& text)
{
    // The file format has no way to write a line break inside a value.
    if (HasLineBreak(text))
        throw SettingsError(FormatText("Failed to set data for '%s' (line breaks cannot be stored)",
                                       name.c_str()));
    Update(keyPath, name, [&](const RegValue*) {
        RegValue value;
        value.kind = RegValueKind::Text;
        value.text = text;
        return value;
    });
}

void WriteText(SettingsSection section, const std::string& name, const std::string& value)
{
    WriteTextAt(SectionKeyPath(section), name, value);
}

void WriteInt(SettingsSection section, const std::string& name, int number)
{
    Update(SectionKeyPath(section), name, [&](const RegValue* existing) {
        RegValue value;
        if (existing && existing->kind == RegValueKind::Text) {
            value.kind = RegValueKind::Text;
            value.text = std::to_string(number);
        } else {
            value.kind = RegValueKind::Dword;
            value.dword = static_cast<uint32_t>(number);
        }
        return value;
    });
}

void WriteBool(SettingsSection section, const std::string& name, bool value)
{
    WriteText(section, name, value ? "1" : "0");
}

std::vector<uint8_t> RealBytes(double number)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &number, sizeof bits);
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < sizeof bits; ++i)
        bytes.push_back(static_cast<uint8_t>(bits >> (8 * i)));
    return bytes;
}

void WriteReal(SettingsSection section, const std::string& name, double number)
{
    WriteBinary(section, name, RealBytes(number));
}

void WriteBinary(SettingsSection section, const std::string& name,
                 const std::vector<uint8_t>& bytes)
{
    if (bytes.size() > kMaxBinarySize)
        throw SettingsError(FormatText("Failed to set data for '%s' (more than %zu bytes)",
                                       name.c_str(), kMaxBinarySize));
    Update(SectionKeyPath(section), name, [&](const RegValue*) {
        RegValue value;
        value.kind = RegValueKind::Binary;
        value.bytes = bytes;
        return value;
    });
}

void DeleteValue(SettingsSection section, const std::string& name)
{
    const std::string keyPath = SectionKeyPath(section);
    if (!ValueExistsAt(keyPath, name))
        return;
    try {
        UpdateSettingsFile(SettingsFilePath(),
                           [&](RegDocument& document) { document.RemoveValue(keyPath, name); });
    } catch (const SettingsFileError& error) {
        throw SettingsError(
            FormatText("Failed to set data for '%s' (%s)", name.c_str(), error.what()));
    }
}
