#include "core/ui/HexViewer.h"

#include "core/ui/UserInterface.h"

namespace corvel {

void ShowHexViewer(UserInterface& ui, const uint8_t* bytes, std::size_t length, bool trim) {
  ui.ShowHexViewer(HexDumpText(bytes, length, trim));
}

}  // namespace corvel
