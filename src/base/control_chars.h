#pragma once

// The control characters of the VISA framing and the modem dialogue, by name.
constexpr char kStx = '\x02';
constexpr char kEtx = '\x03';
constexpr char kEot = '\x04';
constexpr char kEnq = '\x05';
constexpr char kAck = '\x06';
constexpr char kNak = '\x15';
