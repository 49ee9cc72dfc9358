#pragma once
// "Send or Receive Calibration Data": moves a control board's calibration
// between the device (directly, or relayed through the master to a
// sub-device), a ".cal" file and the screen, and exports it as text.
#include <optional>
#include <string>

#include "core/base/Outcome.h"
#include "core/tool/app/ToolEnv.h"
#include "core/tool/devicetools/CalibrationData.h"

namespace corvel {

inline constexpr const char* kCalWindowTitle = "Send or Receive Calibration Data";
inline constexpr const char* kCalToolName = "Send/Receive Calibration Data";
inline constexpr const char* kCalScaleFactorsLabel = "Meter Scale Factors:";
inline constexpr const char* kCalThresholdsLabel = "Analog Threshold Values:";
inline constexpr const char* kCalLoadButton = "Load From File";
inline constexpr const char* kCalRetrieveButton = "Retrieve from Device";
inline constexpr const char* kCalSaveButton = "Save to File";
inline constexpr const char* kCalSaveTextButton = "Save as Text File";
inline constexpr const char* kCalEquipmentLabel = "Please select the attached equipment:";
inline constexpr const char* kCalSendButton = "Send to Device";
inline constexpr const char* kCalRelayCheck = "Serial connection is through another device";
inline constexpr const char* kCalPositionLabel = "Position:";
inline constexpr const char* kCalCloseButton = "Close";
inline constexpr const char* kCalFileFilter = "Calibration Files (*.cal)|*.cal|All Files (*.*)|*.*||";
inline constexpr const char* kCalTextFilter = "Text Files (*.txt)|*.txt|All Files (*.*)|*.*||";
inline constexpr const char* kCalFileExtension = "cal";
inline constexpr const char* kCalTextExtension = "txt";
inline constexpr int kCalPositionCount = 8;
// Beyond the window's usual texts: a file that cannot be taken or written,
// and lists that do not fit one packet, are said so.
inline constexpr const char* kCalCannotReadFile = "The file %s could not be read.";
inline constexpr const char* kCalFileTruncated =
    "The file %s is not a calibration file: it ends before all its values.";
inline constexpr const char* kCalFileTrailing =
    "The file %s is not a calibration file: it holds more bytes than its values.";
inline constexpr const char* kCalCannotWriteFile = "The file %s could not be written.";

class CalibrationTransfer {
 public:
  explicit CalibrationTransfer(ToolEnv& env) : m_env(env) {}

  // Window opens: the banner, no data, "Unknown", position A, relaying off.
  void Open();

  // A new equipment entry ticks relaying for the K35 only and sets position A.
  void SetEquipment(int index);
  void SetPosition(int index);  // A = 0 .. H = 7
  void SetRelay(bool on) { m_relay = on; }
  int Equipment() const { return m_equipment; }
  int Position() const { return m_position; }
  bool Relay() const { return m_relay; }
  uint8_t SubAddress() const { return CalibrationSubAddress(m_equipment, m_position, m_relay); }

  const CalibrationData& Data() const { return m_data; }
  // The two read-only boxes, rebuilt by every refresh.
  const std::string& ScaleFactorBox() const { return m_scale_text; }
  const std::string& ThresholdBox() const { return m_threshold_text; }
  void Refresh();

  // The buttons. Each asks for its file through the person, then works as the
  // path-taking form below.
  ToolOutcome LoadFromFile();
  ToolOutcome SaveToFile();
  ToolOutcome SaveAsTextFile();
  // "Retrieve from Device": on failure the data is cleared.
  ToolOutcome RetrieveFromDevice();
  // "Send to Device": the window shows nothing of its result.
  ToolOutcome SendToDevice();

  ToolOutcome LoadFile(const std::string& path);
  ToolOutcome SaveFile(const std::string& path);
  ToolOutcome SaveTextFile(const std::string& path);

  // The exchanges themselves, with the sub-device address (0: direct).
  LinkStatus RetrieveCalibration(uint8_t sub_address);
  LinkStatus SendCalibration(uint8_t sub_address);

 private:
  // The open (must exist) or save (overwrite prompt) dialog; the name starts empty.
  std::optional<std::string> AskForFile(bool open, const char* filter, const char* extension);
  // `text` holds one "%s" for the path.
  void ShowFileError(const char* text, const std::string& path);

  ToolEnv& m_env;
  CalibrationData m_data;
  int m_equipment = kCalEquipmentUnknown;
  int m_position = 0;
  bool m_relay = false;
  std::string m_scale_text = kCalNoData;
  std::string m_threshold_text = kCalNoData;
};

}  // namespace corvel
