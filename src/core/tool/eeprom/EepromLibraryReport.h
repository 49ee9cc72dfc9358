#pragma once
// Showing why the EEPROM definition library did not load: the loader returns
// its error, the tools show it.
#include <string>

#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/ui/UserInterface.h"

namespace corvel {

// The box that tells a person about a library error; nothing for a library
// that merely describes no type (that load fails without a message).
void ReportLibraryError(UserInterface& ui, const LibraryError& error);

// Loads the library and shows its error, if any. True when it loaded.
bool LoadLibraryReporting(EepromDefinitionLibrary& library, const std::string& path, UserInterface& ui);

}  // namespace corvel
