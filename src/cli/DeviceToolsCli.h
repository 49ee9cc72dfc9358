#pragma once
// What the device tool commands share.
#include <string>

namespace corvel::cli {

// A window box's CR LF line breaks as the terminal's.
inline std::string ConsoleLines(std::string text) {
  for (std::size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at)) text.erase(at, 1);
  return text;
}

}  // namespace corvel::cli
