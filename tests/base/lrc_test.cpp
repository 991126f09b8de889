#include "base/lrc.h"

#include <gtest/gtest.h>
#include <ostream>
#include <string>

namespace {

struct LrcCase {
    std::string data;
    unsigned char lrc;
};

void PrintTo(const LrcCase& c, std::ostream* out)
{
    *out << c.data.size() << " bytes";
}

class LrcTest : public ::testing::TestWithParam<LrcCase> {};

TEST_P(LrcTest, CoversTextAndEtx)
{
    EXPECT_EQ(ComputeLrc(GetParam().data), GetParam().lrc);
}

// 'a' ^ 'b' ^ 'c' ^ ETX = 0x63; the STX never counts, the ETX always does.
INSTANTIATE_TEST_SUITE_P(
    Data, LrcTest,
    ::testing::Values(LrcCase{"abc", 0x63}, LrcCase{"abc\x03", 0x63}, LrcCase{"\x02" "abc\x03", 0x63},
                      LrcCase{"\x02" "abc", 0x63}, LrcCase{"", 0x00},
                      LrcCase{std::string("\xC1\x03", 2), 0x42},
                      LrcCase{std::string("A\x1C" "B", 3), (0x41 ^ 0x1C ^ 0x42 ^ 0x03) & 0x7F}));

}  // namespace
