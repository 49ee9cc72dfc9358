#pragma once
// Text helpers every layer shares. Texts here are single-byte: the case rules
// are plain ASCII, whatever the locale, so a file reads the same everywhere.
#include <string>
#include <string_view>

#include "core/base/DebugLog.h"

namespace corvel {

inline constexpr const char* kWhiteSpace = " \t\r\n\v\f";

char Upper(char c);
std::string Upper(std::string text);
bool EqualsNoCase(std::string_view a, std::string_view b);
bool StartsWithNoCase(std::string_view text, std::string_view prefix);
// The text without the characters of `chars` at either end.
std::string Trim(std::string_view text, const char* chars = kWhiteSpace);
// printf into a string; the compiler checks the format against the arguments.
std::string Format(const char* format, ...) CORVEL_PRINTF_FORMAT(1, 2);

}  // namespace corvel
