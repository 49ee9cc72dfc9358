#pragma once
// Pieces the hex tools share: their file dialogs, file messages, and the dump
// of a hex file as the viewer shows it.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/ui/UserInterface.h"

namespace corvel {

// The open dialog of every Browse button: ".hex", flash/EEPROM/all filter,
// the file must exist, starting at the current path.
FileDialogRequest HexOpenRequest(const std::string& current_path);
// The save dialog for a resulting image: ".hex", overwrite prompt.
FileDialogRequest HexSaveRequest(const std::string& initial_name);
// A file message with the path put in for "%s".
std::string FormatFileMessage(const char* format, const std::string& path);

// How a tool words a file that is not valid Intel HEX. With no text, the
// records read before the bad one count and nothing is said.
struct InvalidHexMessage {
  const char* text = nullptr;
  MessageIcon icon = MessageIcon::Exclamation;
};
inline constexpr InvalidHexMessage kPartialLoadCounts{};

// Reads the Intel HEX file into buffer (size bytes, 0xFF first) and says what
// a failure calls for: "The file ... could not be opened." (error icon) when
// it could not be opened, else `invalid`. False when a message was shown.
bool LoadHexFileOrSay(UserInterface& ui, const std::string& path, uint8_t* buffer, uint32_t size,
                      InvalidHexMessage invalid);

// Loads a hex file into an image of size bytes (by default 131072 for ".hex"
// and 4096 for ".eep") and shows it in the hex viewer. False, with the
// message shown, when the type is not known or the file is not valid.
bool ViewHexFile(UserInterface& ui, const std::string& path, std::optional<uint32_t> size, bool trim);
// The image ViewHexFile shows, for a caller that prints the dump itself;
// nothing, with the message shown, where ViewHexFile returns false.
std::optional<std::vector<uint8_t>> LoadHexFileToView(UserInterface& ui, const std::string& path,
                                                      std::optional<uint32_t> size);

}  // namespace corvel
