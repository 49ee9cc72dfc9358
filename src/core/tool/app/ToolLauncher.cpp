#include "core/tool/app/ToolLauncher.h"

#include <algorithm>
#include <charconv>
#include <cstdio>

#include "core/base/DebugLog.h"
#include "core/base/Text.h"

namespace corvel {

void TraceToolBanner(const char* tool_name) {
  const std::string line(40, '-');
  DebugPrintf("%s", line.c_str());
  DebugPrintf("%s", tool_name);
  DebugPrintf("%s", line.c_str());
}

const std::vector<ToolInfo>& LauncherTools() {
  static const std::vector<ToolInfo> tools = {
      {ToolId::UploadAtmelFirmware, "Upload Atmel Firmware", kGroupAtmel, PortNeed::Normal},
      {ToolId::MergeHexFiles, "Merge Hex Files", kGroupAtmel, PortNeed::None},
      {ToolId::GenerateChecksum, "Generate Checksum", kGroupAtmel, PortNeed::None},
      {ToolId::SendReceiveCalibration, "Send/Receive Calibration Data", kGroupAtmel, PortNeed::Normal},
      {ToolId::ReadDeviceChain, "Read Device Chain EEPROM", kGroupAtmel, PortNeed::Normal},
      {ToolId::TestSerialPackets, "Test Serial Packets", kGroupAtmel, PortNeed::Normal},
      {ToolId::EepromFileUtilities, "EEPROM File Utilities", kGroupAtmel, PortNeed::None},
      {ToolId::MeridelModemInit, "Meridel Modem Initialization", kGroupAtmel, PortNeed::Normal},
      {ToolId::UploadDspFirmware, "Upload DSP Firmware", kGroupDsp, PortNeed::Normal},
      {ToolId::UploadPyrelKernel, "Upload Pyrel Kernel", kGroupPowerPc, PortNeed::HighSpeed},
      {ToolId::Settings, "Settings", "", PortNeed::None},
      {ToolId::About, "About", "", PortNeed::None},
      {ToolId::Exit, "Exit", "", PortNeed::None},
  };
  return tools;
}

const ToolInfo& FindTool(ToolId id) {
  for (const auto& tool : LauncherTools()) {
    if (tool.id == id) return tool;
  }
  return LauncherTools().back();
}

std::string LauncherTitle() { return std::string("Trelmark Limited Corvel Version ") + kProgramVersion; }

std::string AboutText() {
  return std::string("Corvel Version ") + kProgramVersion +
         "\nService tool for Trelmark transmitter equipment\nTrelmark Limited";
}

bool LauncherButtonEnabled(ToolId id, bool tool_window_built) {
  switch (id) {
    case ToolId::Settings:
    case ToolId::About:
    case ToolId::Exit: return true;
    default: return tool_window_built;
  }
}

bool WantsDebugWindow(const AppSettings& app) { return app.use_debugging_window == 1; }

namespace {
void ShowFailedToOpen(ToolEnv& env) { env.ui.Error(FailedToOpenPort(env.port.PortName())); }
}  // namespace

std::string FailedToOpenPort(const std::string& port_name) { return Format("Failed to open %s!", port_name.c_str()); }

bool RunToolWithPort(ToolEnv& env, ToolId id, const std::function<void()>& run_tool) {
  const PortNeed need = FindTool(id).port;
  if (need == PortNeed::None) {
    run_tool();
    return true;
  }
  env.port.SetPortName(env.app.com_port);
  if (need == PortNeed::HighSpeed) {
    // The kernel loader talks only at 115200; afterwards the line is back at
    // 19200 whatever it was before.
    env.port.SetBaudRate(SerialPort::kHighBaud);
    if (!env.port.Open()) {
      ShowFailedToOpen(env);
      env.port.SetBaudRate(SerialPort::kDefaultBaud);
      return false;
    }
    run_tool();
    env.port.Close();
    env.port.SetBaudRate(SerialPort::kDefaultBaud);
    return true;
  }
  if (!env.port.IsOpen() && !env.port.Open()) {
    ShowFailedToOpen(env);
    return false;
  }
  run_tool();
  env.port.Close();
  return true;
}

const std::vector<uint32_t>& SerialBaudRates() {
  static const std::vector<uint32_t> rates = {9600, 14400, 19200, 28800, 33600, 38400, 57600, 115200};
  return rates;
}

SerialSettingsPage LoadSerialSettingsPage(const ToolEnv& env) {
  SerialSettingsPage page;
  page.port_name = env.app.com_port;
  const auto& rates = SerialBaudRates();
  for (std::size_t i = 0; i < rates.size(); ++i) {
    if (rates[i] == env.port.BaudRate()) page.baud_index = static_cast<int>(i);
  }
  const int timeout = env.app.timeout_setting;
  page.timeout_text = std::to_string(timeout < 0 || timeout > kMaxAdditionalTimeout ? 0 : timeout);
  page.high_speed = env.app.use_turbo_baud_rate != 0;
  page.debug_window = env.app.use_debugging_window != 0;
  return page;
}

bool ApplySerialSettingsPage(ToolEnv& env, const SerialSettingsPage& page) {
  int timeout = 0;
  const std::string& t = page.timeout_text;
  if (t.empty() || t.find_first_not_of("0123456789") != std::string::npos) return false;
  auto [end, error] = std::from_chars(t.data(), t.data() + t.size(), timeout);
  if (error != std::errc() || end != t.data() + t.size() || timeout > kMaxAdditionalTimeout) return false;

  env.app.com_port = page.port_name;
  env.app.use_turbo_baud_rate = page.high_speed ? 1 : 0;
  env.app.use_debugging_window = page.debug_window ? 1 : 0;
  const auto& rates = SerialBaudRates();
  env.port.SetBaudRate(page.baud_index >= 0 && page.baud_index < static_cast<int>(rates.size())
                           ? rates[static_cast<std::size_t>(page.baud_index)]
                           : SerialPort::kDefaultBaud);
  env.app.timeout_setting = timeout;
  env.port.SetPortName(env.app.com_port);
  if (env.port.IsOpen()) {
    env.port.Close();
    // A port that will not reopen with the new values stays closed; the
    // next tool that needs it says so.
    (void)env.port.Open();
  }
  return true;
}

SerialSettingsSheet::SerialSettingsSheet(ToolEnv& env) : m_env(env), m_page(LoadSerialSettingsPage(env)) {}

void SerialSettingsSheet::SetPortName(std::string name) {
  m_page.port_name = std::move(name);
  m_modified = true;
}

void SerialSettingsSheet::SetBaudIndex(int index) {
  m_page.baud_index = index;
  m_modified = true;
}

void SerialSettingsSheet::SetTimeoutText(std::string text) { m_page.timeout_text = std::move(text); }
void SerialSettingsSheet::SetHighSpeed(bool on) { m_page.high_speed = on; }
void SerialSettingsSheet::SetDebugWindow(bool on) { m_page.debug_window = on; }

bool SerialSettingsSheet::Apply() {
  if (!ApplySerialSettingsPage(m_env, m_page)) {
    // A number that does not even fit an integer gets the plainer request.
    const std::string& t = m_page.timeout_text;
    int value = 0;
    const bool digits = !t.empty() && t.find_first_not_of("0123456789") == std::string::npos;
    const bool fits = digits && std::from_chars(t.data(), t.data() + t.size(), value).ec == std::errc();
    m_env.ui.Warn(fits ? kEnterTimeoutInRange : kEnterAnInteger);
    return false;
  }
  m_modified = false;
  return true;
}

std::vector<std::string> SerialPortChoices() {
  std::vector<std::string> choices;
  for (int i = 1; i <= 8; ++i) choices.push_back("COM" + std::to_string(i));
  for (const std::string& name : SystemSerialPorts()) {
    if (std::find(choices.begin(), choices.end(), name) == choices.end()) choices.push_back(name);
  }
  return choices;
}

}  // namespace corvel
