#include "support/ScriptedUserInterface.h"

#include <algorithm>

namespace corvel::test {

namespace {

class FakeDisplay : public ProgressDisplay {
 public:
  FakeDisplay(ScriptedUserInterface& ui, std::size_t index) : m_ui(ui), m_index(index) {}
  bool OwnerEnabled() const override { return m_owner_enabled; }
  void SetOwnerEnabled(bool enabled) override { m_owner_enabled = enabled; }
  bool CreateWindow(const std::string&, bool, ProgressWindow& window) override {
    m_window = &window;
    Record().created = true;
    return true;
  }
  void SetBar(int position) override { Record().positions.push_back(position); }
  void SetText(const std::string& text) override { Record().texts.push_back(text); }
  void PumpMessages() override {}
  void DestroyWindow() override { Record().destroyed = true; }
  ProgressWindow* Window() { return m_window; }

 private:
  ProgressRecord& Record() { return m_ui.progress[m_index]; }
  ScriptedUserInterface& m_ui;
  std::size_t m_index;
  bool m_owner_enabled = true;
  ProgressWindow* m_window = nullptr;
};

}  // namespace

Answer ScriptedUserInterface::ShowMessage(const Message& message) {
  Answer answer = Answer::Ok;
  if (message.IsQuestion()) {
    if (answers.empty()) {
      ++unexpected_questions;
      answer = SafeAnswer(message.buttons);
    } else {
      answer = answers.front();
      answers.pop_front();
    }
  }
  shown.push_back({message, answer});
  return answer;
}

std::optional<std::string> ScriptedUserInterface::ChooseFile(const FileDialogRequest& request) {
  file_requests.push_back(request);
  if (files.empty()) return std::nullopt;
  auto file = files.front();
  files.pop_front();
  return file;
}

std::optional<std::string> ScriptedUserInterface::ChooseFolder(const std::string&, const std::string&) {
  if (folders.empty()) return std::nullopt;
  auto folder = folders.front();
  folders.pop_front();
  return folder;
}

ReadBackOption ScriptedUserInterface::ChooseReadBackOption() {
  if (read_back_options.empty()) return ReadBackOption::Cancel;
  auto option = read_back_options.front();
  read_back_options.pop_front();
  return option;
}

namespace {
// Counts polls so a test can press Cancel at a chosen one.
class PollingDisplay : public FakeDisplay {
 public:
  PollingDisplay(ScriptedUserInterface& ui, std::size_t index) : FakeDisplay(ui, index), m_ui(ui) {}
  void PumpMessages() override {
    ++m_ui.polls;
    if (m_ui.cancel_at_poll != 0 && m_ui.polls == m_ui.cancel_at_poll && Window()) Window()->RequestCancel();
  }

 private:
  ScriptedUserInterface& m_ui;
};
}  // namespace

std::unique_ptr<ProgressWindow> ScriptedUserInterface::MakeProgressWindow(unsigned caption_id,
                                                                          const std::string& status_text) {
  progress.push_back({caption_id, status_text, {}, {}, false, false});
  return std::make_unique<ProgressWindow>(caption_id, status_text,
                                          std::make_unique<PollingDisplay>(*this, progress.size() - 1));
}

std::vector<std::string> ScriptedUserInterface::Texts() const {
  std::vector<std::string> texts;
  for (const auto& s : shown) texts.push_back(s.message.text);
  return texts;
}

std::string ScriptedUserInterface::LastText() const { return shown.empty() ? "" : shown.back().message.text; }

bool ScriptedUserInterface::Showed(const std::string& text) const {
  return std::any_of(shown.begin(), shown.end(), [&](const Shown& s) { return s.message.text == text; });
}

}  // namespace corvel::test
