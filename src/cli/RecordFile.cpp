#include "cli/RecordFile.h"

#include <cstring>
#include <filesystem>

namespace corvel::cli {

std::string RecordPathProblem(const std::string& path) {
  std::error_code error;
  const auto status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return "";
  if (error) return "it cannot be examined";
  if (status.type() != std::filesystem::file_type::regular) return "it is not a regular file";
  return "";
}

std::string RecordErrorText(const std::string& path, const RecordError& error) {
  std::string text = "corvel-cli: cannot write the record to " + path + ": ";
  switch (error.kind) {
    case RecordErrorKind::NotRegular: return text + "it is not a regular file";
    case RecordErrorKind::CannotOpen: text += "it cannot be opened"; break;
    case RecordErrorKind::CannotLock: text += "it cannot be locked"; break;
    case RecordErrorKind::CannotWrite: text += "the line was not written whole"; break;
  }
#ifndef _WIN32
  if (error.error_number != 0) text += std::string(" (") + std::strerror(error.error_number) + ")";
#endif
  return text;
}

}  // namespace corvel::cli
