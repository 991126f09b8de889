#include "hayes_commands.h"

#include <cctype>

namespace {

// The characters a dial string may hold besides digits.
bool IsDialModifier(char c)
{
    return c == ',' || c == 'W' || c == '@' || c == '!' || c == '*' || c == '#' || c == ' ' || c == '-'
        || c == '(' || c == ')';
}

// Dial, after the D: an optional T or P, then a number with at least one digit.
std::optional<std::string> DialNumber(const std::string& rest)
{
    size_t from = rest.find_first_not_of(' ');
    if (from != std::string::npos && (rest[from] == 'T' || rest[from] == 'P'))
        ++from;
    const std::string number = from == std::string::npos ? std::string() : rest.substr(from);
    bool digit = false;
    for (char c : number) {
        if (std::isdigit(static_cast<unsigned char>(c)))
            digit = true;
        else if (!IsDialModifier(c))
            return std::nullopt;
    }
    if (!digit)
        return std::nullopt;
    return number;
}

// The decimal digits at line[at...]; at moves past them. -1 when there are none.
int TakeNumber(const std::string& line, size_t& at)
{
    int value = -1;
    while (at < line.size() && std::isdigit(static_cast<unsigned char>(line[at])) && value < 100000)
        value = (value < 0 ? 0 : value * 10) + (line[at++] - '0');
    return value;
}

// One basic command: its letter at line[at] and an optional number.
void TakeCommand(const std::string& line, size_t& at, HayesRequest& request)
{
    const char letter = line[at++];
    if (letter == 'S') {
        // Sn=v sets a register; the value is not kept.
        bool ok = TakeNumber(line, at) >= 0 && at < line.size() && line[at++] == '=' && TakeNumber(line, at) >= 0;
        request.error = request.error || !ok;
        return;
    }
    const int value = TakeNumber(line, at);
    switch (letter) {
    case 'E':
        request.echo = value != 0;
        break;
    case 'H':
        request.hangUp = true;
        request.error = request.error || value > 0;
        break;
    case 'O':
        request.online = true;
        break;
    case 'Z':
        request.echo = true;
        request.hangUp = true;
        break;
    case 'V':
        // Result codes are always words.
        request.error = request.error || value == 0;
        break;
    default:
        request.error = request.error || !std::isalpha(static_cast<unsigned char>(letter));
        break;
    }
}

}  // namespace

HayesRequest ParseHayesLine(const std::string& text)
{
    std::string line;
    for (char c : text)
        line += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    HayesRequest request;
    size_t at = 2;
    while (at < line.size() && !request.error) {
        const char c = line[at];
        if (c == ' ') {
            ++at;
        } else if (c == 'D') {
            request.dial = DialNumber(line.substr(at + 1));
            request.error = !request.dial;
            break;
        } else if (c == '&' || c == '\\' || c == '%') {
            // Extended commands (&F, &K3, \N0, ...) are accepted; &F is the factory profile.
            ++at;
            if (at >= line.size() || !std::isalpha(static_cast<unsigned char>(line[at])))
                request.error = true;
            else if (line[at++] == 'F' && c == '&')
                request.echo = true;
            TakeNumber(line, at);
        } else {
            TakeCommand(line, at, request);
        }
    }
    return request;
}
