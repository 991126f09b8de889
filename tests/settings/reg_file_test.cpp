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

}  // namespace
