#include "support/CliRun.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <chrono>
#include <cstdio>

namespace corvel::test {

namespace {
std::string CliCommand(const std::string& args) {
  return std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli " + args;
}
}  // namespace

CliRun RunCorvelCli(const std::string& args) {
  const std::string command = CliCommand(args) + " 2>&1 </dev/null";
  CliRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 512> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) run.output += buffer.data();
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  return run;
}

CliRun RunCli(const TempDir& dir, const std::string& args) {
  return RunCorvelCli("--settings " + dir.File("corvel.ini") + " " + args);
}

CliRun RunCorvelCliWithin(const std::string& args, int seconds) {
  CliRun run;
  int fds[2];
  if (::pipe(fds) != 0) return run;
  // "exec" makes the shell become corvel-cli, so the usage measured is its own.
  const std::string command = "exec " + CliCommand(args) + " </dev/null";
  const pid_t pid = ::fork();
  if (pid < 0) return run;
  if (pid == 0) {
    ::setpgid(0, 0);  // the whole group is killed at the time limit
    ::dup2(fds[1], STDOUT_FILENO);
    ::dup2(fds[1], STDERR_FILENO);
    ::close(fds[0]);
    ::close(fds[1]);
    ::execl("/bin/sh", "sh", "-c", command.c_str(), static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  std::array<char, 4096> buffer{};
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      run.timed_out = true;
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      break;
    }
    pollfd p{fds[0], POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) continue;
    const ssize_t n = ::read(fds[0], buffer.data(), buffer.size());
    if (n <= 0) break;  // the program closed its output: it has ended
    run.output.append(buffer.data(), static_cast<std::size_t>(n));
  }
  ::close(fds[0]);
  int raw = 0;
  rusage usage{};
  // A program that closed its output may still hang: the limit holds here too.
  pid_t ended = 0;
  while (!run.timed_out && (ended = ::wait4(pid, &raw, WNOHANG, &usage)) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      run.timed_out = true;
      ::kill(-pid, SIGKILL);
      ::kill(pid, SIGKILL);
      break;
    }
    ::usleep(10000);
  }
  if (run.timed_out) {
    ::wait4(pid, &raw, 0, &usage);
    return run;
  }
  if (ended == pid) {
    run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    run.peak_rss_kb = usage.ru_maxrss;
  }
  return run;
}

}  // namespace corvel::test
