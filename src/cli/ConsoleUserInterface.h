#pragma once
// The console front end: prints every message exactly, one per line; asks on a
// terminal; otherwise answers from the command line's flags, or takes the safe
// answer and says so.
#include <deque>
#include <iosfwd>
#include <map>
#include <optional>
#include <string>

#include "core/ui/UserInterface.h"

namespace corvel {

namespace cli {
class ConsoleEventSink;
}

struct ConsoleAnswerPolicy {
  bool yes = false;   // --yes: Yes to confirmations that are not retry questions
  int retries = -1;   // --retries N: Retry/Yes to each retry question N times; -1 not given
  bool interactive = false;  // a person at a terminal can be asked
  bool progress = false;     // draw progress bars (stderr is a terminal)
};

// Interruptions: SIGINT, SIGTERM and (POSIX) SIGHUP. While a run on the
// equipment is in progress the first one is the Cancel button: every
// progress poll reports Cancel and every question takes its safe answer, so
// the run ends as a cancelled run does, the line back at 19200 baud. Outside
// a run, or at a second interruption, the program ends at once.
void CatchInterruptions();
// The signal that interrupted the run; 0 when none came.
int InterruptingSignal();
// 128 + the signal after an interruption (130 SIGINT, 143 SIGTERM, 129
// SIGHUP), else status: a run that was stopped never exits 0.
int ExitStatusAfterInterruption(int status);
// Marks a run on the equipment for its lifetime.
class InterruptibleRun {
 public:
  InterruptibleRun();
  ~InterruptibleRun();
  InterruptibleRun(const InterruptibleRun&) = delete;
  InterruptibleRun& operator=(const InterruptibleRun&) = delete;
};

class ConsoleUserInterface : public UserInterface {
 public:
  ConsoleUserInterface(std::istream& in, std::ostream& out, std::ostream& err, ConsoleAnswerPolicy policy);

  Answer ShowMessage(const Message& message) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initial) override;
  ReadBackOption ChooseReadBackOption() override;
  void ShowHexViewer(const std::string& text) override;
  std::unique_ptr<ProgressWindow> MakeProgressWindow(unsigned caption_id, const std::string& status_text) override;

  // What the command line says the next file dialog, folder picker or
  // read-back chooser answers.
  void QueueFile(std::string path) { m_files.push_back(std::move(path)); }
  void QueueFolder(std::string path) { m_folders.push_back(std::move(path)); }
  void QueueReadBackOption(ReadBackOption option) { m_read_back.push_back(option); }
  ConsoleAnswerPolicy& Policy() { return m_policy; }
  // Where messages, answered questions and progress are also reported
  // (--json); nullptr for nowhere.
  void SetEventSink(cli::ConsoleEventSink* sink) { m_events = sink; }
  // How many messages were shown: whether a step already said why it failed.
  std::size_t MessagesShown() const { return m_messages_shown; }

 private:
  Answer AskPerson(const Message& message);
  Answer Answered(const Message& message, Answer answer, const char* by);

  std::istream& m_in;
  std::ostream& m_out;
  std::ostream& m_err;
  ConsoleAnswerPolicy m_policy;
  // Retries given so far, per question text: each silent device of a chain
  // gets its own N tries, and a repeated failure of one run counts together.
  std::map<std::string, int> m_retries_used;
  std::deque<std::string> m_files;
  std::deque<std::string> m_folders;
  std::deque<ReadBackOption> m_read_back;
  std::size_t m_messages_shown = 0;
  cli::ConsoleEventSink* m_events = nullptr;
};

}  // namespace corvel
