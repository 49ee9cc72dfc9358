#pragma once
// A console run that asks for more memory than the system can give ends with
// a message and exit status 1, never with an abort: a script that runs us
// sees a failure it can report, and the settings are still saved.
#include <functional>
#include <new>
#include <ostream>

namespace corvel::cli {

inline constexpr const char* kOutOfMemory =
    "Out of memory: the command was stopped before it finished; nothing more was done";

// body's exit status, or failed_status once the message was written to err.
inline int RunOrReportOutOfMemory(std::ostream& err, int failed_status, const std::function<int()>& body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    // Writing a literal to an unbuffered stream asks for no memory.
    err << kOutOfMemory << '\n' << std::flush;
    return failed_status;
  }
}

}  // namespace corvel::cli
