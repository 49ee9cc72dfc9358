#include "core/base/FileUtil.h"

#include "core/base/FileActivity.h"

namespace corvel {

// The platform's half of the save (FileUtilPosix.cpp, FileUtilWin32.cpp).
bool PlatformWriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes);

bool WriteFileAtomically(const std::string& path, std::span<const uint8_t> bytes) {
  if (!PlatformWriteFileAtomically(path, bytes)) return false;
  NoteFileWritten(path);
  return true;
}

bool WriteFileAtomically(const std::string& path, const std::string& text) {
  return WriteFileAtomically(
      path, std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(text.data()), text.size()));
}

std::optional<std::string> ReadWholeFile(const std::string& path, std::size_t max_bytes) {
  auto result = ReadRegularFile(path, max_bytes);
  if (!result) return std::nullopt;
  NoteFileRead(path);
  return std::move(result.value());
}

std::string FileExtension(const std::string& path) {
  const auto slash = path.find_last_of("/\\");
  const auto dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
  return path.substr(dot);
}

}  // namespace corvel
