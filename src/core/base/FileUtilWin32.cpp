// The atomic save on Windows: a temporary file beside the target, flushed,
// then moved over it. A plain rename refuses an existing target there, so the
// move replaces it in one step.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>

#include <algorithm>
#include <string>

#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"

namespace corvel {

bool PlatformWriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    DebugPrintf("Cannot write %s: it is a folder", path.c_str());
    return false;
  }
  HANDLE file = INVALID_HANDLE_VALUE;
  std::string temp;
  for (unsigned attempt = 0; attempt < 100 && file == INVALID_HANDLE_VALUE; ++attempt) {
    temp = path + ".corvel-tmp-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(attempt);
    file = ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (file == INVALID_HANDLE_VALUE) {
    DebugPrintf("Cannot create a temporary file beside %s (Windows error %lu)", path.c_str(),
                static_cast<unsigned long>(::GetLastError()));
    return false;
  }
  std::size_t done = 0;
  bool written = true;
  while (written && done < bytes.size()) {
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(bytes.size() - done, 1u << 20));
    DWORD n = 0;
    written = ::WriteFile(file, bytes.data() + done, chunk, &n, nullptr) && n > 0;
    done += n;
  }
  written = written && ::FlushFileBuffers(file);
  const bool closed = ::CloseHandle(file);
  if (!written || !closed ||
      !::MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    DebugPrintf("Cannot write %s (Windows error %lu)", path.c_str(), static_cast<unsigned long>(::GetLastError()));
    ::DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

bool IsRegularFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// The temporary file of a save is removed by the save itself on every failure
// the program sees; Windows has no signal that ends a console run mid-save
// and lets it clean up.
void RemovePendingTemporaryFiles() {}

Result<std::string, FileReadError> ReadRegularFile(const std::string& path, std::size_t max_bytes) {
  HANDLE file = ::CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) {
      return Fail(FileReadError{FileReadErrorKind::Missing, static_cast<int>(error)});
    }
    // A folder cannot be opened as a file at all.
    const DWORD attributes = ::GetFileAttributesA(path.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
      return Fail(FileReadError{FileReadErrorKind::NotRegular, 0});
    }
    return Fail(FileReadError{FileReadErrorKind::Unreadable, static_cast<int>(error)});
  }
  LARGE_INTEGER size{};
  if (::GetFileType(file) != FILE_TYPE_DISK || !::GetFileSizeEx(file, &size)) {
    ::CloseHandle(file);
    return Fail(FileReadError{FileReadErrorKind::NotRegular, 0});
  }
  if (static_cast<unsigned long long>(size.QuadPart) > max_bytes) {
    ::CloseHandle(file);
    return Fail(FileReadError{FileReadErrorKind::TooLarge, 0});
  }
  std::string data;
  char buffer[65536];
  for (;;) {
    DWORD n = 0;
    if (!::ReadFile(file, buffer, sizeof buffer, &n, nullptr)) {
      const DWORD error = ::GetLastError();
      ::CloseHandle(file);
      return Fail(FileReadError{FileReadErrorKind::Unreadable, static_cast<int>(error)});
    }
    if (n == 0) break;
    data.append(buffer, n);
    if (data.size() > max_bytes) {
      ::CloseHandle(file);
      return Fail(FileReadError{FileReadErrorKind::TooLarge, 0});
    }
  }
  ::CloseHandle(file);
  return data;
}

std::string ExecutableFolder() {
  std::string path(MAX_PATH, '\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameA(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (n == 0) return {};
    if (n < path.size()) {
      path.resize(n);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const auto slash = path.find_last_of("\\/");
  return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

}  // namespace corvel
