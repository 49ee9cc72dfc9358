#include "sim/MasterBoardModel.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace corvel::sim {

namespace {

using Clock = std::chrono::steady_clock;

// The board's view of the wire: [receiver][sender][type][N][data x N][sum hi][sum lo].
constexpr std::size_t kHeader = 4;
constexpr std::size_t kTrailer = 2;
constexpr uint8_t kBoardAddress = 0;
constexpr uint8_t kRelayType = 0xFF;
constexpr uint8_t kEepromType = 0x8C;
constexpr uint8_t kRelayDeliver = 1;
constexpr uint8_t kRelayFetch = 2;
constexpr uint8_t kRelayValid = 5;
constexpr uint8_t kRelayReadFailed = 6;
constexpr uint8_t kRelayNoDevice = 7;
constexpr uint8_t kEepromRequest = 1;
constexpr uint8_t kEepromNotReadyA = 3;
constexpr uint8_t kEepromNotReadyB = 4;
constexpr uint8_t kEepromData = 5;
constexpr uint8_t kEepromAbsent = 7;
constexpr std::size_t kEepromBlock = 8;
// A fetch answer carries 5 bytes before the relayed data.
constexpr std::size_t kFetchAnswerHeader = 5;
constexpr std::size_t kMaxData = 255;
// Modem settings: 0x8E asks, 0x8F sends; 255 bytes of strings.
constexpr uint8_t kModemReadType = 0x8E;
constexpr uint8_t kModemWriteType = 0x8F;
constexpr std::size_t kModemSettingsSize = 255;
// Calibration: 0x80 reads, 0x81 writes; data [step][count][values].
constexpr uint8_t kCalReadType = 0x80;
constexpr uint8_t kCalWriteType = 0x81;
constexpr uint8_t kCalFactorsStep = 1;
constexpr uint8_t kCalThresholdsStep = 2;
constexpr std::size_t kCalHeader = 2;

bool SumsToZero(const std::vector<uint8_t>& bytes, std::size_t frame_size) {
  uint32_t sum = 0;
  for (std::size_t i = 0; i < frame_size - kTrailer; ++i) sum += bytes[i];
  sum += 256u * bytes[frame_size - 2] + bytes[frame_size - 1];
  return (sum & 0xFFFF) == 0;
}

}  // namespace

std::vector<uint8_t> EncodeMasterFrame(const MasterFrame& frame) {
  const std::size_t n = std::min(frame.data.size(), kMaxData);
  std::vector<uint8_t> bytes;
  bytes.reserve(n + kHeader + kTrailer);
  bytes.push_back(frame.receiver);
  bytes.push_back(frame.sender);
  bytes.push_back(frame.type);
  bytes.push_back(static_cast<uint8_t>(n));
  bytes.insert(bytes.end(), frame.data.begin(), frame.data.begin() + static_cast<std::ptrdiff_t>(n));
  uint32_t sum = 0;
  for (uint8_t b : bytes) sum += b;
  const uint16_t check = static_cast<uint16_t>(0x10000u - (sum & 0xFFFF));
  bytes.push_back(static_cast<uint8_t>(check >> 8));
  bytes.push_back(static_cast<uint8_t>(check & 0xFF));
  return bytes;
}

const std::vector<ChainDevice>& SolvaneChain() {
  static const std::vector<ChainDevice> chain = [] {
    std::vector<ChainDevice> devices;
    devices.push_back({1, "QXCT_207", 4096});
    devices.push_back({2, "EXT_IF", 256});
    for (int i = 0; i < 8; ++i) {
      devices.push_back({static_cast<uint8_t>(3 + i), std::string("PA_MODULE_") + static_cast<char>('A' + i), 256});
    }
    devices.push_back({11, "IPA_MODULE_A", 256});
    devices.push_back({12, "IPA_MODULE_B", 256});
    devices.push_back({13, "EXCITER_A_QXCT_207", 4096});
    devices.push_back({14, "EXCITER_B_QXCT_207", 4096});
    return devices;
  }();
  return chain;
}

std::vector<uint8_t> RecognisableEeprom(uint8_t address, const std::string& name, std::size_t size) {
  std::vector<uint8_t> bytes(size);
  for (std::size_t i = 0; i < size; ++i) {
    bytes[i] = static_cast<uint8_t>(i * 31u + address * 59u + (i >> 8) * 7u + 1u);
  }
  for (std::size_t i = 0; i <= name.size() && i < size; ++i) {
    bytes[i] = i < name.size() ? static_cast<uint8_t>(name[i]) : 0;
  }
  return bytes;
}

