#pragma once
// Every text the DSP uploader shows or traces, in one place. Texts that carry
// a section or board name are built by concatenation, never from a format
// chosen at run time.
#include <string>

namespace corvel::dsp::text {

inline constexpr const char* kToolName = "DSP Uploader";
inline std::string Title(const std::string& board) { return "Upload DSP Firmware (" + board + ")"; }

// Rows.
inline std::string ProgramCaption(const std::string& name) { return "Program " + name; }
inline std::string ReadCaption(const std::string& name) { return "Read " + name; }
inline std::string Label(const std::string& name) { return "Please select a " + name + " File:"; }
inline std::string Filter(const std::string& name, const std::string& ext) {
  return name + " Files (*." + ext + ")|*." + ext + "|All Files (*.*)|*.*||";
}
inline std::string VerifiedFile(const std::string& name) { return "Verified " + name + " File Successfully!"; }
inline std::string LoadedAsBinary(const std::string& name) { return "Loaded " + name + " as a binary file"; }
inline std::string RecoverQuestion(const std::string& name) {
  return "The " + name + " File is improperly formatted. Do you want to try to recover it?";
}
inline std::string InvalidFile(const std::string& name) { return "Invalid " + name + " File!"; }
inline std::string CannotWrite(const std::string& path) { return "The file " + path + " could not be written."; }

// Read-back.
inline constexpr const char* kErrorInReading = "Error in reading data";
inline constexpr const char* kInvalidFileOnDisk = "Invalid file on disk!";
inline constexpr const char* kVerifiedFile = "Verified file successfully!";
inline constexpr const char* kFlashDiffers = "Device flash does not match selected file on disk!";

// Connecting and programming.
inline constexpr const char* kConnected = "Connected to DSP successfully!";
inline constexpr const char* kCannotConnect = "Cannot connect to DSP!";
inline constexpr const char* kUnableToConnect = "Unable to Connect!";
inline constexpr const char* kRetryQuestion = "Programming Failed! Retry?";
inline constexpr const char* kProgrammed = "Programmed successfully!";
inline constexpr const char* kRunning = "The DSP should now be running.";
inline constexpr const char* kNotResponding = "The DSP is not responding. Cycle power and try again.";

}  // namespace corvel::dsp::text
