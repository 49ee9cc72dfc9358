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
  // Starts corvel-cli with args (through the shell), no input.
  explicit CliProcess(const std::string& args);
  ~CliProcess();  // kills it if it still runs
  CliProcess(const CliProcess&) = delete;
  CliProcess& operator=(const CliProcess&) = delete;

  void Signal(int signal_number);
  // The exit status; -1 when it died of a signal or did not end within the
  // limit (it is killed then).
  int Wait(std::chrono::milliseconds limit);
  const std::string& Output() const { return m_output; }

 private:
  void Drain();

  pid_t m_pid = -1;
  int m_out = -1;
  bool m_reaped = false;
  std::string m_output;
};

// Polls until ready() holds or the limit passes.
bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit);

}  // namespace corvel::test
