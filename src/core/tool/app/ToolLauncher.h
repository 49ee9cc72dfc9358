#pragma once
// The launcher's decisions: which tools exist, in which group, which need the
// port, and the opening and closing of the port around a tool.
#include <functional>
#include <string>
#include <vector>

#include "core/tool/app/ToolEnv.h"

namespace corvel {

// The project version the build was made from (CMake's project version).
inline constexpr const char* kProgramVersion = CORVEL_VERSION;
// "Failed to open COM9!"
std::string FailedToOpenPort(const std::string& port_name);

enum class ToolId {
  UploadAtmelFirmware,
  MergeHexFiles,
  GenerateChecksum,
  SendReceiveCalibration,
  ReadDeviceChain,
  TestSerialPackets,
  EepromFileUtilities,
  MeridelModemInit,
  UploadDspFirmware,
  UploadPyrelKernel,
  Settings,
  About,
  Exit,
};

enum class PortNeed { None, Normal, HighSpeed };

struct ToolInfo {
  ToolId id;
  const char* button;
  const char* group;  // "" for the buttons outside the groups
  PortNeed port;
};

inline constexpr const char* kGroupAtmel = "Atmel Utilities";
inline constexpr const char* kGroupDsp = "DSP Utilities";
inline constexpr const char* kGroupPowerPc = "PowerPC Utilities";

const std::vector<ToolInfo>& LauncherTools();
const ToolInfo& FindTool(ToolId id);
std::string LauncherTitle();
std::string AboutText();

// Settings, About and Exit can always be pressed; a tool's button only once
// its window is built.
bool LauncherButtonEnabled(ToolId id, bool tool_window_built);
// The launcher creates the "Debugging Information" window when it opens with
// "Use Debugging Window" 1.
bool WantsDebugWindow(const AppSettings& app);

// Opens the port as the tool needs, runs it, closes the port. False (after
// "Failed to open %s!") when the port could not be opened; the tool is not run.
bool RunToolWithPort(ToolEnv& env, ToolId id, const std::function<void()>& run_tool);

// The "Serial Settings" page: what it shows and what OK or Apply store.
struct SerialSettingsPage {
  std::string port_name;
  int baud_index = -1;  // into SerialBaudRates(); -1: none selected
  std::string timeout_text;
  bool high_speed = false;
  bool debug_window = false;
};
inline constexpr int kMaxAdditionalTimeout = kMaxTimeoutSetting;
const std::vector<uint32_t>& SerialBaudRates();
// The page as it shows when it opens.
SerialSettingsPage LoadSerialSettingsPage(const ToolEnv& env);
// Validates and stores the page; false (nothing changed) when the time-out
// is outside 0..30000, so the page stays open.
bool ApplySerialSettingsPage(ToolEnv& env, const SerialSettingsPage& page);
// The port box's list: COM1 to COM8, then the serial devices this machine has.
std::vector<std::string> SerialPortChoices();

inline constexpr const char* kEnterAnInteger = "Please enter an integer.";
inline constexpr const char* kEnterTimeoutInRange = "Please enter an integer between 0 and 30000.";

// The "Settings" sheet while it is open: the page's values as the person edits
// them, whether Apply can be pressed, and what OK and Apply do.
class SerialSettingsSheet {
 public:
  explicit SerialSettingsSheet(ToolEnv& env);

  const SerialSettingsPage& Page() const { return m_page; }
  bool ApplyEnabled() const { return m_modified; }

  // Typing in the "Serial Port" box and choosing in either list mark the page
  // modified; the time-out and the two check boxes are taken on OK or Apply
  // without enabling Apply.
  void SetPortName(std::string name);
  void SetBaudIndex(int index);
  void SetTimeoutText(std::string text);
  void SetHighSpeed(bool on);
  void SetDebugWindow(bool on);

  // OK and Apply. Stores the page (reopening an open port) and clears the
  // modified mark; a time-out outside 0..30000 is refused with a message and
  // false, so the sheet stays open and nothing changes.
  bool Apply();

 private:
  ToolEnv& m_env;
  SerialSettingsPage m_page;
  bool m_modified = false;
};

}  // namespace corvel
