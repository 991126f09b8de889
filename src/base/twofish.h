#pragma once
#include <cstdint>
#include <memory>
#include <nettle/twofish.h>

// In-place, length-preserving encryption of the bodies that travel between
// the main window, the relay and the switch. Complete 16-byte blocks are
// Twofish-128 in ECB mode; a final partial block is masked with a
// pseudo-random byte stream, so a ciphertext is exactly as long as its
// plaintext. Every peer derives the same key from TwofishSeed, and both ends
// of a link must pass the same sequence of buffer lengths through fresh
// contexts for the stream positions to agree.

constexpr std::uint32_t TwofishSeed = 0x20041105;

enum TwofishMode : int {
    TwofishNone = 0,       // no encryption: yields no context
    TwofishStreamOnly = 1, // every byte masked with the stream
    TwofishBlocks = 2,     // Twofish blocks, stream-masked partial tail
};

// One per direction of one link, used by one thread at a time.
struct TwofishContext {
    int mode = TwofishNone;
    std::uint32_t streamState = TwofishSeed;
    twofish_ctx keySchedule{};
};

// Returns no context for mode TwofishNone or an unknown mode, or when memory
// runs out. A TwofishBlocks context has drawn its 16 key bytes from the
// stream; the stream continues from there.
std::unique_ptr<TwofishContext> CreateTwofishContext(int mode);

// For owners that hold the context as a raw pointer (release() of the
// result above); an absent context is ignored.
void FreeTwofishContext(TwofishContext* context);

// Both do nothing when context is null or length is 0 or less.
void EncryptBuffer(TwofishContext* context, char* buffer, int length);
void DecryptBuffer(TwofishContext* context, char* buffer, int length);

// The classic C library generator: advances state and returns bits 16..30
// of the new state (0..32767).
int NextRandom(std::uint32_t& state);