namespace {

// A whole number from the command line: decimal, or hex after "0x".
bool ParseNumber(const std::string& text, long min, long max, long& value) {
  if (text.empty() || text[0] == '-' || text[0] == '+') return false;
  char* end = nullptr;
  errno = 0;
  const long parsed = std::strtol(text.c_str(), &end, 0);
  if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < min || parsed > max) return false;
  value = parsed;
  return true;
}

constexpr long kMaxFaultPolls = 1000000;

}  // namespace

bool IsMasterBoardOption(const std::string& option) {
  return option == "--silent-device" || option == "--absent-device" || option == "--read-failed" ||
         option == "--not-ready" || option == "--fetch-not-ready";
}

std::string ApplyMasterBoardOption(MasterBoardModel& board, const std::string& option, const std::string& value) {
  if (!IsMasterBoardOption(option)) return "unknown option " + option;
  long number = 0;
  if (option == "--not-ready" || option == "--fetch-not-ready") {
    if (!ParseNumber(value, 0, kMaxFaultPolls, number)) return option + " takes a count, not '" + value + "'";
    (option == "--not-ready" ? board.eeprom_not_ready_polls : board.fetch_not_ready_polls) = static_cast<int>(number);
    return "";
  }
  if (!ParseNumber(value, 1, 255, number)) return option + " takes a device address 1..255, not '" + value + "'";
  const auto address = static_cast<uint8_t>(number);
  if (option == "--silent-device") {
    board.silent_devices[address] = -1;
  } else if (option == "--absent-device") {
    board.eeproms.erase(address);
  } else {
    board.read_failed_devices.insert(address);
  }
  return "";
}

const char* MasterBoardOptionsUsage() {
  return "  master only:\n"
         "  --silent-device ADDR   the device never answers\n"
         "  --absent-device ADDR   the device is not in the chain\n"
         "  --read-failed ADDR     relayed fetches for the device answer \"read failed\"\n"
         "  --not-ready N          N \"not ready\" answers before every EEPROM block\n"
         "  --fetch-not-ready N    N \"no answer yet\" answers before a relayed answer\n";
}

MasterBoardModel::MasterBoardModel() {
  for (const auto& device : SolvaneChain()) {
    eeproms[device.address] = RecognisableEeprom(device.address, device.name, device.eeprom_size);
  }
  // Every board's calibration differs, so a value from the wrong one shows.
  auto calibration = [](uint8_t address) {
    Calibration cal;
    for (int i = 0; i < 3; ++i) cal.scale_factors.push_back(static_cast<float>(address) + 0.25f * static_cast<float>(i + 1));
    for (int i = 0; i < 2; ++i) cal.thresholds.push_back(static_cast<uint16_t>(address * 100 + i));
    return cal;
  };
  calibrations[kBoardAddress] = calibration(kBoardAddress);
  for (uint8_t a = 0x0D; a < 0x0D + 8; ++a) calibrations[a] = calibration(a);
  for (uint8_t a = 0x20; a < 0x20 + 8; ++a) calibrations[a] = calibration(a);
}

bool MasterBoardModel::TakeFault(int& counter) {
  if (counter == 0) return false;
  if (counter > 0) --counter;
  return true;
}

void MasterBoardModel::OnReceive(const uint8_t* data, std::size_t size, uint32_t, DeviceLink& link) {
  m_buffer.insert(m_buffer.end(), data, data + size);
  m_last_byte = Clock::now();
  while (m_buffer.size() >= kHeader) {
    const std::size_t frame_size = m_buffer[3] + kHeader + kTrailer;
    if (m_buffer.size() < frame_size) break;
    if (!SumsToZero(m_buffer, frame_size)) {
      // A garbled frame: the board cannot tell where the next one starts,
      // so it drops everything it holds.
      ++bad_frames;
      m_buffer.clear();
      break;
    }
    MasterFrame frame;
    frame.receiver = m_buffer[0];
    frame.sender = m_buffer[1];
    frame.type = m_buffer[2];
    frame.data.assign(m_buffer.begin() + kHeader, m_buffer.begin() + static_cast<std::ptrdiff_t>(frame_size - kTrailer));
    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(frame_size));
    HandleFrame(frame, frame_size, link);
  }
}

void MasterBoardModel::OnIdle(DeviceLink&) {
  if (!m_buffer.empty() && Clock::now() - m_last_byte > std::chrono::milliseconds(kStaleFrameMs)) m_buffer.clear();
}

