#include "config/reg_file.h"

#include <QString>
#include <gtest/gtest.h>

namespace {

const std::string kKey = "HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane";

std::string Utf16WithBom(const std::string& utf8)
{
    std::u16string units = QString::fromStdString(utf8).toStdU16String();
    std::string bytes = "\xFF\xFE";
    for (char16_t unit : units) {
        bytes += static_cast<char>(unit & 0xFF);
        bytes += static_cast<char>(unit >> 8);
    }
    return bytes;
}

TEST(RegFile, ReadsWindowsExportInUtf16)
{
    std::string text =
        "Windows Registry Editor Version 5.00\r\n\r\n"
        "[HKEY_CURRENT_USER\\Software\\Tuq Network\\Corvane]\r\n"
        "\"ClaimFileMask\"=\"C:\\\\Claims\\\\*.clm\"\r\n"
        "\"SystemID\"=\"M\xC3\x9CLLER\"\r\n"
        "\"InboundPort\"=dword:0000170d\r\n"
        "\"ExpandPath\"=hex(2):25,00,54,00,00,00\r\n\r\n";
    RegDocument document = RegDocument::Parse(Utf16WithBom(text));
    const RegValue* mask = document.FindValue(kKey, "ClaimFileMask");
    ASSERT_TRUE(mask);
    EXPECT_EQ(mask->text, "C:\\Claims\\*.clm");
    EXPECT_EQ(document.FindValue(kKey, "SystemID")->text, "M\xC3\x9CLLER");
    EXPECT_EQ(document.FindValue(kKey, "InboundPort")->dword, 5901u);
    EXPECT_EQ(document.FindValue(kKey, "ExpandPath")->kind, RegValueKind::Other);
}

TEST(RegFile, ReadsUtf8WithByteOrderMark)
{
    RegDocument document =
        RegDocument::Parse("\xEF\xBB\xBFREGEDIT4\n[" + kKey + "]\n\"A\"=\"b\"\n");
    EXPECT_EQ(document.FindValue(kKey, "a")->text, "b");
}

TEST(RegFile, ReadsAnsiExportAsLatin1)
{
    RegDocument document =
        RegDocument::Parse("REGEDIT4\r\n\r\n[" + kKey + "]\r\n\"SystemID\"=\"M\xDCLLER\"\r\n");
    EXPECT_EQ(document.FindValue(kKey, "SystemID")->text, "M\xC3\x9CLLER");
}

TEST(RegFile, HexContinuesOverLines)
{
    RegDocument document = RegDocument::Parse("REGEDIT4\n\n[" + kKey +
                                              "]\n"
                                              "\"TapiConfig\"=hex:01,02,03,\\\n"
                                              "  04,05,\\\n"
                                              "  06\n"
                                              "\"After\"=dword:00000001\n");
    EXPECT_EQ(document.FindValue(kKey, "TapiConfig")->bytes,
              (std::vector<uint8_t>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(document.FindValue(kKey, "After")->dword, 1u);
}

TEST(RegFile, WrittenTextReadsBackTheSame)
{
    RegDocument document;
    RegValue text{"Password", RegValueKind::Text, "a\\b\"c d", 0, {}, ""};
    RegValue number{"Port", RegValueKind::Dword, "", 0xfffffff0u, {}, ""};
    RegValue binary{"Block", RegValueKind::Binary, "", 0, {}, ""};
    for (int i = 0; i < 300; ++i)
        binary.bytes.push_back(static_cast<uint8_t>(i));
    RegValue byDefault{"", RegValueKind::Text, "default", 0, {}, ""};
    for (const RegValue& value : {text, number, binary, byDefault})
        document.SetValue(kKey + "\\Sub", value);

    std::string written = document.ToText();
    EXPECT_EQ(written.rfind("REGEDIT4\n\n[" + kKey + "\\Sub]\n", 0), 0u) << written;
    EXPECT_NE(written.find("\"Password\"=\"a\\\\b\\\"c d\"\n"), std::string::npos);
    EXPECT_NE(written.find("@=\"default\"\n"), std::string::npos);
    EXPECT_NE(written.find(",\\\n  "), std::string::npos) << "long hex is wrapped";

    RegDocument again = RegDocument::Parse(written);
    EXPECT_EQ(again.FindValue(kKey + "\\sub", "password")->text, text.text);
    EXPECT_EQ(again.FindValue(kKey + "\\Sub", "Port")->dword, number.dword);
    EXPECT_EQ(again.FindValue(kKey + "\\Sub", "Block")->bytes, binary.bytes);
    EXPECT_EQ(again.FindValue(kKey + "\\Sub", "")->text, "default");
    EXPECT_EQ(again.ToText(), written);
}

TEST(RegFile, UnknownTypesAreKeptVerbatim)
{
    const std::string multi = "\"Paths\"=hex(7):41,00,00,00,\\\n    42,00,00,00,00,00";
    const std::string qword = "\"Big\"=hex(b):01,00,00,00,00,00,00,00";
    RegDocument document =
        RegDocument::Parse("REGEDIT4\n\n[" + kKey + "]\n" + multi + "\n" + qword + "\n");
    document.SetValue(kKey, RegValue{"New", RegValueKind::Text, "x", 0, {}, ""});
    std::string written = document.ToText();
    EXPECT_NE(written.find(multi + "\n" + qword + "\n\"New\"=\"x\"\n"), std::string::npos)
        << written;
}

TEST(RegFile, CommentsBlankLinesAndRepeatedKeys)
{
    RegDocument document = RegDocument::Parse("REGEDIT4\n"
                                               "; exported by hand\n\n"
                                               "[" + kKey + "]\n"
                                               "\"A\"=\"1\"\n\n"
                                               "[" + kKey + "\\Other]\n"
                                               "\"A\"=\"2\"\n"
                                               "[" + kKey + "]\n"
                                               "\"a\"=\"3\"\n"
                                               "\"B\" = dword:1\n");
    EXPECT_EQ(document.FindValue(kKey, "A")->text, "3");
    EXPECT_EQ(document.FindValue(kKey, "A")->name, "A");
    EXPECT_EQ(document.FindValue(kKey, "B")->dword, 1u);
    EXPECT_EQ(document.FindValue(kKey + "\\Other", "A")->text, "2");
    EXPECT_EQ(document.FindValue(kKey + "\\Missing", "A"), nullptr);
}

TEST(RegFile, EmptyInputIsAnEmptyDocument)
{
    EXPECT_EQ(RegDocument::Parse("").FindValue(kKey, "A"), nullptr);
    EXPECT_EQ(RegDocument::Parse("\n  \n").FindValue(kKey, "A"), nullptr);
}

TEST(RegFile, RemoveValue)
{
    RegDocument document = RegDocument::Parse("REGEDIT4\n[K]\n\"A\"=\"1\"\n\"B\"=\"2\"\n");
    document.RemoveValue("k", "a");
    document.RemoveValue("Missing", "B");
    EXPECT_EQ(document.FindValue("K", "A"), nullptr);
    EXPECT_NE(document.FindValue("K", "B"), nullptr);
}

TEST(RegFile, BadLinesAreReportedByNumber)
{
    const struct {
        std::string text;
        int line;
    } cases[] = {
        {"[K]\n\"A\"=\"1\"\n", 1},
        {"\nREGEDIT4\n[K]\n", 2},
        {"REGEDIT4\n\"A\"=\"1\"\n", 2},
        {"REGEDIT4\n[K]\n\"A\"=\"1\"\n[-K]\n", 4},
        {"REGEDIT4\n[K]\n\"A\"=-\n", 3},
        {"REGEDIT4\n[K]\n\"A\"=\"C:\\Data\"\n", 3},
        {"REGEDIT4\n[K]\n\"A\"=\"open\n", 3},
        {"REGEDIT4\n[K]\n\"A\"=\"x\" trailing\n", 3},
        {"REGEDIT4\n[K]\n\n\"A\"=dword:123456789\n", 4},
        {"REGEDIT4\n[K]\n\"A\"=dword:xyz\n", 3},
        {"REGEDIT4\n[K]\n\"A\"=hex:01,2g\n", 3},
        {"REGEDIT4\n[K]\n\"A\"=hex:01,\\\n  02,\\\n  003\n", 3},
        {"REGEDIT4\n[K]\n\"A\"=hex(z):00\n", 3},
        {"REGEDIT4\n[K]\nA=\"1\"\n", 3},
        {"REGEDIT4\n[K]\n\"A\"\n", 3},
        {"REGEDIT4\n[K\n", 2},
        {"REGEDIT4\n[K]\n\"A\"=text\n", 3},
        {"REGEDIT4\n[K]\n\\\n", 3},
        {"REGEDIT4\n[K]\n\\\n\n\"A\"=\"1\"\n", 3},
    };
    for (const auto& c : cases) {
        try {
            RegDocument::Parse(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const RegFormatError& error) {
            EXPECT_EQ(error.line(), c.line) << c.text << error.what();
        }
    }
}

TEST(RegFile, RewriteKeepsCommentsBlankLinesAndLayout)
{
    const std::string original = "Windows Registry Editor Version 5.00\r\n"
                                 "; Corvane for the counter\r\n\r\n"
                                 "[K]\r\n"
                                 "; the first one\r\n"
                                 "\"A\" = \"1\"\r\n"
                                 "\"Block\"=hex:01,\\\r\n"
                                 "    02\r\n"
                                 "\"B\"=\"2\"\r\n"
                                 "  ; after B\r\n\r\n"
                                 "[L]\r\n"
                                 "\"C\"=dword:00000003";
    RegDocument document = RegDocument::Parse(original);
    EXPECT_EQ(document.ToText(), original + "\r\n") << "read and written unchanged";

    document.SetValue("k", RegValue{"a", RegValueKind::Text, "one", 0, {}, ""});
    document.SetValue("K", RegValue{"New", RegValueKind::Dword, "", 7, {}, ""});
    document.RemoveValue("K", "B");
    document.SetValue("M", RegValue{"D", RegValueKind::Text, "4", 0, {}, ""});
    EXPECT_EQ(document.ToText(), "Windows Registry Editor Version 5.00\r\n"
                                 "; Corvane for the counter\r\n\r\n"
                                 "[K]\r\n"
                                 "; the first one\r\n"
                                 "\"A\"=\"one\"\r\n"
                                 "\"Block\"=hex:01,\\\r\n"
                                 "    02\r\n"
                                 "\"New\"=dword:00000007\r\n"
                                 "  ; after B\r\n\r\n"
                                 "[L]\r\n"
                                 "\"C\"=dword:00000003\r\n\r\n"
                                 "[M]\r\n"
                                 "\"D\"=\"4\"\r\n\r\n");
}

std::string Latin1(const std::string& utf8)
{
    QByteArray bytes = QString::fromStdString(utf8).toLatin1();
    return std::string(bytes.constData(), static_cast<size_t>(bytes.size()));
}

// Each file is rewritten in the encoding it was read in, and every value,
// old or new, reads back as it was.
TEST(RegFile, RewriteKeepsTheEncoding)
{
    const std::string body = "REGEDIT4\r\n\r\n[K]\r\n\"SystemID\"=\"M\xC3\x9CLLER\"\r\n";
    const std::string added = "\"Path\"=\"/home/J\xC3\xB6rg\"\r\n";
    const struct {
        const char* name;
        std::string before;
        std::string after;
        RegEncoding encoding;
    } cases[] = {
        {"UTF-8", body, body + added, RegEncoding::Utf8},
        {"UTF-8 with mark", "\xEF\xBB\xBF" + body, "\xEF\xBB\xBF" + body + added,
         RegEncoding::Utf8WithBom},
        {"Latin-1", Latin1(body), Latin1(body + added), RegEncoding::Latin1},
        {"Latin-1 ending in a cut UTF-8 sequence", Latin1(body) + "; \xC3",
         Latin1(body + added) + "; \xC3\r\n", RegEncoding::Latin1},
        {"UTF-16LE", Utf16WithBom(body), Utf16WithBom(body + added), RegEncoding::Utf16LeWithBom},
        // Behind a UTF-8 mark a stray ANSI byte stays as it is: dropping the
        // mark would make the whole file read as Latin-1.
        {"UTF-8 with mark and a stray byte", "\xEF\xBB\xBF" + body + "\"Odd\"=\"\xE9\"\r\n",
         "\xEF\xBB\xBF" + body + "\"Odd\"=\"\xE9\"\r\n" + added, RegEncoding::Utf8WithBom},
    };
    for (const auto& c : cases) {
        RegDocument document = RegDocument::Parse(c.before);
        EXPECT_EQ(document.Encoding(), c.encoding) << c.name;
        document.SetValue("K", RegValue{"Path", RegValueKind::Text, "/home/J\xC3\xB6rg", 0, {}, ""});
        std::string written = document.ToText();
        EXPECT_EQ(written, c.after) << c.name;
        RegDocument again = RegDocument::Parse(written);
        EXPECT_EQ(again.FindValue("K", "SystemID")->text, "M\xC3\x9CLLER") << c.name;
        EXPECT_EQ(again.FindValue("K", "Path")->text, "/home/J\xC3\xB6rg") << c.name;
    }
}

TEST(RegFile, Latin1FileTakesUtf8WhenLatin1CannotHoldAValue)
{
    RegDocument document = RegDocument::Parse(Latin1("REGEDIT4\n[K]\n\"A\"=\"\xC3\xA9\"\n"));
    document.SetValue("K", RegValue{"B", RegValueKind::Text, "\xE2\x82\xAC", 0, {}, ""});
    std::string written = document.ToText();
    EXPECT_EQ(written, "REGEDIT4\n[K]\n\"A\"=\"\xC3\xA9\"\n\"B\"=\"\xE2\x82\xAC\"\n");
    RegDocument again = RegDocument::Parse(written);
    EXPECT_EQ(again.FindValue("K", "A")->text, "\xC3\xA9");
    EXPECT_EQ(again.FindValue("K", "B")->text, "\xE2\x82\xAC");
}

TEST(RegFile, ValuesAreVisitedInFileOrder)
{
    RegDocument document =
        RegDocument::Parse("REGEDIT4\n[K]\n\"A\"=\"1\"\n[L]\n@=dword:2\n[k]\n\"b\"=\"3\"\n");
    std::vector<std::string> seen;
    document.ForEachValue([&](const std::string& key, const RegValue& value) {
        seen.push_back(key + "/" + value.name);
    });
    EXPECT_EQ(seen, (std::vector<std::string>{"K/A", "K/b", "L/"}));
}

}  // namespace
