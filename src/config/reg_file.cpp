#include "config/reg_file.h"

#include "base/format_text.h"

#include <QString>
#include <QStringDecoder>
#include <charconv>

namespace {

const char* const kHeader4 = "REGEDIT4";
const char* const kHeader5 = "Windows Registry Editor Version 5.00";

std::string DecodeToUtf8(const std::string& bytes)
{
    if (bytes.size() >= 2 && bytes[0] == '\xFF' && bytes[1] == '\xFE') {
        const auto* units = reinterpret_cast<const char16_t*>(bytes.data() + 2);
        return QString::fromUtf16(units, static_cast<qsizetype>((bytes.size() - 2) / 2))
            .toStdString();
    }
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0)
        return bytes.substr(3);
    // A REGEDIT4 export from Windows is in the ANSI code page, not UTF-8.
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    if (utf8.hasError())
        return QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size())).toStdString();
    return bytes;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        std::string line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        lines.push_back(line);
        start = end + 1;
    }
    return lines;
}

std::string Trim(const std::string& text)
{
    const char* space = " \t";
    size_t first = text.find_first_not_of(space);
    if (first == std::string::npos)
        return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

bool StartsWith(const std::string& text, const char* prefix)
{
    return text.rfind(prefix, 0) == 0;
}

// Reads a quoted text at text[pos] ('"'), undoing the \\ and \" escapes;
// pos ends after the closing quote.
std::string ParseQuoted(const std::string& text, size_t& pos, int line)
{
    std::string result;
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return result;
        }
        if (c == '\\') {
            ++pos;
            if (pos >= text.size() || (text[pos] != '\\' && text[pos] != '"'))
                throw RegFormatError(line, "a backslash in quotes must be written \\\\");
            c = text[pos];
        }
        result += c;
    }
    throw RegFormatError(line, "the closing quote is missing");
}

std::vector<uint8_t> ParseHexList(const std::string& list, int line)
{
    std::vector<uint8_t> bytes;
    std::string rest = Trim(list);
    if (rest.empty())
        return bytes;
    size_t start = 0;
    while (true) {
        size_t comma = rest.find(',', start);
        std::string item = Trim(rest.substr(start, comma == std::string::npos ? std::string::npos
                                                                                : comma - start));
        unsigned value = 0;
        auto [end, error] = std::from_chars(item.data(), item.data() + item.size(), value, 16);
        if (item.empty() || item.size() > 2 || error != std::errc() ||
            end != item.data() + item.size())
            throw RegFormatError(line, "hex data must be two-digit bytes separated by commas");
        bytes.push_back(static_cast<uint8_t>(value));
        if (comma == std::string::npos)
            return bytes;
        start = comma + 1;
    }
}

uint32_t ParseDword(const std::string& digits, int line)
{
    uint32_t value = 0;
    auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    if (digits.empty() || digits.size() > 8 || error != std::errc() ||
        end != digits.data() + digits.size())
        throw RegFormatError(line, "dword data must be up to 8 hex digits");
    return value;
}

// One value entry, continuation lines already joined.
RegValue ParseValueEntry(const std::string& entry, int line)
{
    RegValue value;
    size_t pos = 0;
    if (entry[0] == '@')
        pos = 1;
    else if (entry[0] == '"')
        value.name = ParseQuoted(entry, pos, line);
    else
        throw RegFormatError(line, "expected a quoted value name or [key]");

    std::string rest = Trim(entry.substr(pos));
    if (rest.empty() || rest[0] != '=')
        throw RegFormatError(line, "expected = after the value name");
    std::string data = Trim(rest.substr(1));

    if (StartsWith(data, "\"")) {
        size_t end = 0;
        value.kind = RegValueKind::Text;
        value.text = ParseQuoted(data, end, line);
        if (end != data.size())
            throw RegFormatError(line, "unexpected text after the closing quote");
    } else if (StartsWith(data, "dword:")) {
        value.kind = RegValueKind::Dword;
        value.dword = ParseDword(data.substr(6), line);
    } else if (StartsWith(data, "hex:")) {
        value.kind = RegValueKind::Binary;
        value.bytes = ParseHexList(data.substr(4), line);
    } else if (StartsWith(data, "hex(") && data.find("):") != std::string::npos) {
        size_t close = data.find("):");
        ParseDword(data.substr(4, close - 4), line);
        ParseHexList(data.substr(close + 2), line);
        value.kind = RegValueKind::Other;
    } else {
        throw RegFormatError(line, "unknown value type");
    }
    return value;
}

std::string Quote(const std::string& text)
{
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + '"';
}

