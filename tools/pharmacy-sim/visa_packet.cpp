#include "visa_packet.h"

#include "base/format_text.h"
#include "relay/frames.h"
#include "base/lrc.h"

std::string VisaPacket(const std::string& data, bool lrc)
{
    std::string packet = STX + data + ETX;
    if (lrc)
        packet += static_cast<char>(ComputeLrc(data));
    return packet;
}

std::string ReadVisaPacketRest(AnswerReader& reader, bool lrc, const std::string& when)
{
    std::string data;
    for (char byte = reader.next("the response up to <ETX>", when); byte != ETX;
         byte = reader.next("the response up to <ETX>", when)) {
        if (data.size() == static_cast<size_t>(kMaxFrameData))
            throw DialogueError(FormatText("%s: no <ETX> after %d bytes of response", when.c_str(), kMaxFrameData));
        data += byte;
    }
    if (!lrc)
        return data;
    const auto received = static_cast<unsigned char>(reader.next("the check byte (LRC) after <ETX>", when));
    const unsigned char computed = ComputeLrc(data);
    if (received != computed)
        throw DialogueError(FormatText("%s: the check byte (LRC) after <ETX> is 0x%02x, but the %zu bytes of "
                                       "response need 0x%02x",
                                       when.c_str(), received, data.size(), computed));
    return data;
}
