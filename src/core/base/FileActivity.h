#pragma once
// Which files a run read and wrote. The readers and the save helper note each
// file here; a front end that keeps a record of the run (which image went
// into which board, which files came out) listens, everyone else ignores it.
#include <string>

namespace corvel {

class FileActivityListener {
 public:
  virtual ~FileActivityListener() = default;
  virtual void FileRead(const std::string& path) = 0;
  virtual void FileWritten(const std::string& path) = 0;
};

// The listener of this process; nullptr for none (the default).
void SetFileActivityListener(FileActivityListener* listener);
FileActivityListener* ActiveFileActivityListener();

// Called by the readers once a file was opened as a regular file, and by the
// save helper once a save succeeded.
void NoteFileRead(const std::string& path);
void NoteFileWritten(const std::string& path);

}  // namespace corvel
