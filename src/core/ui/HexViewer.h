#pragma once
// "Hex File Contents": a memory image as a hexadecimal dump, and the texts of
// the chooser offered after a read-back.
#include <cstddef>
#include <cstdint>
#include <string>

namespace corvel {

class UserInterface;

inline constexpr const char* kHexViewerTitle = "Hex File Contents";
inline constexpr const char* kHexViewerDone = "Done";
inline constexpr std::size_t kHexViewerBytesPerLine = 16;

// The dump text: a line per 16 bytes, "0x%.6X: " and then "%.2X " per byte,
// CR LF between lines and none after the last. With trim the text ends right
// after the last byte that is not 0xFF, and is empty when there is none.
std::string HexViewerText(const uint8_t* bytes, std::size_t length, bool trim);

// Builds the text and shows it; returns when the person presses "Done".
void ShowHexViewer(UserInterface& ui, const uint8_t* bytes, std::size_t length, bool trim);

// "Please select an option" after data was read from a device.
inline constexpr const char* kReadBackOptionsTitle = "Please select an option";
inline constexpr const char* kReadBackSaveToDisk = "Save file to disk";
inline constexpr const char* kReadBackViewInHexViewer = "View file in Hex Viewer";
inline constexpr const char* kReadBackVerifyAgainstFile = "Verify against existing file";
// The choices in the order of their index (0 is preselected).
inline constexpr const char* kReadBackChoices[] = {kReadBackSaveToDisk, kReadBackViewInHexViewer,
                                                   kReadBackVerifyAgainstFile};

}  // namespace corvel
