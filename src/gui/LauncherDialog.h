#pragma once
// The tool launcher: the three groups of tool buttons, Settings, About and
// Exit. A tool's button is enabled once its window is registered; pressing it
// opens the port as the tool needs and shows the tool window modally.
#include <QDialog>
#include <map>
#include <memory>

#include "core/tool/app/ToolLauncher.h"

class QGroupBox;
class QPushButton;

namespace corvel::gui {

class DebugWindow;

class LauncherDialog : public QDialog {
  Q_OBJECT
 public:
  explicit LauncherDialog(ToolEnv& env, QWidget* parent = nullptr);
  ~LauncherDialog() override;

  QPushButton* Button(ToolId id) const;
  // The group box a button sits in; nullptr for Settings, About and Exit.
  QGroupBox* GroupOf(ToolId id) const;
  // The "Debugging Information" window when "Use Debugging Window" is 1.
  DebugWindow* Debug() const { return m_debug.get(); }
  // Hands the debug window to the caller, who destroys it at shut-down.
  std::unique_ptr<DebugWindow> TakeDebugWindow();

  // What pressing a button does; public so the program can open the
  // Settings sheet for a screenshot.
  void Press(ToolId id);

 private:
  ToolEnv& m_env;
  std::map<ToolId, QPushButton*> m_buttons;
  std::map<ToolId, QGroupBox*> m_groups;
  std::unique_ptr<DebugWindow> m_debug;
};

}  // namespace corvel::gui
