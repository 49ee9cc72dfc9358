#include "core/ui/UserInterface.h"

namespace corvel {

const char* AnswerName(Answer answer) {
  switch (answer) {
    case Answer::Ok: return "OK";
    case Answer::Cancel: return "Cancel";
    case Answer::Yes: return "Yes";
    case Answer::No: return "No";
    case Answer::Retry: return "Retry";
    case Answer::Abort: return "Abort";
    case Answer::Ignore: return "Ignore";
  }
  return "";
}

Answer SafeAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return Answer::Ok;
    case MessageButtons::YesNo: return Answer::No;
    case MessageButtons::AbortRetryIgnore: return Answer::Abort;
    default: return Answer::Cancel;
  }
}

std::string DialogExtension(const std::string& file_extension) {
  return !file_extension.empty() && file_extension.front() == '.' ? file_extension.substr(1) : file_extension;
}

std::vector<FileFilter> ParseFileFilter(const std::string& filter) {
  std::vector<std::string> parts;
  std::string current;
  for (char c : filter) {
    if (c == '|') {
      parts.push_back(current);
      current.clear();
    } else {
      current += c;
    }
  }
  if (!current.empty()) parts.push_back(current);
  std::vector<FileFilter> filters;
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) {
    if (parts[i].empty()) break;  // the "||" that ends the list
    filters.push_back({parts[i], parts[i + 1]});
  }
  return filters;
}

}  // namespace corvel