void MasterBoardModel::HandleFrame(const MasterFrame& frame, std::size_t wire_size, DeviceLink& link) {
  received.push_back(frame);
  received_sizes.push_back(wire_size);
  if (frame.receiver != kBoardAddress) return;  // for another board
  std::optional<MasterFrame> reply;
  bool relay_answer = false;
  if (auto it = direct_handlers.find(frame.type); it != direct_handlers.end()) {
    reply = it->second(frame);
  } else if (frame.type == kRelayType) {
    reply = HandleRelay(frame);
    relay_answer = true;
  } else if (frame.type == kEepromType) {
    reply = HandleEepromRead(frame);
  } else if (serves_device_tools && (frame.type == kModemReadType || frame.type == kModemWriteType)) {
    reply = HandleModem(frame);
  } else if (serves_device_tools && (frame.type == kCalReadType || frame.type == kCalWriteType)) {
    reply = HandleCalibration(kBoardAddress, frame);
  } else {
    reply = MasterFrame{frame.sender, kBoardAddress, frame.type, frame.data};
  }
  if (reply) Reply(std::move(*reply), relay_answer, wire_size, link);
}

std::optional<MasterFrame> MasterBoardModel::HandleRelay(const MasterFrame& frame) {
  if (frame.data.size() < 3) return std::nullopt;
  const uint8_t operation = frame.data[0];
  const uint8_t device = frame.data[1];
  const uint8_t type = frame.data[2];
  auto answer = [&](uint8_t status) { return MasterFrame{frame.sender, kBoardAddress, kRelayType, {status, device, type}}; };
  const bool present = eeproms.count(device) != 0 || (serves_device_tools && calibrations.count(device) != 0);

  if (operation == kRelayDeliver) {
    MasterFrame relayed{device, frame.sender, type, std::vector<uint8_t>(frame.data.begin() + 3, frame.data.end())};
    delivered.push_back(relayed);
    if (!present) return answer(kRelayNoDevice);
    auto silent = silent_devices.find(device);
    if (silent != silent_devices.end() && TakeFault(silent->second)) return answer(kStatusAccepted);
    std::optional<MasterFrame> device_answer;
    if (auto it = sub_device_handlers.find(type); it != sub_device_handlers.end()) {
      device_answer = it->second(device, relayed);
    } else if (serves_device_tools && (type == kCalReadType || type == kCalWriteType)) {
      device_answer = HandleCalibration(device, relayed);
    } else {
      device_answer = MasterFrame{frame.sender, device, type, relayed.data};
    }
    if (device_answer) m_pending[device] = {std::move(*device_answer), fetch_not_ready_polls};
    return answer(kStatusAccepted);
  }
  if (operation == kRelayFetch) {
    if (!present) return answer(kRelayNoDevice);
    if (read_failed_devices.count(device)) return answer(kRelayReadFailed);
    auto pending = m_pending.find(device);
    if (pending == m_pending.end()) return answer(kStatusNotYet);
    if (pending->second.polls_before > 0) {
      --pending->second.polls_before;
      return answer(kStatusNotYet);
    }
    const MasterFrame& got = pending->second.frame;
    const std::size_t n = std::min(got.data.size(), kMaxData - kFetchAnswerHeader);
    MasterFrame reply = answer(kRelayValid);
    reply.data.push_back(got.type);
    reply.data.push_back(static_cast<uint8_t>(n));
    reply.data.insert(reply.data.end(), got.data.begin(), got.data.begin() + static_cast<std::ptrdiff_t>(n));
    if (TakeFault(overstated_length_replies)) reply.data[4] = static_cast<uint8_t>(reply.data[4] + 4);
    m_pending.erase(pending);
    return reply;
  }
  return std::nullopt;
}

std::optional<MasterFrame> MasterBoardModel::HandleEepromRead(const MasterFrame& frame) {
  if (frame.data.size() < 4) return std::nullopt;
  const uint8_t device = frame.data[1];
  const std::size_t address = frame.data[2] | (std::size_t{frame.data[3]} << 8);
  if (frame.data[0] == kEepromRequest) {
    ++eeprom_requests;
    m_not_ready_left = eeprom_not_ready_polls;
    m_not_ready_given = 0;
  } else {
    ++eeprom_polls;
  }
  auto silent = silent_devices.find(device);
  if (silent != silent_devices.end() && TakeFault(silent->second)) return std::nullopt;

  MasterFrame reply{frame.sender, kBoardAddress, kEepromType, {0, device, frame.data[2], frame.data[3]}};
  if (m_not_ready_left > 0) {
    --m_not_ready_left;
    reply.data[0] = (m_not_ready_given++ % 2 == 0) ? kEepromNotReadyA : kEepromNotReadyB;
    return reply;
  }
  auto eeprom = eeproms.find(device);
  if (eeprom == eeproms.end()) {
    reply.data[0] = kEepromAbsent;
    return reply;
  }
  reply.data[0] = kEepromData;
  for (std::size_t i = 0; i < kEepromBlock; ++i) {
    const std::size_t at = address + i;
    reply.data.push_back(at < eeprom->second.size() ? eeprom->second[at] : 0xFF);
  }
  return reply;
}

