#pragma once
#include <cstdarg>
#include <string>

// printf formatting into a std::string of any length.
std::string FormatV(const char* format, va_list args);
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
