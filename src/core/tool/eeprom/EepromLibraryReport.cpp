#include "core/tool/eeprom/EepromLibraryReport.h"

namespace corvel {

void ReportLibraryError(UserInterface& ui, const LibraryError& error) {
  switch (error.kind) {
    case LibraryErrorKind::NoDescriptions:
      return;
    case LibraryErrorKind::CannotOpen:
      ui.Error(error.text);
      return;
    default:
      ui.Plain(error.text);
      return;
  }
}

bool LoadLibraryReporting(EepromDefinitionLibrary& library, const std::string& path, UserInterface& ui) {
  const LibraryLoad loaded = library.Load(path);
  if (!loaded) ReportLibraryError(ui, loaded.error());
  return loaded.ok();
}

}  // namespace corvel
