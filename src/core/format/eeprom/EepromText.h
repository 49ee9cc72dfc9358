#pragma once
// printf-style text for the EEPROM formats' messages, checked by the compiler.
#include <string>

namespace corvel {

std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace corvel
