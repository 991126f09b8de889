#pragma once
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

// The registry export text format ("REGEDIT4" or "Windows Registry Editor
// Version 5.00"), so that an export of the Windows key can be used as it is.

enum class RegValueKind { Text, Dword, Binary, Other };

struct RegValue {
    std::string name;            // empty for the key's default value "@"
    RegValueKind kind = RegValueKind::Text;
    std::string text;            // Text
    uint32_t dword = 0;          // Dword
    std::vector<uint8_t> bytes;  // Binary
    std::string rawEntry;        // Other: the entry's lines exactly as read
};

struct RegKey {
    std::string path;  // full path: HKEY_CURRENT_USER\Software\...
    std::vector<RegValue> values;
};

// A line of the text that is not part of the format.
class RegFormatError : public std::runtime_error {
public:
    RegFormatError(int line, const std::string& reason);
    int line() const { return line_; }

private:
    int line_;
};

class RegDocument {
public:
    // Accepts UTF-8 (with or without a byte-order mark), UTF-16LE with a
    // byte-order mark, and Latin-1 text that is not valid UTF-8. Empty input
    // is an empty document.
    static RegDocument Parse(const std::string& fileBytes);

    // UTF-8 text headed "REGEDIT4".
    std::string ToText() const;

    const RegValue* FindValue(const std::string& keyPath, const std::string& name) const;
    // Replaces a value of the same name (keeping its stored spelling) or
    // adds it, creating the key when needed.
    void SetValue(const std::string& keyPath, const RegValue& value);
    void RemoveValue(const std::string& keyPath, const std::string& name);

private:
    RegKey* FindKey(const std::string& keyPath);
    const RegKey* FindKey(const std::string& keyPath) const;
    RegKey& KeyForWriting(const std::string& keyPath);

    std::vector<RegKey> keys_;
};

// Key paths and value names compare without regard to case.
bool SameName(const std::string& a, const std::string& b);
