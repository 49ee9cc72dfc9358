#include "core/base/FileActivity.h"

namespace corvel {

namespace {
FileActivityListener* g_listener = nullptr;
}

void SetFileActivityListener(FileActivityListener* listener) { g_listener = listener; }
FileActivityListener* ActiveFileActivityListener() { return g_listener; }

void NoteFileRead(const std::string& path) {
  if (g_listener) g_listener->FileRead(path);
}

void NoteFileWritten(const std::string& path) {
  if (g_listener) g_listener->FileWritten(path);
}

}  // namespace corvel
