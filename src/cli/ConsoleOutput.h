#pragma once
// What the console program writes, and whether it arrived. A script reads
// the standard output; output that was lost (a full disk, a closed pipe or
// descriptor) is a run whose work was not done.
#include <string>
#include <string_view>

namespace corvel::cli {

// False, with a message on stderr, when the standard output is not open: a
// run would print into whatever file next took its descriptor.
bool StandardOutputIsOpen();
// Flushes the standard output and returns status, or kExitFailed (with a
// message on stderr) when anything written to it was lost.
int FinishStandardOutput(int status);

// Text safe to print on a terminal: control characters (escape sequences,
// carriage returns, bells) as \xNN, so a file name cannot move the cursor or
// rewrite the screen. keep_line_breaks leaves the line breaks ("\n", "\r\n")
// and tabs of a message as they are.
std::string TerminalSafe(std::string_view text, bool keep_line_breaks = false);

}  // namespace corvel::cli
