#pragma once
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <unordered_map>
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
    std::string rawEntry;        // the entry's lines exactly as read; empty for a new value
};

// A line of the text that is not part of the format.
class RegFormatError : public std::runtime_error {
public:
    RegFormatError(int line, const std::string& reason);
    int line() const { return line_; }

private:
    int line_;
};

// How the file's bytes were encoded; a rewrite uses the same.
enum class RegEncoding { Utf8, Utf8WithBom, Latin1, Utf16LeWithBom };

class RegDocument {
public:
    // Accepts UTF-8 (with or without a byte-order mark), UTF-16LE with a
    // byte-order mark, and Latin-1 text that is not valid UTF-8. Empty input
    // is an empty document. Linear in the size of the text.
    static RegDocument Parse(const std::string& fileBytes);

    // The file as read, with comments, blank lines, header, line ends and
    // encoding kept; only changed values are written anew. A new document is
    // UTF-8 headed "REGEDIT4".
    std::string ToText() const;
    RegEncoding Encoding() const { return encoding_; }

    const RegValue* FindValue(const std::string& keyPath, const std::string& name) const;
    // Replaces a value of the same name (keeping its stored spelling and
    // place) or adds it after the key's last value, creating the key when
    // needed.
    void SetValue(const std::string& keyPath, const RegValue& value);
    void RemoveValue(const std::string& keyPath, const std::string& name);

    // Every value in file order.
    void ForEachValue(
        const std::function<void(const std::string& keyPath, const RegValue& value)>& visit) const;

private:
    // A value and the comment and blank lines that follow it in the file.
    struct Entry {
        RegValue value;
        std::vector<std::string> linesAfter;
    };
    struct Key {
        std::string path;  // full path: HKEY_CURRENT_USER\Software\...
        std::string line;  // "[path]" as read
        std::vector<std::string> linesAfter;  // between the key line and its first value
        std::vector<Entry> entries;
        std::unordered_map<std::string, size_t> entryIndex;  // folded name -> entries
    };

    Key* FindKey(const std::string& keyPath);
    const Key* FindKey(const std::string& keyPath) const;
    Key& KeyForWriting(const std::string& keyPath);
    // The lines after the key's last value, or after its key line.
    static std::vector<std::string>& LastLinesAfter(Key& key);
    // Adds or replaces; returns the entry now holding the value.
    Entry& PutValue(Key& key, const RegValue& value);

    RegEncoding encoding_ = RegEncoding::Utf8;
    std::string header_ = "REGEDIT4";
    std::string lineEnd_ = "\n";
    std::vector<std::string> linesAfterHeader_ = {""};
    std::vector<Key> keys_;
    std::unordered_map<std::string, size_t> keyIndex_;  // folded path -> keys_
};

// The value's entry as the file holds it: as read, or as regedit writes it.
std::string FormatRegEntry(const RegValue& value);

// Key paths and value names compare without regard to case.
bool SameName(const std::string& a, const std::string& b);
