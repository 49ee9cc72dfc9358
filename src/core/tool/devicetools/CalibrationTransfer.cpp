#include "core/tool/devicetools/CalibrationTransfer.h"

#include <cstdio>
#include <filesystem>

#include "core/base/DebugLog.h"
#include "core/base/FileUtil.h"
#include "core/protocol/devicepacket/ToolPackets.h"

namespace corvel {

namespace dp = devicepacket;

void CalibrationTransfer::Open() {
  TraceToolBanner(kCalToolName);
  m_data.Clear();
  m_equipment = kCalEquipmentUnknown;
  m_position = 0;
  m_relay = false;
  Refresh();
}

void CalibrationTransfer::SetEquipment(int index) {
  if (index < 0 || index >= kCalEquipmentCount) return;
  m_equipment = index;
  Refresh();
  m_relay = index == kCalEquipmentK35;
  m_position = 0;
  Refresh();
}

void CalibrationTransfer::SetPosition(int index) {
  if (index >= 0 && index < kCalPositionCount) m_position = index;
}

void CalibrationTransfer::Refresh() {
  m_scale_text = ScaleFactorText(m_data, m_equipment);
  m_threshold_text = ThresholdText(m_data, m_equipment);
}

void CalibrationTransfer::ShowFileError(const char* text, const std::string& path) {
  std::string message = text;
  message.replace(message.find("%s"), 2, path);
  m_env.ui.Error(message);
}


std::optional<std::string> CalibrationTransfer::AskForFile(bool open, const char* filter, const char* extension) {
  FileDialogRequest request;
  request.open = open;
  request.filter = filter;
  request.default_extension = extension;
  request.must_exist = open;
  request.overwrite_prompt = !open;
  return m_env.ui.ChooseFile(request);
}

ToolOutcome CalibrationTransfer::LoadFromFile() {
  const auto path = AskForFile(true, kCalFileFilter, kCalFileExtension);
  return path ? LoadFile(*path) : ToolOutcome::NothingDone;
}

ToolOutcome CalibrationTransfer::SaveToFile() {
  const auto path = AskForFile(false, kCalFileFilter, kCalFileExtension);
  return path ? SaveFile(*path) : ToolOutcome::NothingDone;
}

ToolOutcome CalibrationTransfer::SaveAsTextFile() {
  const auto path = AskForFile(false, kCalTextFilter, kCalTextExtension);
  return path ? SaveTextFile(*path) : ToolOutcome::NothingDone;
}

ToolOutcome CalibrationTransfer::LoadFile(const std::string& path) {
  // A FIFO, a device or a folder is no calibration file; nor is anything
  // larger than the layout allows.
  std::error_code error;
  std::optional<std::string> bytes;
  if (std::filesystem::is_regular_file(path, error)) bytes = ReadWholeFile(path, kCalMaxFileSize);
  if (!bytes) {
    ShowFileError(kCalCannotReadFile, path);
    return ToolOutcome::Failed;
  }
  const auto parsed = ParseCalibrationFile(
      std::span<const uint8_t>(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
  if (!parsed) {
    ShowFileError(parsed.error().kind == CalFileErrorKind::Truncated ? kCalFileTruncated : kCalFileTrailing, path);
    return ToolOutcome::Failed;
  }
  m_data = *parsed;
  Refresh();
  return ToolOutcome::Done;
}


ToolOutcome CalibrationTransfer::SaveFile(const std::string& path) {
  if (!WriteFileAtomically(path, m_data.Serialize())) {
    ShowFileError(kCalCannotWriteFile, path);
    return ToolOutcome::Failed;
  }
  return ToolOutcome::Done;
}


ToolOutcome CalibrationTransfer::SaveTextFile(const std::string& path) {
  if (!WriteFileAtomically(path, CalibrationTextExport(m_data, m_equipment))) {
    ShowFileError(kCalCannotWriteFile, path);
    return ToolOutcome::Failed;
  }
  return ToolOutcome::Done;
}

ToolOutcome CalibrationTransfer::RetrieveFromDevice() {
  const LinkStatus status = RetrieveCalibration(SubAddress());
  if (!status) m_data.Clear();
  Refresh();
  return status ? ToolOutcome::Done : ToolOutcome::Failed;
}

ToolOutcome CalibrationTransfer::SendToDevice() {
  const bool relayed = SubAddress() != 0;
  const std::size_t max_factors = relayed ? dp::kCalMaxRelayedScaleFactors : dp::kCalMaxScaleFactors;
  const std::size_t max_thresholds = relayed ? dp::kCalMaxRelayedThresholds : dp::kCalMaxThresholds;
  if (m_data.scale_factors.size() > max_factors || m_data.thresholds.size() > max_thresholds) {
    char text[160];
    std::snprintf(text, sizeof text,
                  "Too many values to send: a packet carries at most %d scale factors and %d threshold values.",
                  static_cast<int>(max_factors), static_cast<int>(max_thresholds));
    m_env.ui.Error(text);
    return ToolOutcome::NothingDone;
  }
  return SendCalibration(SubAddress()) ? ToolOutcome::Done : ToolOutcome::Failed;
}

LinkStatus CalibrationTransfer::RetrieveCalibration(uint8_t sub_address) {
  auto factors = dp::ReadCalibrationStep(m_env.port, sub_address, dp::kCalStepScaleFactors, dp::kCalScaleFactorSize);
  if (!factors) return Fail(factors.error());
  m_data.scale_factors = dp::DecodeScaleFactors(*factors);
  auto thresholds = dp::ReadCalibrationStep(m_env.port, sub_address, dp::kCalStepThresholds, dp::kCalThresholdSize);
  if (!thresholds) return Fail(thresholds.error());
  m_data.thresholds = dp::DecodeThresholds(*thresholds);
  return {};
}

LinkStatus CalibrationTransfer::SendCalibration(uint8_t sub_address) {
  if (auto status = dp::WriteCalibrationStep(m_env.port, sub_address, dp::EncodeScaleFactors(m_data.scale_factors));
      !status) {
    return status;
  }
  return dp::WriteCalibrationStep(m_env.port, sub_address, dp::EncodeThresholds(m_data.thresholds));
}

}  // namespace corvel
