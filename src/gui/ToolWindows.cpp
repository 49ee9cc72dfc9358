#include "gui/ToolWindows.h"

#include <map>

#include <QDialog>

namespace corvel::gui {

namespace {
std::map<ToolId, ToolWindowFactory>& Registry() {
  static std::map<ToolId, ToolWindowFactory> registry;
  return registry;
}
}  // namespace

void RegisterToolWindow(ToolId id, ToolWindowFactory factory) { Registry()[id] = std::move(factory); }

void UnregisterToolWindow(ToolId id) { Registry().erase(id); }

int ExecModal(QDialog& dialog) {
  if (dialog.parentWidget() != nullptr) dialog.setWindowModality(Qt::WindowModal);
  return dialog.exec();
}

const ToolWindowFactory* FindToolWindow(ToolId id) {
  auto it = Registry().find(id);
  return it == Registry().end() ? nullptr : &it->second;
}

}  // namespace corvel::gui
