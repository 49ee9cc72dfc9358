#pragma once
// printf-style text for the EEPROM formats' messages, checked by the compiler.
#include <string>

#include "core/base/DebugLog.h"

namespace corvel {

std::string FormatText(const char* format, ...) CORVEL_PRINTF_FORMAT(1, 2);

}  // namespace corvel
