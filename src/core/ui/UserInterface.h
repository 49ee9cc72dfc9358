#pragma once
// The one door to the person. Controllers ask questions, show messages, pick
// files and show progress only through this interface; the Qt front end, the
// console front end and the scripted test fake implement it.
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/ui/ProgressWindow.h"

namespace corvel {

enum class MessageIcon { None, Information, Question, Exclamation, Error };
enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class Answer { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

const char* AnswerName(Answer answer);
// The answer that changes nothing and goes no further (No, Cancel, Abort):
// what a console or a script takes when nobody is there to answer.
Answer SafeAnswer(MessageButtons buttons);

struct Message {
  std::string text;
  MessageIcon icon = MessageIcon::None;
  MessageButtons buttons = MessageButtons::Ok;
  // A question whose positive answer tries the failed step again. The console
  // answers these by --retries; buttons with Retry are always retry questions.
  bool retry = false;

  bool IsRetryQuestion() const {
    return retry || buttons == MessageButtons::RetryCancel || buttons == MessageButtons::AbortRetryIgnore;
  }
  bool IsQuestion() const { return buttons != MessageButtons::Ok; }
};

struct FileDialogRequest {
  bool open = true;             // open dialog, else save dialog
  std::string title;            // empty: the platform's own
  std::string filter;           // "Hex Files (*.hex)|*.hex|All Files (*.*)|*.*||"
  std::string default_extension;  // without the dot: "hex"
  std::string initial_name;     // initial path or file name
  bool overwrite_prompt = false;
  bool must_exist = false;
};

// The dialog's default extension for a file type named with its dot (".hex").
std::string DialogExtension(const std::string& file_extension);

// One filter pair of an MFC-style filter string.
struct FileFilter {
  std::string description;  // "Hex Files (*.hex)"
  std::string patterns;     // "*.hex" or "*.hex;*.eep"
};
std::vector<FileFilter> ParseFileFilter(const std::string& filter);

enum class ReadBackOption { Cancel = -1, Save = 0, View = 1, Verify = 2 };

class UserInterface {
 public:
  virtual ~UserInterface() = default;
  // A modal message box; returns the button pressed.
  virtual Answer ShowMessage(const Message& message) = 0;
  // An open or save dialog; nothing when the person cancelled.
  virtual std::optional<std::string> ChooseFile(const FileDialogRequest& request) = 0;
  virtual std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initial) = 0;
  // "Please select an option": save, view or verify, preselected save.
  virtual ReadBackOption ChooseReadBackOption() = 0;
  // "Hex File Contents" with the given dump text.
  virtual void ShowHexViewer(const std::string& text) = 0;
  // A progress window for one operation (not yet created).
  virtual std::unique_ptr<ProgressWindow> MakeProgressWindow(unsigned caption_id,
                                                             const std::string& status_text = "") = 0;

  // Short-hands for the common boxes.
  void Inform(const std::string& text) { ShowMessage({text, MessageIcon::Information, MessageButtons::Ok}); }
  void Warn(const std::string& text) { ShowMessage({text, MessageIcon::Exclamation, MessageButtons::Ok}); }
  void Error(const std::string& text) { ShowMessage({text, MessageIcon::Error, MessageButtons::Ok}); }
  void Plain(const std::string& text) { ShowMessage({text, MessageIcon::None, MessageButtons::Ok}); }
  bool AskYesNo(const std::string& text, MessageIcon icon = MessageIcon::Question, bool retry = false) {
    return ShowMessage({text, icon, MessageButtons::YesNo, retry}) == Answer::Yes;
  }
};

}  // namespace corvel
