#pragma once
#include "answer_reader.h"

#include <string>

constexpr char STX = 0x02;
constexpr char ETX = 0x03;
constexpr char EOT = 0x04;
constexpr char ENQ = 0x05;
constexpr char NAK = 0x15;

// STX, data, ETX and, with lrc, the check byte.
std::string VisaPacket(const std::string& data, bool lrc);

// Reads the rest of a packet whose STX has come: the data up to ETX and,
// with lrc, the check byte, which must fit the data. Returns the data.
std::string ReadVisaPacketRest(AnswerReader& reader, bool lrc, const std::string& when);
