#include "cli/ConsoleUserInterface.h"

#include "cli/ConsoleOutput.h"
#include "cli/JsonEvents.h"
#include "cli/ProgressMeter.h"

#include <csignal>
#include <cstdio>
#ifndef _WIN32
#include <signal.h>
#endif
#include <istream>
#include <ostream>
#include <vector>

#include "core/base/FileUtil.h"

namespace corvel {

namespace {

std::vector<Answer> ButtonAnswers(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return {Answer::Ok};
    case MessageButtons::OkCancel: return {Answer::Ok, Answer::Cancel};
    case MessageButtons::YesNo: return {Answer::Yes, Answer::No};
    case MessageButtons::YesNoCancel: return {Answer::Yes, Answer::No, Answer::Cancel};
    case MessageButtons::RetryCancel: return {Answer::Retry, Answer::Cancel};
    case MessageButtons::AbortRetryIgnore: return {Answer::Abort, Answer::Retry, Answer::Ignore};
  }
  return {Answer::Ok};
}

// The signal that interrupted the run (0: none), and whether a run on the
// equipment is in progress, so the signal can be turned into Cancel.
volatile std::sig_atomic_t g_stop_signal = 0;
volatile std::sig_atomic_t g_run_active = 0;

// Only a flag is set here; the Cancel path does the work, so the link is
// brought back to 19200 baud by the run's own scoped speed objects. Outside
// a run, or at a second interruption, nothing waits to be undone: the
// program ends at once, as the signal asks, without the temporary files of
// saves in progress.
void OnStopSignal(int signal_number) {
  if (g_run_active == 0 || g_stop_signal != 0) {
    RemovePendingTemporaryFiles();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
    return;
  }
  g_stop_signal = signal_number;
}

// A bar on the terminal with elapsed time, rate and time left; progress
// events for --json. An interruption presses Cancel at every poll, so each
// stage of the run ends in turn.
class ConsoleProgressDisplay : public ProgressDisplay {
 public:
  ConsoleProgressDisplay(std::ostream& err, bool draw, cli::ConsoleEventSink* events)
      : m_err(err), m_draw(draw), m_events(events) {}
  bool OwnerEnabled() const override { return false; }
  void SetOwnerEnabled(bool) override {}
  bool CreateWindow(const std::string& caption, bool, ProgressWindow& window) override {
    m_window = &window;
    m_caption = caption;
    const uint64_t bytes = window.TotalBytes();
    m_meter.Start(cli::ProgressMeter::Clock::now(), bytes > 0 ? bytes : 100, bytes > 0);
    return true;
  }
  void SetBar(int position) override {
    m_position = position;
    const uint64_t clamped = static_cast<uint64_t>(std::max(0, std::min(position, 100)));
    const auto now = cli::ProgressMeter::Clock::now();
    m_meter.Update(m_meter.Bytes() ? m_meter.Total() * clamped / 100 : clamped, now);
    if (m_meter.Due(now)) Report();
  }
  void SetText(const std::string& text) override { m_text = text; }
  void PumpMessages() override {
    if (g_stop_signal != 0 && m_window) m_window->RequestCancel();
  }
  void DestroyWindow() override {
    // The phase's last position always goes out, however soon it came.
    if (m_meter.TakePending()) Report();
    if (m_draw) m_err << '\n' << cli::ProgressSummaryText(m_caption, m_meter) << '\n' << std::flush;
    m_window = nullptr;
  }

 private:
  void Report() {
    if (m_events) {
      m_events->OnProgress(m_caption, m_meter.Done(), m_meter.Total(), m_meter.Bytes() ? "bytes" : "percent",
                           m_meter.ElapsedSeconds());
    }
    if (!m_draw) return;
    const int filled = std::max(0, std::min(m_position, 100)) * 30 / 100;
    m_err << '\r' << m_caption << " [" << std::string(static_cast<std::size_t>(filled), '#')
          << std::string(static_cast<std::size_t>(30 - filled), ' ') << "] " << m_text << "  "
          << cli::ProgressStatusText(m_meter) << "   " << std::flush;
  }

  std::ostream& m_err;
  bool m_draw;
  cli::ConsoleEventSink* m_events;
  ProgressWindow* m_window = nullptr;
  std::string m_caption;
  std::string m_text;
  int m_position = 0;
  cli::ProgressMeter m_meter;
};

}  // namespace

void CatchInterruptions() {
  const int signals[] = {
    SIGINT, SIGTERM,
#ifndef _WIN32
    SIGHUP,
#endif
  };
  for (int signal_number : signals) {
#ifdef _WIN32
    std::signal(signal_number, OnStopSignal);
#else
    // No SA_RESTART: a question waiting for its answer line gives up, and
    // the run goes on to its safe answer.
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(signal_number, &action, nullptr);
#endif
  }
}

