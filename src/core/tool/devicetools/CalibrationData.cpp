#include "core/tool/devicetools/CalibrationData.h"

#include <cstdio>
#include <cstring>

namespace corvel {

namespace {

// Little-endian reader that checks the end before every read and says where
// it stopped.
class Reader {
 public:
  explicit Reader(std::span<const uint8_t> bytes) : m_bytes(bytes) {}
  bool Has(std::size_t n) const { return m_bytes.size() - m_at >= n; }
  uint32_t Take(std::size_t n) {
    uint32_t value = 0;
    for (std::size_t i = 0; i < n; ++i) value |= uint32_t{m_bytes[m_at + i]} << (8 * i);
    m_at += n;
    return value;
  }
  std::size_t Offset() const { return m_at; }
  bool AtEnd() const { return m_at == m_bytes.size(); }

 private:
  std::span<const uint8_t> m_bytes;
  std::size_t m_at = 0;
};

void Put(std::vector<uint8_t>& out, uint32_t value, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

// A label list: the labels in index order and the width they are set in.
// `wide` is the 28-character list whose short labels sit right-aligned in
// 12 characters and then are filled out to 28.
struct LabelList {
  std::vector<std::string> labels;
  int width = 0;
  bool wide = false;
};

std::vector<std::string> Labels(std::initializer_list<std::pair<const char*, int>> runs) {
  std::vector<std::string> labels;
  for (const auto& [text, times] : runs) labels.insert(labels.end(), static_cast<std::size_t>(times), text);
  return labels;
}

const LabelList& ScaleFactorLabels(int equipment) {
  static const LabelList none{};
  static const LabelList solvane2{
      Labels({{"W12 O/P Rej Pwr/W6 not used", 1}, {"W12 E-H/W6 A-D Rej Pwr", 1}, {"W12 A-D Rej/W6 not used", 1},
              {"W12 G-H Rej Temp/W6 not used", 1}, {"C-D Rej Temp", 1}, {"W12 E-F Rej Temp/W6 not used", 1},
              {"A-B Rej Temp", 1}, {"IPA Q4 Fwd", 1}, {"W12 IPA Q3 Refld/W6 not used", 1}, {"+2.5V Ref.", 1},
              {"not used", 1}, {"+5 VDC", 1}, {"Refld Power", 1}, {"Fwd Power", 1}, {"not used", 1},
              {"IPA VDC", 1}, {"PA VDC", 1}, {"not used", 1}, {"IPA Q4 Refld", 1}, {"not used", 1},
              {"W12 IPA Q3 Fwd/W6 not used", 1}, {"IPA I/P Pwr", 1}, {"Fan VDC", 1}, {"+15 VDC", 1},
              {"-15 VDC", 1}, {"not used", 3}, {"Intake Temp", 1}, {"not used", 1}, {"Exhaust Temp", 1},
              {"Ctrller Temp", 1}, {"not used", 1}, {"Ext Fwd Mtr", 1}, {"Ext Refl Mtr", 1}}),
      28, true};
  static const LabelList solvane1{
      Labels({{"O/P Rej Pwr", 1}, {"E-H Rej Pwr", 1}, {"A-D Rej Pwr", 1}, {"G-H Rej Temp", 1}, {"C-D Rej Temp", 1},
              {"E-F Rej Temp", 1}, {"A-B Rej Temp", 1}, {"IPA Q4 Fwd", 1}, {"IPA Q3 Refld", 1}, {"+2.5V Ref.", 1},
              {"not used", 1}, {"+5 VDC", 1}, {"Refld Power", 1}, {"Fwd Power", 1}, {"+24V Unreg", 1},
              {"IPA VDC", 1}, {"PA VDC", 1}, {"IPA Q4 Rej", 1}, {"IPA Q4 Refld", 1}, {"IPA Q3 Rej", 1},
              {"IPA Q3 Fwd", 1}, {"IPA I/P Pwr", 1}, {"Fan VDC", 1}, {"+15 VDC", 1}, {"-15 VDC", 1},
              {"+20 VDC", 1}, {"DC current", 1}, {"B+ VDC", 1}, {"Intake Temp", 1}, {"Aux Rej Pwr", 1},
              {"Exhaust Temp", 1}, {"Ambient Temp", 1}, {"not used", 1}, {"Ext Fwd Mtr", 1}, {"Ext Refl Mtr", 1}}),
      12};
  static const LabelList k35{
      Labels({{"PA Current", 1}, {"FM2 Fwd Pwr", 1}, {"+3.3 VDC", 1}, {"FM2 Refd PWR", 1}, {"FM2 Temp.", 1},
              {"Temperature", 1}, {"FM1-A DC Cur", 1}, {"FM1-A FwdPwr", 1}, {"FM1-A RefPwr", 1}, {"FM1-A Temp", 1},
              {"not used", 1}, {"+5 VDC", 1}, {"Refld Power", 1}, {"Fwd Power", 1}, {"AC Voltage", 1},
              {"B+ Voltage", 1}, {"PA Voltage", 1}, {"FM1-B DC Cur", 1}, {"FM1-B FwdPwr", 1}, {"FM1-B RefPwr", 1},
              {"FM1-B Temp", 1}, {"Fan (RPM)", 1}, {"Test V meter", 1}, {"+15 VDC", 1}, {"-15 VDC", 1},
              {"+24 VDC", 1}, {"not used", 5}, {"Ambient Temp", 1}}),
      12};
  static const LabelList g2400{
      Labels({{"PDM B", 1}, {"PDM A", 1}, {"DC Curr P/S B", 1}, {"DC Curr P/S A", 1}, {"AC Voltage", 1},
              {"Reflec. Power", 1}, {"Forward Power", 1}, {"Modulation %", 1}, {"+15 Volt P/S", 1}, {"Spare 2", 1},
              {"Spare 1", 1}, {"B+ Volt P/S B", 1}, {"B+ Volt P/S A", 1}, {"PA Volt P/S B", 1}, {"PA Volt P/S A", 1},
              {"RF Current", 1}, {"-5 Volt P/S", 1}, {"+5 Volt P/S", 1}, {"-15 Volt P/S", 1}, {"+24 Volt P/S", 1}}),
      13};
  static const LabelList rq4{
      Labels({{"not used", 2}, {"+3.3 VDC", 1}, {"not used", 8}, {"+5 VDC", 1}, {"Refld Power", 1},
              {"Forward Power", 1}, {"AC Voltage", 1}, {"Xmtr B +20VDC", 1}, {"Xmtr A +20VDC", 1}, {"not used", 2},
              {"Rej Load Pwr", 1}, {"Exctr Fwd Pwr", 1}, {"not used", 1}, {"+24 VDC", 1}, {"+15 VDC", 1},
              {"-15 VDC", 1}, {"+20-24 VDC", 1}, {"not used", 5}, {"Temperature", 1}}),
      13};
  static const LabelList zt{
      Labels({{"PDM B", 1}, {"PDM A", 1}, {"not used", 2}, {"B+ Voltage", 1}, {"Reflec. Power", 1},
              {"Forward Power", 1}, {"not used", 1}, {"+15 Volt P/S", 1}, {"not used", 2}, {"+48 Volt P/S", 1},
              {"PA Volt P/S", 1}, {"Total DC Curr", 1}, {"B+ Voltage", 1}, {"RF Current", 1}, {"+62 Volt P/S", 1},
              {"not used", 1}, {"+5 Volt P/S", 1}, {"-15 Volt P/S", 1}, {"+24 Volt P/S", 1}, {"Temperature", 1}}),
      13};
  static const LabelList meridel{
      Labels({{"PDM B", 1}, {"PDM A", 1}, {"DC Curr P/S B", 1}, {"DC Curr P/S A", 1}, {"AC Voltage", 1},
              {"Reflec. Power", 1}, {"Forward Power", 1}, {"Charger Curr", 1}, {"+15 Volt P/S", 1},
              {"Antenna Curr.", 1}, {"Spare 1", 1}, {"B+ Volt P/S B", 1}, {"B+ Volt P/S A", 1}, {"PA Volt P/S B", 1},
              {"PA Volt P/S A", 1}, {"RF Current", 1}, {"Battery Curr", 1}, {"Battery Volt", 1}, {"+5 Volt P/S", 1},
              {"-15 Volt P/S", 1}, {"+24 Volt P/S", 1}, {"Temperature", 1}, {"P/S B Temp", 1}, {"P/S A Temp", 1}}),
      13};
  switch (equipment) {
    case 1: return solvane2;
    case 2: return k35;
    case 3: return g2400;
    case 4: return rq4;
    case 5: return zt;
    case 6: return meridel;
    case 7: return solvane1;
    default: return none;
  }
}

const LabelList& ThresholdLabels(int equipment) {
  static const LabelList none{};
  static const LabelList solvane{
      Labels({{"SWR Shutback", 1}, {"IPA Forward High", 1}, {"IPA Forward Low", 1}, {"IPA Forward vs Volts", 1},
              {"IPA Input High", 1}, {"IPA Input Low", 1}, {"IPA Reflected High", 1}, {"Low B+ Voltage", 1},
              {"Contrast Level", 1}, {"RTC Calibration Byte", 1}}),
      20};
  static const LabelList k35{Labels({{"SWR Shutback", 1}, {"Contrast Level", 1}}), 20};
  static const LabelList g2400{
      Labels({{"LCD contrast", 1}, {"Spare 1", 1}, {"Spare 2", 1}, {"RF Current", 1}, {"Low AC Voltage", 1},
              {"Refl. Power Cutback Low", 1}, {"Refl. Power Cutback High", 1}, {"Refl. Power Shutback", 1}}),
      24};
  static const LabelList zt{
      Labels({{"Refl. Power Shutback", 1}, {"Low B+ Voltage", 1}, {"RF Current", 1}, {"Carrier Reference", 1},
              {"Audio", 1}, {"LCD Contrast", 1}, {"Analog Meter", 1}, {"", 1}}),
      24};
  static const LabelList meridel{
      Labels({{"Refl. Power Shutback", 1}, {"Low AC Voltage", 1}, {"RF Current", 1}, {"Carrier Reference A", 1},
              {"Audio", 1}, {"LCD Contrast", 1}, {"Analog Meter", 1}, {"Carrier Reference B", 1},
              {"Slowback Pwr (Per Block)", 1}}),
      24};
  switch (equipment) {
    case 1:
    case 7: return solvane;
    case 2: return k35;
    case 3: return g2400;
    case 5: return zt;
    case 6: return meridel;
    default: return none;
  }
}

constexpr int kWideShortLabel = 12;

std::string SetLabel(const LabelList& list, std::size_t index) {
  const std::string& label = list.labels[index];
  char text[128];
  if (list.wide) {
    if (label.size() <= static_cast<std::size_t>(kWideShortLabel)) {
      std::snprintf(text, sizeof text, "%*s", kWideShortLabel, label.c_str());
      std::snprintf(text, sizeof text, "%-*s", list.width, std::string(text).c_str());
    } else {
      std::snprintf(text, sizeof text, "%-*s", list.width, label.c_str());
    }
  } else {
    std::snprintf(text, sizeof text, "%*s", list.width, label.c_str());
  }
  return text;
}

template <typename Line>
std::string JoinLines(std::size_t count, Line line) {
  if (count == 0) return kCalNoData;
  std::string text;
  for (std::size_t i = 0; i < count; ++i) {
    if (i) text += "\r\n";
    text += line(i);
  }
  return text;
}

}  // namespace

std::vector<uint8_t> CalibrationData::Serialize() const {
  std::vector<uint8_t> out;
  out.reserve(2 * kCalCountSize + thresholds.size() * 2 + scale_factors.size() * 4);
  Put(out, static_cast<uint32_t>(thresholds.size()), kCalCountSize);
  for (uint16_t value : thresholds) Put(out, value, kCalFileThresholdSize);
  Put(out, static_cast<uint32_t>(scale_factors.size()), kCalCountSize);
  for (float value : scale_factors) {
    uint32_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Put(out, bits, kCalFileScaleFactorSize);
  }
  return out;
}

Result<CalibrationData, CalFileError> ParseCalibrationFile(std::span<const uint8_t> bytes) {
  Reader in(bytes);
  auto truncated = [&in] { return Fail(CalFileError{CalFileErrorKind::Truncated, in.Offset()}); };
  CalibrationData data;
  if (!in.Has(kCalCountSize)) return truncated();
  const std::size_t thresholds = in.Take(kCalCountSize);
  if (!in.Has(thresholds * kCalFileThresholdSize)) return truncated();
  data.thresholds.resize(thresholds);
  for (auto& value : data.thresholds) value = static_cast<uint16_t>(in.Take(kCalFileThresholdSize));
  if (!in.Has(kCalCountSize)) return truncated();
  const std::size_t factors = in.Take(kCalCountSize);
  if (!in.Has(factors * kCalFileScaleFactorSize)) return truncated();
  data.scale_factors.resize(factors);
  for (auto& value : data.scale_factors) {
    const uint32_t bits = in.Take(kCalFileScaleFactorSize);
    std::memcpy(&value, &bits, sizeof bits);
  }
  if (!in.AtEnd()) return Fail(CalFileError{CalFileErrorKind::TrailingBytes, in.Offset()});
  return data;
}

const std::vector<std::string>& CalibrationEquipmentList() {
  static const std::vector<std::string> list = {
      "Unknown",
      "Solvane Series FM Transmitter (Version 2.0 and above)",
      "K35 FM Exciter",
      "G2400 AM Transmitter",
      "RQ4",
      "ZT Series AM Transmitter",
      "Meridel Series",
      "Solvane Series FM Transmitter (Version 1.x)",
  };
  return list;
}

uint8_t CalibrationAddressBase(int equipment) {
  switch (equipment) {
    case 1:
    case 7: return 0x20;
    case 2: return 0x0D;
    default: return 0x00;
  }
}

uint8_t CalibrationSubAddress(int equipment, int position, bool relayed) {
  if (!relayed) return 0;
  return static_cast<uint8_t>(CalibrationAddressBase(equipment) + position);
}

std::string ScaleFactorText(const CalibrationData& data, int equipment) {
  const LabelList& list = ScaleFactorLabels(equipment);
  return JoinLines(data.scale_factors.size(), [&](std::size_t i) {
    char line[512];
    const double value = data.scale_factors[i];
    if (i < list.labels.size()) {
      std::snprintf(line, sizeof line, "%s %4d: %8f", SetLabel(list, i).c_str(), static_cast<int>(i), value);
    } else {
      std::snprintf(line, sizeof line, "%4d: %8f", static_cast<int>(i), value);
    }
    return std::string(line);
  });
}

std::string ThresholdText(const CalibrationData& data, int equipment) {
  const LabelList& list = ThresholdLabels(equipment);
  return JoinLines(data.thresholds.size(), [&](std::size_t i) {
    char line[128];
    const int value = data.thresholds[i];
    if (i < list.labels.size()) {
      std::snprintf(line, sizeof line, "%s %4d: %8d", SetLabel(list, i).c_str(), static_cast<int>(i), value);
      return std::string(line);
    }
    // The index in 4, a colon and a blank, the value in 8: 14 characters.
    std::snprintf(line, sizeof line, "%4d: %8d: ", static_cast<int>(i), value);
    return std::string(line).substr(0, 14);
  });
}

std::string CalibrationTextExport(const CalibrationData& data, int equipment) {
  const std::string& entry = CalibrationEquipmentList().at(static_cast<std::size_t>(equipment));
  std::string text;
  if (!data.scale_factors.empty()) {
    text += entry + " NewScaleFacts:\r\n" + ScaleFactorText(data, equipment) + "\r\n\r\n";
  }
  if (!data.thresholds.empty()) {
    text += entry + " Analog Thresholds:\r\n" + ThresholdText(data, equipment) + "\r\n\r\n";
  }
  return text;
}

}  // namespace corvel
