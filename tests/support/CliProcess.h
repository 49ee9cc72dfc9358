#pragma once
// corvel-cli as a child process a test can signal and bound in time: its
// stdout and stderr are collected until it ends.
#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>

namespace corvel::test {

class CliProcess {
 public:
  // Starts corvel-cli (or another program of the build, by its path in the
  // build folder) with args, through the shell, no input.
  explicit CliProcess(const std::string& args, const std::string& program = "src/cli/corvel-cli");
  ~CliProcess();  // kills it if it still runs
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  void Signal(int signal_number);
  // The exit status; -1 when it died of a signal or has not ended within the
  // limit (it runs on; the destructor kills it). Asked again, the same status.
  int Wait(std::chrono::milliseconds limit);
  const std::string& Output() const { return m_output; }

 private:
  void Drain();

  pid_t m_pid = -1;
  int m_out = -1;
  bool m_reaped = false;
  int m_status = -1;
  std::string m_output;
};

// Polls until ready() holds or the limit passes.
bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit);

}  // namespace corvel::test
