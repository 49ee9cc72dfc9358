#include <windows.h>

#include "cli/RecordFile.h"

namespace corvel::cli {

Result<void, RecordError> AppendRecordLine(const std::string& path, const std::string& line) {
  // FILE_APPEND_DATA alone: every write goes to the end of the file.
  HANDLE file = ::CreateFileA(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return Fail(RecordError{RecordErrorKind::NotRegular, 0});
    }
    return Fail(RecordError{RecordErrorKind::CannotOpen, static_cast<int>(::GetLastError())});
  }
  if (::GetFileType(file) != FILE_TYPE_DISK) {
    ::CloseHandle(file);
    return Fail(RecordError{RecordErrorKind::NotRegular, 0});
  }
  OVERLAPPED whole_file{};
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK, 0, MAXDWORD, MAXDWORD, &whole_file)) {
    const DWORD error = ::GetLastError();
    ::CloseHandle(file);
    return Fail(RecordError{RecordErrorKind::CannotLock, static_cast<int>(error)});
  }
  const std::string whole = line + '\n';
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, whole.data(), static_cast<DWORD>(whole.size()), &written, nullptr);
  const DWORD error = ok ? 0 : ::GetLastError();
  ::UnlockFileEx(file, 0, MAXDWORD, MAXDWORD, &whole_file);
  ::CloseHandle(file);
  if (!ok || written != whole.size()) return Fail(RecordError{RecordErrorKind::CannotWrite, static_cast<int>(error)});
  return {};
}

}  // namespace corvel::cli
