#pragma once
#include <stdexcept>
#include <string>

// A failure of the main window's claim handling, with a message meant for
// people; handlers log it with their operation's name.
class ClaimError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
