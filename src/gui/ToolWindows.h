#pragma once
// Tool windows register themselves here; the launcher enables the button of
// every tool that has a window and opens it (after the port, if the tool needs
// one). A window only renders its controller and forwards clicks.
#include <functional>

#include "core/tool/app/ToolEnv.h"
#include "core/tool/app/ToolLauncher.h"

class QDialog;
class QWidget;

namespace corvel::gui {

// Shows the tool's window modally and returns when it closes.
using ToolWindowFactory = std::function<void(QWidget* parent, ToolEnv& env)>;

void RegisterToolWindow(ToolId id, ToolWindowFactory factory);
// Takes a tool's window out again (tests that need a tool without one).
void UnregisterToolWindow(ToolId id);
// nullptr when the tool has no window yet.
const ToolWindowFactory* FindToolWindow(ToolId id);

// Shows a dialog modal to its parent only, as every tool window and message
// box of the program is: the parent is blocked, the "Debugging Information"
// window stays usable. Returns QDialog::exec's result.
int ExecModal(QDialog& dialog);

struct ToolWindowRegistrar {
  ToolWindowRegistrar(ToolId id, ToolWindowFactory factory) { RegisterToolWindow(id, std::move(factory)); }
};

}  // namespace corvel::gui

// In a tool window's .cpp file:
//   CORVEL_GUI_TOOL(MergeHexFiles, [](QWidget* parent, corvel::ToolEnv& env) { ... });
#define CORVEL_GUI_TOOL(tool, factory) \
  static ::corvel::gui::ToolWindowRegistrar corvel_gui_tool_##tool(::corvel::ToolId::tool, factory)
