#pragma once
#include "base/net_log.h"
#include "test_env.h"

#include <gtest/gtest.h>

#include <sstream>
#include <string>
#include <vector>

// Claims and expected responses written out byte by byte, so that the tests
// never lean on the builder to tell them what it should produce.
namespace ncpdp {

const std::string FS = "\x1c";
const std::string GS = "\x1d";
const std::string RS = "\x1e";

// The 56-byte request header of a version 5.1 claim.
inline std::string RequestHeader(char count = '1', const std::string& transactionCode = "B1")
{
    return "610066" "51" + transactionCode + "PCN1234567" + std::string(1, count)
           + "01" "1234567890     " "20261209" "SOFTWARE01";
}

// The response header echoing RequestHeader(): version, code, count, status,
// qualifier, provider id, date of service.
inline std::string ResponseHeader(char count = '1', char status = 'A', const std::string& transactionCode = "B1")
{
    return "51" + transactionCode + std::string(1, count) + std::string(1, status)
           + "01" "1234567890     " "20261209";
}

inline std::string PatientSegment()
{
    return RS + FS + "AM01" + FS + "C419600101" + FS + "C51";
}

// One transaction: a claim segment carrying the prescription reference.
inline std::string Transaction(const std::string& em, const std::string& d2)
{
    return GS + RS + FS + "AM07" + FS + "EM" + em + FS + "D2" + d2 + FS + "E103" + FS + "D700012345678";
}

inline std::string Claim51()
{
    return RequestHeader() + PatientSegment() + Transaction("1", "0004711");
}

inline std::string MessageSegment(const std::string& message)
{
    return RS + FS + "AM20" + FS + "F4" + message;
}

inline std::string StatusSegment(const std::vector<std::string>& codes)
{
    std::string segment = GS + RS + FS + "AM21" + FS + "ANR" + FS + "FA" + std::to_string(codes.size());
    for (const std::string& code : codes)
        segment += FS + "FB" + code;
    return segment;
}

inline std::string ClaimSegment(const std::string& emField, const std::string& d2Field)
{
    return RS + FS + "AM22" + FS + emField + FS + d2Field;
}

// The network log of one test, in a private home.
class NetLogTest : public ::testing::Test {
protected:
    void SetUp() override { mxLogFile(logPath().c_str()); }
    void TearDown() override { mxLogFile(nullptr); }

    std::string logPath() const { return home_.path() + "/TuqNetLog.txt"; }

    // The lines written so far, without their time stamps.
    std::vector<std::string> logLines() const
    {
        std::istringstream text(ReadWholeFile(logPath()));
        std::vector<std::string> lines;
        for (std::string line; std::getline(text, line);)
            lines.push_back(line.size() > 23 ? line.substr(23) : line);
        return lines;
    }

private:
    TestHome home_;
};

} // namespace ncpdp
