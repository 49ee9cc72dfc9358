#include "support/CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <thread>

namespace corvel::test {

using namespace std::chrono_literals;

CliProcess::CliProcess(const std::string& args, const std::string& program) {
  int out[2];
  if (::pipe(out) != 0) return;
  m_pid = ::fork();
  if (m_pid == 0) {
    ::dup2(out[1], STDOUT_FILENO);
    ::dup2(out[1], STDERR_FILENO);
    const int null = ::open("/dev/null", O_RDONLY);
    ::dup2(null, STDIN_FILENO);
    ::close(out[0]);
    const std::string command = std::string("exec ") + CORVEL_BINARY_DIR + "/" + program + " " + args;
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(out[1]);
  m_out = out[0];
}

CliProcess::~CliProcess() {
  if (m_pid > 0 && !m_reaped) {
    ::kill(m_pid, SIGKILL);
    ::waitpid(m_pid, nullptr, 0);
  }
  if (m_out >= 0) ::close(m_out);
}

void CliProcess::Signal(int signal_number) {
  if (m_pid > 0 && !m_reaped) ::kill(m_pid, signal_number);
}

int CliProcess::Wait(std::chrono::milliseconds limit) {
  if (m_pid <= 0) return -1;
  if (m_reaped) return m_status;
  const auto give_up = std::chrono::steady_clock::now() + limit;
  int raw = 0;
  while (::waitpid(m_pid, &raw, WNOHANG) == 0) {
    Drain();
    if (std::chrono::steady_clock::now() > give_up) return -1;
    std::this_thread::sleep_for(10ms);
  }
  m_reaped = true;
  m_status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  Drain();
  return m_status;
}

void CliProcess::Drain() {
  struct pollfd pfd {m_out, POLLIN, 0};
  char buffer[512];
  while (::poll(&pfd, 1, 0) > 0) {
    const ssize_t n = ::read(m_out, buffer, sizeof buffer);
    if (n <= 0) break;
    m_output.append(buffer, static_cast<std::size_t>(n));
  }
}

bool WaitFor(const std::function<bool()>& ready, std::chrono::milliseconds limit) {
  const auto give_up = std::chrono::steady_clock::now() + limit;
  while (!ready()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

}  // namespace corvel::test