std::optional<MasterFrame> MasterBoardModel::HandleModem(const MasterFrame& frame) {
  MasterFrame reply{frame.sender, kBoardAddress, frame.type, {}};
  if (frame.type == kModemWriteType) {
    // The board keeps what fits its 255 bytes, zero-filled.
    modem_settings.assign(kModemSettingsSize, 0);
    std::copy_n(frame.data.begin(), std::min(frame.data.size(), kModemSettingsSize), modem_settings.begin());
    return reply;
  }
  reply.data = modem_settings;
  reply.data.resize(kModemSettingsSize, 0);
  if (TakeFault(modem_short_answers)) reply.data.pop_back();
  return reply;
}

std::optional<MasterFrame> MasterBoardModel::HandleCalibration(uint8_t address, const MasterFrame& frame) {
  auto held = calibrations.find(address);
  if (held == calibrations.end() || frame.data.empty()) return std::nullopt;
  if (TakeFault(cal_silent_answers)) return std::nullopt;
  Calibration& cal = held->second;
  const uint8_t step = frame.data[0];
  MasterFrame reply{frame.sender, address, frame.type, {step}};
  auto little = [&reply](uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) reply.data.push_back(static_cast<uint8_t>(value >> (8 * i)));
  };
  if (frame.type == kCalReadType) {
    if (step == kCalFactorsStep) {
      reply.data.push_back(static_cast<uint8_t>(cal.scale_factors.size()));
      for (float value : cal.scale_factors) {
        uint32_t bits = 0;
        std::memcpy(&bits, &value, sizeof bits);
        little(bits, 4);
      }
    } else if (step == kCalThresholdsStep) {
      reply.data.push_back(static_cast<uint8_t>(cal.thresholds.size()));
      for (uint16_t value : cal.thresholds) little(value, 2);
    }
  } else {
    // A write: [step][count][values]; the board takes the values carried.
    const std::size_t count = frame.data.size() > 1 ? frame.data[1] : 0;
    const std::size_t carried = frame.data.size() - std::min(frame.data.size(), kCalHeader);
    if (step == kCalFactorsStep) {
      cal.scale_factors.clear();
      for (std::size_t i = 0; i < count && (i + 1) * 4 <= carried; ++i) {
        uint32_t bits = 0;
        for (int b = 0; b < 4; ++b) bits |= uint32_t{frame.data[kCalHeader + i * 4 + b]} << (8 * b);
        float value = 0;
        std::memcpy(&value, &bits, sizeof value);
        cal.scale_factors.push_back(value);
      }
    } else if (step == kCalThresholdsStep) {
      cal.thresholds.clear();
      for (std::size_t i = 0; i < count && (i + 1) * 2 <= carried; ++i) {
        cal.thresholds.push_back(
            static_cast<uint16_t>(frame.data[kCalHeader + i * 2] | (frame.data[kCalHeader + i * 2 + 1] << 8)));
      }
    }
  }
  if (TakeFault(cal_wrong_type_answers)) reply.type = static_cast<uint8_t>(reply.type + 1);
  if (TakeFault(cal_wrong_step_answers)) reply.data[0] = static_cast<uint8_t>(reply.data[0] + 1);
  if (TakeFault(cal_short_answers)) reply.data.pop_back();
  return reply;
}

void MasterBoardModel::Reply(MasterFrame reply, bool relay_answer, std::size_t request_size, DeviceLink& link) {
  if (TakeFault(silent_replies)) return;
  if (relay_answer && reply.data.size() > 1 && TakeFault(wrong_address_replies)) {
    reply.data[1] = static_cast<uint8_t>(reply.data[1] + 1);
  }
  if (TakeFault(wrong_type_replies)) reply.type = static_cast<uint8_t>(reply.type + 1);
  std::vector<uint8_t> bytes = EncodeMasterFrame(reply);
  if (TakeFault(corrupt_replies)) bytes[reply.data.empty() ? 2 : kHeader] ^= 0x01;
  if (truncate_next_reply_to >= 0) {
    bytes.resize(std::min(bytes.size(), static_cast<std::size_t>(truncate_next_reply_to)));
    truncate_next_reply_to = -1;
  }
  bytes.insert(bytes.end(), append_to_next_reply.begin(), append_to_next_reply.end());
  append_to_next_reply.clear();
  uint32_t delay_ms = 0;
  if (reply_after_line_time) {
    const uint32_t baud = link.LineBaud() ? link.LineBaud() : 19200;
    delay_ms = static_cast<uint32_t>(request_size * 10u * 1000u / baud);
  }
  link.Send(std::move(bytes), 0, delay_ms);
}

}  // namespace corvel::sim