int InterruptingSignal() { return g_stop_signal; }

int ExitStatusAfterInterruption(int status) {
  if (g_stop_signal == 0) return status;
  std::fprintf(stderr, "corvel-cli: interrupted by signal %d; the run was cancelled\n", static_cast<int>(g_stop_signal));
  return 128 + g_stop_signal;
}

InterruptibleRun::InterruptibleRun() { g_run_active = 1; }
InterruptibleRun::~InterruptibleRun() { g_run_active = 0; }

ConsoleUserInterface::ConsoleUserInterface(std::istream& in, std::ostream& out, std::ostream& err,
                                           ConsoleAnswerPolicy policy)
    : m_in(in), m_out(out), m_err(err), m_policy(policy) {}

Answer ConsoleUserInterface::AskPerson(const Message& message) {
  const auto answers = ButtonAnswers(message.buttons);
  for (;;) {
    m_out << '[';
    for (std::size_t i = 0; i < answers.size(); ++i) m_out << (i ? "/" : "") << AnswerName(answers[i]);
    m_out << "]? " << std::flush;
    std::string line;
    if (!std::getline(m_in, line)) {
      if (g_stop_signal != 0) m_in.clear();
      return SafeAnswer(message.buttons);
    }
    for (Answer answer : answers) {
      const std::string name = AnswerName(answer);
      if (!line.empty() && (line == name || (line.size() == 1 && std::tolower(line[0]) == std::tolower(name[0])))) {
        return answer;
      }
    }
  }
}

Answer ConsoleUserInterface::ShowMessage(const Message& message) {
  ++m_messages_shown;
  // Messages carry file names, which may hold escape sequences.
  m_out << cli::TerminalSafe(message.text, true) << '\n';
  if (!message.IsQuestion()) {
    m_out << std::flush;
    if (m_events) m_events->OnMessage(message);
    return Answer::Ok;
  }
  Answer answer;
  const char* by = "flag";
  if (g_stop_signal != 0) {
    // The run was interrupted: nothing more is started.
    answer = SafeAnswer(message.buttons);
    by = "default";
  } else if (message.IsRetryQuestion()) {
    if (m_policy.retries >= 0 || !m_policy.interactive) {
      int& used = m_retries_used[message.text];
      if (used < m_policy.retries) {
        ++used;
        answer = message.buttons == MessageButtons::YesNo || message.buttons == MessageButtons::YesNoCancel
                     ? Answer::Yes
                     : Answer::Retry;
      } else if (message.buttons == MessageButtons::AbortRetryIgnore && m_policy.yes) {
        answer = Answer::Ignore;  // go on with the next item
      } else {
        answer = SafeAnswer(message.buttons);
        by = "default";
      }
    } else {
      return Answered(message, AskPerson(message), "person");
    }
  } else if (m_policy.yes) {
    answer = message.buttons == MessageButtons::OkCancel ? Answer::Ok : Answer::Yes;
  } else if (m_policy.interactive) {
    return Answered(message, AskPerson(message), "person");
  } else {
    answer = SafeAnswer(message.buttons);
    by = "default";
  }
  m_out << "Answer: " << AnswerName(answer) << '\n' << std::flush;
  return Answered(message, answer, by);
}

Answer ConsoleUserInterface::Answered(const Message& message, Answer answer, const char* by) {
  if (m_events) m_events->OnQuestion(message, answer, by);
  return answer;
}

std::optional<std::string> ConsoleUserInterface::ChooseFile(const FileDialogRequest& request) {
  (void)request;
  if (m_files.empty()) return std::nullopt;
  std::string path = m_files.front();
  m_files.pop_front();
  return path;
}

std::optional<std::string> ConsoleUserInterface::ChooseFolder(const std::string&, const std::string&) {
  if (m_folders.empty()) return std::nullopt;
  std::string path = m_folders.front();
  m_folders.pop_front();
  return path;
}

ReadBackOption ConsoleUserInterface::ChooseReadBackOption() {
  if (m_read_back.empty()) return ReadBackOption::Cancel;
  const ReadBackOption option = m_read_back.front();
  m_read_back.pop_front();
  return option;
}

void ConsoleUserInterface::ShowHexViewer(const std::string& text) { m_out << text << std::flush; }

std::unique_ptr<ProgressWindow> ConsoleUserInterface::MakeProgressWindow(unsigned caption_id,
                                                                         const std::string& status_text) {
  return std::make_unique<ProgressWindow>(caption_id, status_text,
                                          std::make_unique<ConsoleProgressDisplay>(m_err, m_policy.progress, m_events));
}

}  // namespace corvel
