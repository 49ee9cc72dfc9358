#include "gui/ProgramShell.h"

#include "gui/DebugWindow.h"
#include "gui/LauncherDialog.h"
#include "sim/Models.h"
#include "sim/VirtualDeviceHost.h"

namespace corvel::gui {

ProgramShell::ProgramShell(Settings& store, std::string program_folder)
    : m_store(store), m_env{m_ui, m_port, m_app, store, std::move(program_folder)} {
  m_app.Load(m_store);
  m_stored_port = m_app.com_port;
  m_port.SetBaudRate(SerialPort::kDefaultBaud);
  m_port.SetPortName(m_app.com_port);
  m_port.SetAdditionalTimeoutSource([this] { return m_app.timeout_setting; });
  SetCurrentEnv(&m_env);
}

ProgramShell::~ProgramShell() {
  if (!m_shut_down) {
    m_port.Close();
    m_debug.reset();
  }
  if (CurrentEnv() == &m_env) SetCurrentEnv(nullptr);
  m_simulator.reset();
}

bool ProgramShell::Simulate(const std::string& device, std::string* error) {
  auto model = sim::MakeDeviceModel(device);
  if (!model) {
    if (error) *error = "unknown device '" + device + "'";
    return false;
  }
  auto host = std::make_unique<sim::VirtualDeviceHost>(std::move(model));
  if (!host->Start(error)) return false;
  m_simulator = std::move(host);
  m_simulated_port = m_simulator->PortPath();
  m_app.com_port = m_simulated_port;
  m_port.SetPortName(m_simulated_port);
  return true;
}

void ProgramShell::RunLauncher() {
  LauncherDialog launcher(m_env);
  // Modal like every window of the program, yet blocking no other window:
  // the debug window stays usable beside it.
  launcher.setWindowModality(Qt::WindowModal);
  launcher.exec();
  m_debug = launcher.TakeDebugWindow();
}

bool ProgramShell::ShutDown() {
  m_shut_down = true;
  m_port.Close();
  // The virtual port is for this run only; a name typed in Settings is kept.
  AppSettings to_save = m_app;
  if (!m_simulated_port.empty() && to_save.com_port == m_simulated_port) to_save.com_port = m_stored_port;
  const bool saved = to_save.Save(m_store);
  m_debug.reset();
  return saved;
}

}  // namespace corvel::gui