// Bytes as regedit writes them: lines of about 80 characters joined by "\".
std::string HexEntry(const std::string& prefix, const std::vector<uint8_t>& bytes)
{
    std::string entry = prefix + "hex:";
    size_t lineStart = 0;
    for (size_t i = 0; i < bytes.size(); ++i) {
        entry += FormatText("%02x", bytes[i]);
        if (i + 1 == bytes.size())
            break;
        entry += ',';
        if (entry.size() - lineStart > 76) {
            entry += "\\\n  ";
            lineStart = entry.size() - 2;
        }
    }
    return entry;
}

std::string FormatEntry(const RegValue& value)
{
    if (value.kind == RegValueKind::Other)
        return value.rawEntry;
    std::string prefix = (value.name.empty() ? "@" : Quote(value.name)) + "=";
    switch (value.kind) {
    case RegValueKind::Text:
        return prefix + Quote(value.text);
    case RegValueKind::Dword:
        return prefix + FormatText("dword:%08x", value.dword);
    default:
        return HexEntry(prefix, value.bytes);
    }
}

}  // namespace

RegFormatError::RegFormatError(int line, const std::string& reason)
    : std::runtime_error(reason), line_(line)
{
}

bool SameName(const std::string& a, const std::string& b)
{
    return QString::fromStdString(a).compare(QString::fromStdString(b), Qt::CaseInsensitive) == 0;
}

RegDocument RegDocument::Parse(const std::string& fileBytes)
{
    RegDocument document;
    std::vector<std::string> lines = SplitLines(DecodeToUtf8(fileBytes));
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty())
        ++i;
    if (i == lines.size())
        return document;
    if (i != 0 || (Trim(lines[0]) != kHeader4 && Trim(lines[0]) != kHeader5))
        throw RegFormatError(static_cast<int>(i + 1),
                             "the first line must be REGEDIT4 or "
                             "Windows Registry Editor Version 5.00");

    RegKey* key = nullptr;
    for (++i; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i + 1);
        std::string entry = Trim(lines[i]);
        if (entry.empty() || entry[0] == ';')
            continue;
        if (entry[0] == '[') {
            if (entry.back() != ']' || entry.size() < 3 || entry[1] == '-')
                throw RegFormatError(lineNumber, "a key must be written [path]");
            key = &document.KeyForWriting(entry.substr(1, entry.size() - 2));
            continue;
        }
        if (!key)
            throw RegFormatError(lineNumber, "a value must follow a [key] line");
        std::string raw = lines[i];
        while (entry.back() == '\\' && i + 1 < lines.size()) {
            entry.pop_back();
            entry += Trim(lines[++i]);
            raw += "\n" + lines[i];
        }
        RegValue value = ParseValueEntry(entry, lineNumber);
        if (value.kind == RegValueKind::Other)
            value.rawEntry = raw;
        document.SetValue(key->path, value);
    }
    return document;
}

std::string RegDocument::ToText() const
{
    std::string text = std::string(kHeader4) + "\n\n";
    for (const RegKey& key : keys_) {
        text += "[" + key.path + "]\n";
        for (const RegValue& value : key.values)
            text += FormatEntry(value) + "\n";
        text += "\n";
    }
    return text;
}

const RegKey* RegDocument::FindKey(const std::string& keyPath) const
{
    for (const RegKey& key : keys_)
        if (SameName(key.path, keyPath))
            return &key;
    return nullptr;
}

RegKey* RegDocument::FindKey(const std::string& keyPath)
{
    return const_cast<RegKey*>(std::as_const(*this).FindKey(keyPath));
}

RegKey& RegDocument::KeyForWriting(const std::string& keyPath)
{
    if (RegKey* key = FindKey(keyPath))
        return *key;
    keys_.push_back(RegKey{keyPath, {}});
    return keys_.back();
}

const RegValue* RegDocument::FindValue(const std::string& keyPath, const std::string& name) const
{
    const RegKey* key = FindKey(keyPath);
    if (!key)
        return nullptr;
    for (const RegValue& value : key->values)
        if (SameName(value.name, name))
            return &value;
    return nullptr;
}

void RegDocument::SetValue(const std::string& keyPath, const RegValue& value)
{
    RegKey& key = KeyForWriting(keyPath);
    for (RegValue& existing : key.values) {
        if (SameName(existing.name, value.name)) {
            std::string storedName = existing.name;
            existing = value;
            existing.name = storedName;
            return;
        }
    }
    key.values.push_back(value);
}

void RegDocument::RemoveValue(const std::string& keyPath, const std::string& name)
{
    RegKey* key = FindKey(keyPath);
    if (!key)
        return;
    std::erase_if(key->values, [&](const RegValue& value) { return SameName(value.name, name); });
}
