#pragma once
// "Hex File Contents": a memory image as a hexadecimal dump, and the texts of
// the chooser offered after a read-back.
#include <cstddef>
#include <cstdint>
#include <string>

#include "core/format/hex/HexDump.h"

namespace corvel {

class UserInterface;

inline constexpr const char* kHexViewerTitle = "Hex File Contents";
inline constexpr const char* kHexViewerDone = "Done";

// Builds the dump text (HexDumpText) and shows it; returns when the person
// presses "Done".
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
