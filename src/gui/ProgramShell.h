#pragma once
// The application object: the settings loaded at start and saved at exit, the
// one serial port, the person (Qt), the launcher and the debug window it
// creates, and the virtual equipment of a --simulate run.
#include <memory>
#include <string>

#include "core/base/AppSettings.h"
#include "core/tool/app/ToolEnv.h"
#include "core/transport/SerialPort.h"
#include "gui/QtUserInterface.h"

namespace corvel::sim {
class VirtualDeviceHost;
}

namespace corvel::gui {

class DebugWindow;
class LauncherDialog;

class ProgramShell {
 public:
  // Loads the settings from the store and sets the line to 19200 baud.
  ProgramShell(Settings& store, std::string program_folder);
  ~ProgramShell();
  ProgramShell(const ProgramShell&) = delete;
  ProgramShell& operator=(const ProgramShell&) = delete;

  // Starts the named virtual equipment and uses its port for this run only;
  // false with a reason when the name is unknown or the host cannot start.
  bool Simulate(const std::string& device, std::string* error);
  // Shows the launcher modally until Exit. Its debug window lives on until
  // ShutDown.
  void RunLauncher();
  // Closes the port, saves the settings in table order (without a virtual
  // port), destroys the debug window. False when the store refused them.
  bool ShutDown();

  ToolEnv& Env() { return m_env; }
  AppSettings& App() { return m_app; }
  DebugWindow* Debug() const { return m_debug.get(); }
  const std::string& SimulatedPort() const { return m_simulated_port; }

 private:
  Settings& m_store;
  AppSettings m_app;
  SerialPort m_port;
  QtUserInterface m_ui;
  ToolEnv m_env;
  std::string m_stored_port;
  std::string m_simulated_port;
  std::unique_ptr<sim::VirtualDeviceHost> m_simulator;
  std::unique_ptr<DebugWindow> m_debug;
  bool m_shut_down = false;
};

}  // namespace corvel::gui
