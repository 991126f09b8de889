#include "config/settings_listing.h"

#include "config/settings_access.h"
#include "config/settings_file.h"
#include "config/settings_table.h"

#include <vector>

namespace {

std::vector<RegValue> ValuesOfKey(const RegDocument& document, const std::string& keyPath)
{
    std::vector<RegValue> values;
    document.ForEachValue([&](const std::string& path, const RegValue& value) {
        if (SameName(path, keyPath))
            values.push_back(value);
    });
    return values;
}

bool IsKnown(SettingsSection section, const std::string& name)
{
    for (const SettingDefinition& setting : kSettingsTable)
        if (setting.section == section && SameName(std::string(setting.name), name))
            return true;
    return false;
}

RegValue DefaultValue(const SettingDefinition& setting)
{
    RegValue value;
    value.name = std::string(setting.name);
    switch (setting.type) {
    case SettingType::Number:
        value.kind = RegValueKind::Dword;
        value.dword = static_cast<uint32_t>(FallbackNumber(setting));
        break;
    case SettingType::Real:
        value.kind = RegValueKind::Binary;
        value.bytes = RealBytes(FallbackReal(setting));
        break;
    default:
        value.kind = RegValueKind::Text;
        value.text = FallbackText(setting);
    }
    return value;
}

std::string Quoted(std::string_view name)
{
    return "\"" + std::string(name) + "\"";
}

std::string StoredLine(const SettingDefinition& setting, const RegValue& value)
{
    if (setting.secret && !(value.kind == RegValueKind::Text && value.text.empty()))
        return "; " + Quoted(setting.name) + " is set (not shown)\n";
    return FormatRegEntry(value) + "\n";
}

std::string DefaultLine(const SettingDefinition& setting)
{
    if (setting.noFallback)
        return "; " + Quoted(setting.name) + " is not set: " + std::string(setting.fallbackNote) + "\n";
    return FormatRegEntry(DefaultValue(setting)) + "\n";
}

std::string SectionText(const RegDocument& document, SettingsSection section)
{
    const std::string keyPath = SectionKeyPath(section);
    std::string stored;
    std::string defaults;
    for (const SettingDefinition& setting : kSettingsTable) {
        if (setting.section != section)
            continue;
        if (const RegValue* value = document.FindValue(keyPath, std::string(setting.name)))
            stored += StoredLine(setting, *value);
        else
            defaults += DefaultLine(setting);
    }
    std::string unknown;
    for (const RegValue& value : ValuesOfKey(document, keyPath))
        if (!IsKnown(section, value.name))
            unknown += "; " + FormatRegEntry(value) + "\n";
    std::string text = "[" + keyPath + "]\n" + stored;
    if (!defaults.empty())
        text += "; Defaults, not in the file:\n" + defaults;
    if (!unknown.empty())
        text += "; In the file but not settings of Corvane (ignored):\n" + unknown;
    return text + "\n";
}

// The devices of COM<n>, from the configuration's Ports key and the shared one.
std::string PortsText(const RegDocument& document)
{
    std::string text;
    std::vector<std::string> keys = {MainKeyPath() + "\\Ports"};
    if (MainKeyPath() != BaseKeyPath())
        keys.push_back(BaseKeyPath() + "\\Ports");
    for (const std::string& keyPath : keys) {
        std::vector<RegValue> values = ValuesOfKey(document, keyPath);
        if (values.empty())
            continue;
        text += "[" + keyPath + "]\n";
        for (const RegValue& value : values)
            text += FormatRegEntry(value) + "\n";
        text += "\n";
    }
    return text;
}

std::string Label()
{
    std::string name = GetConfigName();
    return name.empty() ? "the default configuration" : "the configuration '" + name + "'";
}

}  // namespace

std::string SettingsInEffect()
{
    const std::string path = SettingsFilePath();
    std::shared_ptr<const RegDocument> document = ReadSettingsFile(path);
    std::string text = "REGEDIT4\n\n; The settings in effect for " + Label() + ", from " + path +
                       ".\n; Passwords are not shown; dword: values are hexadecimal (dword:0000000f is 15).\n\n";
    for (SettingsSection section :
         {SettingsSection::Main, SettingsSection::InputSerialPort, SettingsSection::Network})
        text += SectionText(*document, section);
    return text + PortsText(*document);
}
