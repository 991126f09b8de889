// The settings-file parser, and its writer: whatever parses is written so
// that it reads back as the same values, unchanged or written anew.

#include "config/reg_file.h"
#include "fuzz_check.h"

#include <QString>
#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace {

using Values = std::vector<std::pair<std::string, RegValue>>;

Values ValuesOf(const RegDocument& document)
{
    Values values;
    document.ForEachValue([&](const std::string& key, const RegValue& value) {
        values.emplace_back(key, value);
    });
    return values;
}

bool SameValue(const RegValue& a, const RegValue& b)
{
    if (a.name != b.name || a.kind != b.kind)
        return false;
    switch (a.kind) {
    case RegValueKind::Text: return a.text == b.text;
    case RegValueKind::Dword: return a.dword == b.dword;
    case RegValueKind::Binary: return a.bytes == b.bytes;
    default: return a.rawEntry == b.rawEntry;
    }
}

// Writes the document and reads it back; the same values must come back.
RegDocument ReadBack(const RegDocument& document)
{
    const std::string written = document.ToText();
    RegDocument again;
    try {
        again = RegDocument::Parse(written);
    } catch (const RegFormatError& error) {
        std::fprintf(stderr, "written text does not parse: line %d: %s\n", error.line(), error.what());
        FUZZ_CHECK(false);
    }
    Values before = ValuesOf(document);
    Values after = ValuesOf(again);
    FUZZ_CHECK(before.size() == after.size());
    for (size_t i = 0; i < before.size(); ++i) {
        FUZZ_CHECK(before[i].first == after[i].first);
        FUZZ_CHECK(SameValue(before[i].second, after[i].second));
    }
    return again;
}

// Text as the program hands it to the store: valid UTF-8 without line breaks.
std::string StoreText(const uint8_t* data, size_t size)
{
    std::string text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))
            .toStdString();
    std::erase_if(text, [](char c) { return c == '\r' || c == '\n'; });
    return text;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    RegDocument document;
    try {
        document = RegDocument::Parse(std::string(reinterpret_cast<const char*>(data), size));
    } catch (const RegFormatError& error) {
        FUZZ_CHECK(error.line() >= 1);
        return 0;
    }
    // Unchanged: the lines as read.
    RegDocument again = ReadBack(document);
    FUZZ_CHECK(again.ToText() == document.ToText());

    // Every value written anew, and one more from the input's own bytes.
    RegDocument changed = document;
    document.ForEachValue([&](const std::string& key, const RegValue& value) {
        changed.SetValue(key, value);
    });
    size_t nameSize = std::min<size_t>(size, 12);
    RegValue extra;
    extra.name = StoreText(data, nameSize);
    extra.text = StoreText(data + nameSize, std::min<size_t>(size - nameSize, 200));
    changed.SetValue("HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane\\Fuzz", extra);
    ReadBack(changed);
    return 0;
}
