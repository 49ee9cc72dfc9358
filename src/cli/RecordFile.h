#pragma once
// The service record (--record FILE): one JSON line appended per run. Several
// stations may share one record file, so each line goes out in one write,
// opened for appending and under an exclusive advisory lock: lines from
// different processes never tear or interleave.
#include <string>

#include "core/base/Outcome.h"

namespace corvel::cli {

enum class RecordErrorKind { NotRegular, CannotOpen, CannotLock, CannotWrite };
struct RecordError {
  RecordErrorKind kind = RecordErrorKind::CannotWrite;
  int error_number = 0;  // errno (GetLastError on Windows) where the system gave one
};

// Appends line and a newline to the regular file path (made if missing).
// Refuses a FIFO, device or folder without waiting on it.
Result<void, RecordError> AppendRecordLine(const std::string& path, const std::string& line);

// "" when path may take records (missing, or a regular file), else why not;
// checked before the run, so a board is never programmed unrecorded.
std::string RecordPathProblem(const std::string& path);

// "corvel-cli: cannot write the record to PATH: ..." for a failed append.
std::string RecordErrorText(const std::string& path, const RecordError& error);

}  // namespace corvel::cli
