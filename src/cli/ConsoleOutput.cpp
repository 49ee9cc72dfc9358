#include "cli/ConsoleOutput.h"

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace corvel::cli {

namespace {
constexpr int kExitFailed = 1;
}  // namespace

bool StandardOutputIsOpen() {
#ifndef _WIN32
  if (::fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF) {
    std::fprintf(stderr, "corvel-cli: the standard output is closed; nothing was done\n");
    return false;
  }
#endif
  return true;
}

int FinishStandardOutput(int status) {
  errno = 0;
  std::cout.flush();
  // Every stream keeps its error: a write that failed long before the end
  // still shows here.
  const bool lost = !std::cout.good() || std::fflush(stdout) != 0 || std::ferror(stdout);
  if (!lost) return status;
  const int error = errno;
  std::fprintf(stderr, "corvel-cli: the output could not be written%s%s\n", error ? ": " : "",
               error ? std::strerror(error) : "");
  return kExitFailed;
}

std::string TerminalSafe(std::string_view text, bool keep_line_breaks) {
  std::string safe;
  safe.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const auto u = static_cast<unsigned char>(c);
    const bool control = u < 0x20 || u == 0x7F;
    const bool line_break = c == '\n' || c == '\t' || (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n');
    if (!control || (keep_line_breaks && line_break)) {
      safe.push_back(c);
      continue;
    }
    char escaped[8];
    std::snprintf(escaped, sizeof escaped, "\\x%02X", u);
    safe += escaped;
  }
  return safe;
}

}  // namespace corvel::cli
