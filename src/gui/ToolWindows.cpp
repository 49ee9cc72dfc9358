#include "gui/ToolWindows.h"

#include <map>

namespace corvel::gui {

namespace {
std::map<ToolId, ToolWindowFactory>& Registry() {
  static std::map<ToolId, ToolWindowFactory> registry;
  return registry;
}
}  // namespace

void RegisterToolWindow(ToolId id, ToolWindowFactory factory) { Registry()[id] = std::move(factory); }

const ToolWindowFactory* FindToolWindow(ToolId id) {
  auto it = Registry().find(id);
  return it == Registry().end() ? nullptr : &it->second;
}

}  // namespace corvel::gui
