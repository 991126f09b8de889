#include "base/lrc.h"

namespace {
constexpr unsigned char kStx = 0x02;
constexpr unsigned char kEtx = 0x03;
}  // namespace

unsigned char ComputeLrc(std::string_view data)
{
    if (data.empty())
        return 0;
    size_t start = static_cast<unsigned char>(data.front()) == kStx ? 1 : 0;
    unsigned char lrc = 0;
    for (size_t i = start; i < data.size(); ++i)
        lrc ^= static_cast<unsigned char>(data[i]);
    if (static_cast<unsigned char>(data.back()) != kEtx)
        lrc ^= kEtx;
    return lrc & 0x7F;
}
