#include "config/reg_file.h"

#include "base/format_text.h"

#include <QString>
#include <QStringDecoder>
#include <algorithm>
#include <charconv>

namespace {

const char* const kHeader4 = "REGEDIT4";
const char* const kHeader5 = "Windows Registry Editor Version 5.00";
const std::string kUtf8Bom = "\xEF\xBB\xBF";
const std::string kUtf16LeBom = "\xFF\xFE";

bool IsValidUtf8(const std::string& bytes)
{
    // Stateless: a sequence cut off at the end is an error, not a wait for more.
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    // The decoder works only when its result is taken.
    QString decoded = utf8(QByteArrayView(bytes.data(), static_cast<qsizetype>(bytes.size())));
    return !utf8.hasError();
}

struct DecodedText {
    std::string text;  // UTF-8, except for invalid sequences behind a UTF-8 mark
    RegEncoding encoding;
};

DecodedText Decode(const std::string& bytes)
{
    if (bytes.rfind(kUtf16LeBom, 0) == 0) {
        const auto* units = reinterpret_cast<const char16_t*>(bytes.data() + 2);
        QString text = QString::fromUtf16(units, static_cast<qsizetype>((bytes.size() - 2) / 2));
        return {text.toStdString(), RegEncoding::Utf16LeWithBom};
    }
    if (bytes.rfind(kUtf8Bom, 0) == 0)
        return {bytes.substr(3), RegEncoding::Utf8WithBom};
    if (IsValidUtf8(bytes))
        return {bytes, RegEncoding::Utf8};
    // A REGEDIT4 export from Windows is in the ANSI code page, not UTF-8.
    QString text = QString::fromLatin1(bytes.data(), static_cast<qsizetype>(bytes.size()));
    return {text.toStdString(), RegEncoding::Latin1};
}

// The text in the encoding it was read in, such that it reads back the same.
std::string Encode(const std::string& text, RegEncoding encoding)
{
    switch (encoding) {
    case RegEncoding::Utf16LeWithBom: {
        std::string bytes = kUtf16LeBom;
        for (char16_t unit : QString::fromStdString(text).toStdU16String()) {
            bytes += static_cast<char>(unit & 0xFF);
            bytes += static_cast<char>(unit >> 8);
        }
        return bytes;
    }
    case RegEncoding::Utf8WithBom:
        return kUtf8Bom + text;
    case RegEncoding::Latin1: {
        // Latin-1 bytes that happen to be valid UTF-8 would be read as UTF-8,
        // and a character above U+00FF has no Latin-1 byte: UTF-8 then.
        QString unicode = QString::fromStdString(text);
        bool fits = std::all_of(unicode.begin(), unicode.end(),
                                [](QChar c) { return c.unicode() <= 0xFF; });
        if (fits) {
            QByteArray latin1 = unicode.toLatin1();
            std::string bytes(latin1.constData(), static_cast<size_t>(latin1.size()));
            if (!IsValidUtf8(bytes))
                return bytes;
        }
        return text;
    }
    default:
        return text;
    }
}

// Case-insensitive names as one form each, for lookups by hash.
std::string FoldName(const std::string& name)
{
    bool ascii = std::all_of(name.begin(), name.end(),
                             [](char c) { return static_cast<unsigned char>(c) < 0x80; });
    if (!ascii)
        return QString::fromStdString(name).toCaseFolded().toStdString();
    std::string folded = name;
    for (char& c : folded)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return folded;
}

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    // A line end closes a line; it does not open an empty one.
    while (start < text.size()) {
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
    if (entry.empty())
        throw RegFormatError(line, "expected a quoted value name or [key]");
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

}  // namespace

std::string FormatRegEntry(const RegValue& value)
{
    if (!value.rawEntry.empty())
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

RegFormatError::RegFormatError(int line, const std::string& reason)
    : std::runtime_error(reason), line_(line)
{
}

bool SameName(const std::string& a, const std::string& b)
{
    return FoldName(a) == FoldName(b);
}

RegDocument RegDocument::Parse(const std::string& fileBytes)
{
    RegDocument document;
    DecodedText decoded = Decode(fileBytes);
    document.encoding_ = decoded.encoding;
    std::vector<std::string> lines = SplitLines(decoded.text);
    size_t i = 0;
    while (i < lines.size() && Trim(lines[i]).empty())
        ++i;
    if (i == lines.size())
        return document;
    if (i != 0 || (Trim(lines[0]) != kHeader4 && Trim(lines[0]) != kHeader5))
        throw RegFormatError(static_cast<int>(i + 1),
                             "the first line must be REGEDIT4 or "
                             "Windows Registry Editor Version 5.00");
    document.header_ = Trim(lines[0]);
    size_t firstEnd = decoded.text.find('\n');
    if (firstEnd != std::string::npos && firstEnd > 0 && decoded.text[firstEnd - 1] == '\r')
        document.lineEnd_ = "\r\n";
    document.linesAfterHeader_.clear();

    Key* key = nullptr;
    std::vector<std::string>* linesAfter = &document.linesAfterHeader_;
    for (++i; i < lines.size(); ++i) {
        const int lineNumber = static_cast<int>(i + 1);
        std::string entry = Trim(lines[i]);
        if (entry.empty() || entry[0] == ';') {
            linesAfter->push_back(lines[i]);
            continue;
        }
        if (entry[0] == '[') {
            if (entry.back() != ']' || entry.size() < 3 || entry[1] == '-')
                throw RegFormatError(lineNumber, "a key must be written [path]");
            std::string path = entry.substr(1, entry.size() - 2);
            key = document.FindKey(path);
            if (!key) {
                document.keyIndex_[FoldName(path)] = document.keys_.size();
                document.keys_.push_back(Key{path, lines[i], {}, {}, {}});
                key = &document.keys_.back();
            }
            // A key written twice is one key; the second key line goes.
            linesAfter = &document.LastLinesAfter(*key);
            continue;
        }
        if (!key)
            throw RegFormatError(lineNumber, "a value must follow a [key] line");
        std::string raw = lines[i];
        while (!entry.empty() && entry.back() == '\\' && i + 1 < lines.size()) {
            entry.pop_back();
            entry += Trim(lines[++i]);
            raw += "\n" + lines[i];
        }
        RegValue value = ParseValueEntry(entry, lineNumber);
        value.rawEntry = raw;
        linesAfter = &document.PutValue(*key, value).linesAfter;
    }
    return document;
}

std::string RegDocument::ToText() const
{
    std::string text;
    auto put = [&](const std::string& line) {
        for (char c : line) {
            if (c == '\n')
                text += lineEnd_;
            else
                text += c;
        }
        text += lineEnd_;
    };
    auto putAll = [&](const std::vector<std::string>& lines) {
        for (const std::string& line : lines)
            put(line);
    };
    put(header_);
    putAll(linesAfterHeader_);
    for (const Key& key : keys_) {
        put(key.line);
        putAll(key.linesAfter);
        for (const Entry& entry : key.entries) {
            put(FormatRegEntry(entry.value));
            putAll(entry.linesAfter);
        }
    }
    return Encode(text, encoding_);
}

const RegDocument::Key* RegDocument::FindKey(const std::string& keyPath) const
{
    auto found = keyIndex_.find(FoldName(keyPath));
    return found == keyIndex_.end() ? nullptr : &keys_[found->second];
}

RegDocument::Key* RegDocument::FindKey(const std::string& keyPath)
{
    return const_cast<Key*>(std::as_const(*this).FindKey(keyPath));
}

std::vector<std::string>& RegDocument::LastLinesAfter(Key& key)
{
    return key.entries.empty() ? key.linesAfter : key.entries.back().linesAfter;
}

RegDocument::Key& RegDocument::KeyForWriting(const std::string& keyPath)
{
    if (Key* key = FindKey(keyPath))
        return *key;
    // A blank line before the new key, and one to end its values.
    std::vector<std::string>& before =
        keys_.empty() ? linesAfterHeader_ : LastLinesAfter(keys_.back());
    if (before.empty() || !Trim(before.back()).empty())
        before.push_back("");
    keyIndex_[FoldName(keyPath)] = keys_.size();
    keys_.push_back(Key{keyPath, "[" + keyPath + "]", {""}, {}, {}});
    return keys_.back();
}

RegDocument::Entry& RegDocument::PutValue(Key& key, const RegValue& value)
{
    std::string folded = FoldName(value.name);
    auto found = key.entryIndex.find(folded);
    if (found != key.entryIndex.end()) {
        Entry& entry = key.entries[found->second];
        std::string storedName = entry.value.name;
        entry.value = value;
        // The stored spelling stays, so lines that spell it otherwise are
        // written anew; an unknown type has no other form than its lines.
        if (value.name != storedName && value.kind != RegValueKind::Other) {
            entry.value.name = storedName;
            entry.value.rawEntry.clear();
        }
        return entry;
    }
    key.entryIndex[folded] = key.entries.size();
    key.entries.push_back(Entry{value, {}});
    return key.entries.back();
}

const RegValue* RegDocument::FindValue(const std::string& keyPath, const std::string& name) const
{
    const Key* key = FindKey(keyPath);
    if (!key)
        return nullptr;
    auto found = key->entryIndex.find(FoldName(name));
    return found == key->entryIndex.end() ? nullptr : &key->entries[found->second].value;
}

void RegDocument::SetValue(const std::string& keyPath, const RegValue& value)
{
    RegValue fresh = value;
    // A changed value is written anew; an unknown type has only its raw form.
    if (fresh.kind != RegValueKind::Other)
        fresh.rawEntry.clear();
    Key& key = KeyForWriting(keyPath);
    size_t count = key.entries.size();
    PutValue(key, fresh);
    if (key.entries.size() == count)
        return;
    // A new value goes right after the last one, before the lines that
    // followed it (the blank line before the next key, say).
    std::vector<std::string>& before =
        count == 0 ? key.linesAfter : key.entries[count - 1].linesAfter;
    key.entries.back().linesAfter = std::move(before);
    before.clear();
}

void RegDocument::RemoveValue(const std::string& keyPath, const std::string& name)
{
    Key* key = FindKey(keyPath);
    if (!key)
        return;
    auto found = key->entryIndex.find(FoldName(name));
    if (found == key->entryIndex.end())
        return;
    size_t position = found->second;
    // The comment and blank lines after it stay where they were.
    std::vector<std::string>& before =
        position == 0 ? key->linesAfter : key->entries[position - 1].linesAfter;
    std::vector<std::string>& after = key->entries[position].linesAfter;
    before.insert(before.end(), after.begin(), after.end());
    key->entries.erase(key->entries.begin() + static_cast<std::ptrdiff_t>(position));
    key->entryIndex.clear();
    for (size_t i = 0; i < key->entries.size(); ++i)
        key->entryIndex[FoldName(key->entries[i].value.name)] = i;
}

void RegDocument::ForEachValue(
    const std::function<void(const std::string& keyPath, const RegValue& value)>& visit) const
{
    for (const Key& key : keys_)
        for (const Entry& entry : key.entries)
            visit(key.path, entry.value);
}
