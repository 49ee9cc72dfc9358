#pragma once
// Files the user keeps and files the user gives us.
//
// A save writes a temporary file beside the target, makes it durable, then
// renames it over the target, so an interrupted save never destroys the old
// file. What the target is decides how: a symbolic link is followed and its
// target replaced; a character device or a FIFO is written through (it cannot
// be "replaced"); a directory, socket or block device is refused. The old
// file's mode and owner carry over.
//
// A read takes only regular files and never more than the caller's bound, so
// a FIFO, a device or a huge file named by mistake cannot hang or exhaust us.
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "core/base/Outcome.h"

namespace corvel {

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);
bool WriteFileAtomically(const std::string& path, const std::string& text);

enum class FileReadErrorKind { Missing, NotRegular, TooLarge, Unreadable };
struct FileReadError {
  FileReadErrorKind kind = FileReadErrorKind::Unreadable;
  int error_number = 0;  // errno where the system gave one
};

// The whole of a regular file of at most max_bytes.
Result<std::string, FileReadError> ReadRegularFile(const std::string& path, std::size_t max_bytes);
// The same, nothing on any failure.
std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t max_bytes);
// True when path names an existing regular file (links followed).
bool IsRegularFile(const std::string& path);

// Removes the temporary files of saves in progress. Safe to call from a
// signal handler: the console calls it before it dies of a signal.
void RemovePendingTemporaryFiles();

// The file type: the last "." of the file name and what follows (".hex"),
// case kept; "" when the name has no ".".
std::string FileExtension(const std::string& path);

// The folder of the running program's own file, with a trailing separator;
// "" when the system does not say.
std::string ExecutableFolder();

}  // namespace corvel
