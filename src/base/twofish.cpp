#include "base/twofish.h"

#include <new>

namespace {

void MaskWithStream(TwofishContext& context, char* bytes, int count)
{
    for (int i = 0; i < count; ++i) {
        int r = NextRandom(context.streamState);
        bytes[i] = static_cast<char>(bytes[i] ^ (r & 0xFF) ^ ((r >> 8) & 0xFF));
    }
}

void DeriveKey(TwofishContext& context)
{
    std::uint8_t key[TWOFISH128_KEY_SIZE];
    for (std::uint8_t& byte : key)
        byte = static_cast<std::uint8_t>(NextRandom(context.streamState) & 0xFF);
    twofish128_set_key(&context.keySchedule, key);
}

using BlockFunction = void (*)(const twofish_ctx*, size_t, std::uint8_t*, const std::uint8_t*);

// Complete blocks go through the cipher; the tail, if any, through the stream.
void ProcessBuffer(TwofishContext* context, char* buffer, int length, BlockFunction cipher)
{
    if (!context || length <= 0)
        return;
    if (context->mode == TwofishStreamOnly) {
        MaskWithStream(*context, buffer, length);
        return;
    }
    int whole = length - length % TWOFISH_BLOCK_SIZE;
    auto* bytes = reinterpret_cast<std::uint8_t*>(buffer);
    cipher(&context->keySchedule, static_cast<size_t>(whole), bytes, bytes);
    MaskWithStream(*context, buffer + whole, length - whole);
}

} // namespace

int NextRandom(std::uint32_t& state)
{
    state = state * 1103515245u + 12345u;
    return static_cast<int>((state >> 16) & 0x7FFF);
}

std::unique_ptr<TwofishContext> CreateTwofishContext(int mode)
{
    if (mode != TwofishStreamOnly && mode != TwofishBlocks)
        return nullptr;
    std::unique_ptr<TwofishContext> context(new (std::nothrow) TwofishContext);
    if (!context)
        return nullptr;
    context->mode = mode;
    context->streamState = TwofishSeed;
    if (mode == TwofishBlocks)
        DeriveKey(*context);
    return context;
}

void FreeTwofishContext(TwofishContext* context)
{
    delete context;
}

void EncryptBuffer(TwofishContext* context, char* buffer, int length)
{
    ProcessBuffer(context, buffer, length, &twofish_encrypt);
}

void DecryptBuffer(TwofishContext* context, char* buffer, int length)
{
    ProcessBuffer(context, buffer, length, &twofish_decrypt);
}
