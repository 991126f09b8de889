#pragma once
#include <string_view>

// The VISA longitudinal check byte: XOR of the bytes after a leading STX up
// to and including the closing ETX (folded in when the data does not end in
// one), low seven bits. Empty data gives 0.
unsigned char ComputeLrc(std::string_view data);
