#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "cli/RecordFile.h"

namespace corvel::cli {

Result<void, RecordError> AppendRecordLine(const std::string& path, const std::string& line) {
  // O_NONBLOCK: a FIFO named by mistake must not wait for a reader.
  const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0644);
  if (fd < 0) {
    const int error = errno;
    return Fail(RecordError{error == ENXIO ? RecordErrorKind::NotRegular : RecordErrorKind::CannotOpen, error});
  }
  struct stat info {};
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return Fail(RecordError{RecordErrorKind::NotRegular, 0});
  }
  while (::flock(fd, LOCK_EX) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    ::close(fd);
    return Fail(RecordError{RecordErrorKind::CannotLock, error});
  }
  const std::string whole = line + '\n';
  ssize_t written;
  do {
    written = ::write(fd, whole.data(), whole.size());
  } while (written < 0 && errno == EINTR);
  const int error = written < 0 ? errno : 0;
  // A short write would leave half a line: take it back so the file stays
  // whole lines, and report the failure.
  if (written > 0 && static_cast<std::size_t>(written) != whole.size()) {
    const off_t end = ::lseek(fd, 0, SEEK_END);
    const bool taken_back = end >= written && ::ftruncate(fd, end - written) == 0;
    (void)taken_back;  // the failure is reported either way
  }
  ::flock(fd, LOCK_UN);
  ::close(fd);
  if (written < 0 || static_cast<std::size_t>(written) != whole.size()) {
    return Fail(RecordError{RecordErrorKind::CannotWrite, error});
  }
  return {};
}

}  // namespace corvel::cli
