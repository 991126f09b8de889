#include "base/twofish.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace {

std::string FromHex(const std::string& hex)
{
    std::string bytes;
    for (size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<char>(std::stoi(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string Encrypted(TwofishContext* context, std::string text)
{
    EncryptBuffer(context, text.data(), static_cast<int>(text.size()));
    return text;
}

std::string Decrypted(TwofishContext* context, std::string text)
{
    DecryptBuffer(context, text.data(), static_cast<int>(text.size()));
    return text;
}

// The stream a fresh block context masks with: generator outputs from the 17th on.
std::vector<int> StreamAfterKey(int count)
{
    std::uint32_t state = TwofishSeed;
    for (int i = 0; i < 16; ++i)
        NextRandom(state);
    std::vector<int> outputs;
    for (int i = 0; i < count; ++i)
        outputs.push_back(NextRandom(state));
    return outputs;
}

char Masked(char byte, int r)
{
    return static_cast<char>(byte ^ (r & 0xFF) ^ ((r >> 8) & 0xFF));
}

const std::string Plain20 = "Claim body, 20 bytes";

} // namespace

TEST(NextRandom, FollowsTheClassicGeneratorFromSeedOne)
{
    std::uint32_t state = 1;
    std::vector<int> outputs;
    for (int i = 0; i < 10; ++i)
        outputs.push_back(NextRandom(state));
    EXPECT_EQ(outputs, (std::vector<int>{16838, 5758, 10113, 17515, 31051, 5627, 23010, 7419, 16212, 4086}));
}

struct KnownAnswer {
    const char* key;
    const char* plain;
    const char* cipher;
};

class TwofishKnownAnswer : public ::testing::TestWithParam<KnownAnswer> {};

TEST_P(TwofishKnownAnswer, BlockPathMatchesPublishedVectors)
{
    auto context = CreateTwofishContext(TwofishBlocks);
    ASSERT_TRUE(context);
    std::string key = FromHex(GetParam().key);
    twofish128_set_key(&context->keySchedule, reinterpret_cast<const std::uint8_t*>(key.data()));
    std::uint32_t streamBefore = context->streamState;

    std::string cipher = Encrypted(context.get(), FromHex(GetParam().plain));
    EXPECT_EQ(cipher, FromHex(GetParam().cipher));
    EXPECT_EQ(Decrypted(context.get(), cipher), FromHex(GetParam().plain));
    // Whole blocks never touch the stream.
    EXPECT_EQ(context->streamState, streamBefore);
}

INSTANTIATE_TEST_SUITE_P(Twofish128, TwofishKnownAnswer, ::testing::Values(
    KnownAnswer{"00000000000000000000000000000000", "00000000000000000000000000000000",
                "9F589F5CF6122C32B6BFEC2F2AE8C35A"},
    KnownAnswer{"00000000000000000000000000000000", "9F589F5CF6122C32B6BFEC2F2AE8C35A",
                "D491DB16E7B1C39E86CB086B789F5419"},
    KnownAnswer{"9F589F5CF6122C32B6BFEC2F2AE8C35A", "D491DB16E7B1C39E86CB086B789F5419",
                "019F9809DE1711858FAAC3A3BA20FBC3"}),
    [](const auto& info) { return "Iteration" + std::to_string(info.index + 1); });

TEST(TwofishContext, KeyIsTheLowBytesOfTheFirstSixteenDraws)
{
    std::uint32_t state = TwofishSeed;
    std::array<std::uint8_t, 16> key{};
    for (auto& byte : key)
        byte = static_cast<std::uint8_t>(NextRandom(state) & 0xFF);
    twofish_ctx reference;
    twofish128_set_key(&reference, key.data());
    std::string block = "sixteen byte blk";
    std::string expected = block;
    auto* bytes = reinterpret_cast<std::uint8_t*>(expected.data());
    twofish_encrypt(&reference, 16, bytes, bytes);

    auto context = CreateTwofishContext(TwofishBlocks);
    ASSERT_TRUE(context);
    EXPECT_EQ(Encrypted(context.get(), block), expected);
    EXPECT_EQ(context->streamState, state);
}

TEST(TwofishContext, PartialTailIsMaskedAndTheNextTailContinuesTheStream)
{
    auto context = CreateTwofishContext(TwofishBlocks);
    ASSERT_TRUE(context);
    std::vector<int> stream = StreamAfterKey(7);

    std::string first = Encrypted(context.get(), Plain20);
    std::string block = Encrypted(CreateTwofishContext(TwofishBlocks).get(), Plain20.substr(0, 16));
    EXPECT_EQ(first.substr(0, 16), block);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(first[16 + i], Masked(Plain20[16 + i], stream[i])) << i;

    std::string second = Encrypted(context.get(), "abc");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(second[i], Masked("abc"[i], stream[4 + i])) << i;
}

TEST(TwofishContext, FreshContextsRoundTripASequenceOfBuffers)
{
    const std::vector<std::string> buffers = {"12345", Plain20, std::string(16, '\x1c'),
                                              std::string(33, 'x'), "Z"};
    for (int mode : {TwofishBlocks, TwofishStreamOnly}) {
        auto sender = CreateTwofishContext(mode);
        auto receiver = CreateTwofishContext(mode);
        ASSERT_TRUE(sender && receiver);
        for (const std::string& plain : buffers) {
            std::string cipher = Encrypted(sender.get(), plain);
            ASSERT_EQ(cipher.size(), plain.size());
            EXPECT_NE(cipher, plain) << "mode " << mode;
            EXPECT_EQ(Decrypted(receiver.get(), cipher), plain) << "mode " << mode;
        }
    }
}

TEST(TwofishContext, TwoFreshContextsAgree)
{
    auto one = CreateTwofishContext(TwofishBlocks);
    auto two = CreateTwofishContext(TwofishBlocks);
    ASSERT_TRUE(one && two);
    EXPECT_EQ(Encrypted(one.get(), Plain20), Encrypted(two.get(), Plain20));
}

TEST(TwofishContext, StreamOnlyModeMasksEveryByte)
{
    auto context = CreateTwofishContext(TwofishStreamOnly);
    ASSERT_TRUE(context);
    std::uint32_t state = TwofishSeed;
    std::string cipher = Encrypted(context.get(), Plain20);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(cipher[i], Masked(Plain20[i], NextRandom(state))) << i;
}

TEST(TwofishContext, NoContextForModesWithoutEncryption)
{
    EXPECT_FALSE(CreateTwofishContext(TwofishNone));
    EXPECT_FALSE(CreateTwofishContext(3));
    EXPECT_FALSE(CreateTwofishContext(-1));
}

TEST(TwofishContext, AbsentContextOrEmptyLengthLeavesBufferUnchanged)
{
    EXPECT_EQ(Encrypted(nullptr, Plain20), Plain20);
    EXPECT_EQ(Decrypted(nullptr, Plain20), Plain20);

    auto context = CreateTwofishContext(TwofishBlocks);
    ASSERT_TRUE(context);
    std::uint32_t streamBefore = context->streamState;
    std::string text = Plain20;
    EncryptBuffer(context.get(), text.data(), 0);
    DecryptBuffer(context.get(), text.data(), -5);
    EXPECT_EQ(text, Plain20);
    EXPECT_EQ(context->streamState, streamBefore);
}

TEST(TwofishContext, LostBufferCorruptsOnlyLaterTails)
{
    auto sender = CreateTwofishContext(TwofishBlocks);
    auto receiver = CreateTwofishContext(TwofishBlocks);
    ASSERT_TRUE(sender && receiver);
    const std::string second = "Second buffer: two blocks plus tail";  // 35 bytes
    Encrypted(sender.get(), Plain20);  // never reaches the receiver
    std::string received = Decrypted(receiver.get(), Encrypted(sender.get(), second));

    EXPECT_EQ(received.substr(0, 32), second.substr(0, 32));
    EXPECT_NE(received.substr(32), second.substr(32));
}

TEST(TwofishContext, FreeAcceptsRawOwnersAndNull)
{
    FreeTwofishContext(nullptr);
    TwofishContext* raw = CreateTwofishContext(TwofishBlocks).release();
    ASSERT_NE(raw, nullptr);
    EXPECT_EQ(Encrypted(raw, Plain20).size(), Plain20.size());
    FreeTwofishContext(raw);
}
