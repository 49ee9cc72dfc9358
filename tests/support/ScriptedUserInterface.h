#pragma once
// The test fake of UserInterface: records every message with its icon and
// buttons, answers from queues, and records progress windows.
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "core/ui/UserInterface.h"

namespace corvel::test {

struct ProgressRecord {
  unsigned caption_id = 0;
  std::string status_text;
  std::vector<int> positions;
  std::vector<std::string> texts;
  bool created = false;
  bool destroyed = false;
};

class ScriptedUserInterface : public UserInterface {
 public:
  struct Shown {
    Message message;
    Answer answer;
  };

  Answer ShowMessage(const Message& message) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initial) override;
  ReadBackOption ChooseReadBackOption() override;
  void ShowHexViewer(const std::string& text) override { hex_views.push_back(text); }
  std::unique_ptr<ProgressWindow> MakeProgressWindow(unsigned caption_id, const std::string& status_text) override;

  // Answers for questions, in order; when none is queued a question gets its
  // safe answer (No, Cancel, Abort) and unexpected_questions counts it.
  std::deque<Answer> answers;
  std::deque<std::optional<std::string>> files;
  std::deque<std::optional<std::string>> folders;
  std::deque<ReadBackOption> read_back_options;
  // Cancel is pressed on the progress window at the n-th CheckCancelButton
  // (counted over all windows, from 1); 0: never.
  int cancel_at_poll = 0;

  std::vector<Shown> shown;
  std::vector<FileDialogRequest> file_requests;
  std::vector<std::string> hex_views;
  std::vector<ProgressRecord> progress;
  int unexpected_questions = 0;
  int polls = 0;

  std::vector<std::string> Texts() const;
  // The last message's text, "" when none.
  std::string LastText() const;
  bool Showed(const std::string& text) const;
};

}  // namespace corvel::test
