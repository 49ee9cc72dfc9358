#include "sim/VirtualAvr.h"

#include <algorithm>
#include <cstring>

namespace corvel::sim {

namespace {

using Clock = std::chrono::steady_clock;

// The boot loader's command letters.
constexpr uint8_t kStart = 'r';
constexpr uint8_t kQueryApp = 's';
constexpr uint8_t kQueryVersion = 't';
constexpr uint8_t kWriteFlash = 'u';
constexpr uint8_t kReadFlash = 'v';
constexpr uint8_t kWriteEeprom = 'w';
constexpr uint8_t kReadEeprom = 'x';
constexpr uint8_t kEraseFlash = 'y';
constexpr uint8_t kEraseEeprom = 'z';
constexpr uint8_t kSpeedUp = '{';
constexpr uint8_t kSpeedDown = '|';

constexpr std::size_t kPage = 256;
constexpr std::size_t kEepromBlock = 16;  // the host always writes 16 bytes
constexpr std::size_t kReadRun = 256;

// A frame whose bytes stop coming for this long is abandoned, so a host that
// gave up half-way is heard again from its next request.
constexpr auto kFrameGap = std::chrono::milliseconds(20);

// Device packets (the application's side of the line).
constexpr std::size_t kPacketHeader = 4;
constexpr uint8_t kPacketEnter = 0x7E;
constexpr uint8_t kPacketEntered = 0x7F;
constexpr std::size_t kEnteredDataLength = 24;

uint32_t Le32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }

void PutLe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 0; i < 4; ++i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void AppendChecksum(std::vector<uint8_t>& frame) {
  const uint16_t sum = AvrFrameChecksum(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(sum >> 8));
  frame.push_back(static_cast<uint8_t>(sum));
}

bool ChecksumHolds(const std::vector<uint8_t>& frame) {
  if (frame.size() < 2) return false;
  const std::size_t n = frame.size() - 2;
  return AvrFrameChecksum(frame.data(), n) == (uint16_t{frame[n]} << 8 | frame[n + 1]);
}

uint32_t LineTimeUs(std::size_t bytes, uint32_t baud) {
  return static_cast<uint32_t>(uint64_t{bytes} * 10u * 1000000u / (baud ? baud : 19200));
}

}  // namespace

uint16_t AvrFrameChecksum(const uint8_t* bytes, std::size_t n) {
  uint16_t sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum = static_cast<uint16_t>(sum + bytes[i]);
  return static_cast<uint16_t>(-sum);
}

VirtualAvr::Timing VirtualAvr::DataSheetTiming() {
  Timing t;
  t.flash_erase_us = 4500;   // page erase
  t.flash_write_us = 4500;   // page write (the boot loader erases and writes)
  t.eeprom_erase_us = 3400;  // the block's bytes are cleared in one go
  t.eeprom_write_us = 3400;
  t.read_us = 100;
  t.other_us = 100;
  t.wait_for_request = true;
  return t;
}

uint8_t VirtualAvr::BootSectionByte(uint32_t offset) { return static_cast<uint8_t>((offset * 7u + 0x0Cu) & 0xFF); }

VirtualAvr::VirtualAvr(Mode start_mode) : mode(start_mode), flash(kFlashSize, 0xFF), eeprom(kEepromSize, 0xFF) {
  for (uint32_t a = kBootSectionStart; a < kFlashSize; ++a) flash[a] = BootSectionByte(a - kBootSectionStart);
}

bool VirtualAvr::ListensAt(uint32_t baud) const { return !faults.silent && baud == speed; }

void VirtualAvr::Reset() {
  m_frame.clear();
  m_expected = 0;
}

void VirtualAvr::OnIdle(DeviceLink&) {
  if (!m_frame.empty() && Clock::now() - m_last_byte > kFrameGap) Reset();
}

void VirtualAvr::OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) {
  if (faults.silent || baud != speed) return;
  m_frame_baud = baud;
  if (mode == Mode::Application) {
    HandleApplicationBytes(data, size, link);
  } else {
    HandleBootLoaderBytes(data, size, link);
  }
  m_last_byte = Clock::now();
}

void VirtualAvr::Reply(DeviceLink& link, std::vector<uint8_t> bytes, uint8_t code, uint32_t work_us, uint32_t baud) {
  if (faults.corrupt_reply_to != 0 && faults.corrupt_reply_to == code) {
    faults.corrupt_reply_to = 0;
    bytes.back() ^= 0x01;
  }
  if (faults.truncate_reply_to != 0 && faults.truncate_reply_to == code) {
    faults.truncate_reply_to = 0;
    bytes.resize(bytes.size() / 2);
  }
  uint32_t us = work_us;
  if (timing.wait_for_request) us += LineTimeUs(m_frame.size(), m_frame_baud);
  link.Send(std::move(bytes), baud, (us + 500) / 1000);
}

void VirtualAvr::HandleApplicationBytes(const uint8_t* data, std::size_t size, DeviceLink& link) {
  for (std::size_t i = 0; i < size; ++i) {
    m_frame.push_back(data[i]);
    if (m_frame.size() == kPacketHeader) m_expected = kPacketHeader + m_frame[3] + 2;
    if (m_frame.size() < kPacketHeader || m_frame.size() < m_expected) continue;
    const bool good = ChecksumHolds(m_frame);
    const bool entry = good && m_frame[0] == 0 && m_frame[2] == kPacketEnter && m_frame[3] == kEntryCode.size() &&
                       std::equal(kEntryCode.begin(), kEntryCode.end(), m_frame.begin() + kPacketHeader);
    if (!good) ++counters.bad_frames;
    if (entry) {
      ++counters.entry_requests;
      std::vector<uint8_t> reply = {m_frame[1], 0, kPacketEntered, static_cast<uint8_t>(kEnteredDataLength)};
      PutLe32(reply, application_version);
      std::string text = description.substr(0, kEnteredDataLength - 5);
      text.resize(kEnteredDataLength - 4, '\0');
      reply.insert(reply.end(), text.begin(), text.end());
      AppendChecksum(reply);
      Reply(link, std::move(reply), kPacketEnter, timing.other_us, kNormalBaud);
      // The application jumps into its boot loader, which listens from now on.
      mode = Mode::BootLoader;
      speed = kNormalBaud;
      Reset();
      return;
    }
    Reset();
  }
}

std::size_t VirtualAvr::BootFrameLength(uint8_t b) const {
  switch (b) {
    case kStart:
    case kQueryApp:
    case kQueryVersion:
    case kSpeedUp:
    case kSpeedDown: return 3;
    case kReadFlash:
    case kReadEeprom:
    case kEraseFlash:
    case kEraseEeprom: return 7;
    case kWriteFlash: return 5 + kPage + 2;
    case kWriteEeprom: return 5 + kEepromBlock + 2;
    default: return b == kWakeUp[0] ? kWakeUp.size() : 0;
  }
}

void VirtualAvr::HandleBootLoaderBytes(const uint8_t* data, std::size_t size, DeviceLink& link) {
  for (std::size_t i = 0; i < size; ++i) {
    const uint8_t b = data[i];
    if (m_frame.empty()) {
      m_expected = BootFrameLength(b);
      if (m_expected == 0) continue;  // noise between frames
    }
    m_frame.push_back(b);
    const bool greeting = m_frame[0] == kWakeUp[0];
    if (greeting && m_frame.back() != kWakeUp[m_frame.size() - 1]) {
      Reset();
      continue;
    }
    if (m_frame.size() < m_expected) continue;
    ExecuteBootFrame(link);
    Reset();
    if (mode != Mode::BootLoader) return;  // the application has the line now
  }
}

std::vector<uint8_t> VirtualAvr::StatusReply(bool ok) const {
  std::vector<uint8_t> reply = {m_frame[0], 0, 0, 0, 0, static_cast<uint8_t>(ok ? 1 : 0)};
  AppendChecksum(reply);
  return reply;
}

std::vector<uint8_t> VirtualAvr::DataReply(const std::vector<uint8_t>& memory, uint32_t address, bool garbled) const {
  std::vector<uint8_t> reply = {m_frame[0], 0, 0, 0, 0};
  // Addresses wrap at the end of the memory, as the chip's do.
  for (std::size_t i = 0; i < kReadRun; ++i) reply.push_back(memory[(address + i) % memory.size()]);
  AppendChecksum(reply);
  if (garbled) reply.back() ^= 0x01;
  return reply;
}

void VirtualAvr::ExecuteBootFrame(DeviceLink& link) {
  const uint8_t code = m_frame[0];
  if (code == kWakeUp[0]) {
    AnswerGreeting(link);
    return;
  }
  if (!ChecksumHolds(m_frame)) {
    ++counters.bad_frames;
    return;
  }
  const uint32_t address = m_frame.size() >= 7 ? Le32(&m_frame[1]) : 0;
  switch (code) {
    case kQueryVersion:
    case kQueryApp: AnswerQuery(link, code); return;
    case kWriteFlash: WriteFlashPage(link, address); return;
    case kEraseFlash: EraseFlashPage(link, address); return;
    case kReadFlash:
      ++counters.flash_reads;
      if (address >= kFlashSize) return;
      Reply(link, DataReply(flash, address, faults.garbled_flash_reads.count(address) != 0), code, timing.read_us);
      return;
    case kWriteEeprom: WriteEepromBlock(link, address); return;
    case kEraseEeprom: EraseEepromBlock(link, address); return;
    case kReadEeprom:
      ++counters.eeprom_reads;
      if (address >= kEepromSize) return;
      Reply(link, DataReply(eeprom, address, faults.garbled_eeprom_reads.count(address) != 0), code, timing.read_us);
      return;
    case kStart: StartApplication(link); return;
    case kSpeedUp:
    case kSpeedDown: ChangeSpeed(link, code); return;
    default: return;
  }
}

void VirtualAvr::AnswerGreeting(DeviceLink& link) {
  ++counters.wake_ups;
  if (faults.silent_wake_ups > 0) {
    --faults.silent_wake_ups;
    return;
  }
  Reply(link, faults.wake_up_answer, m_frame[0], timing.other_us);
}

void VirtualAvr::AnswerQuery(DeviceLink& link, uint8_t code) {
  std::vector<uint8_t> reply = {code};
  if (code == kQueryVersion) {
    PutLe32(reply, boot_loader_version);
  } else {
    PutLe32(reply, application_version);
    std::string text = description.substr(0, 20);
    text.resize(20, '\0');
    reply.insert(reply.end(), text.begin(), text.end());
  }
  AppendChecksum(reply);
  Reply(link, std::move(reply), code, timing.other_us);
}

void VirtualAvr::WriteFlashPage(DeviceLink& link, uint32_t address) {
  ++counters.flash_writes;
  counters.flash_pages_written.insert(address);
  bool ok = address % kPage == 0 && address < kBootSectionStart && !faults.refused_flash_pages.count(address);
  if (ok && faults.fail_flash_write_once == address) {
    faults.fail_flash_write_once.reset();
    ok = false;
  }
  if (ok) {
    for (std::size_t i = 0; i < kPage; ++i) {
      uint8_t v = m_frame[5 + i];
      if (faults.stuck_flash_bits.count(address + static_cast<uint32_t>(i))) v ^= 0x01;
      flash[address + i] = v;
    }
  }
  Reply(link, StatusReply(ok), kWriteFlash, timing.flash_write_us);
}

void VirtualAvr::EraseFlashPage(DeviceLink& link, uint32_t address) {
  ++counters.flash_erases;
  const bool ok = !faults.refuse_flash_erase && address % kPage == 0 && address < kBootSectionStart &&
                  !faults.refused_flash_pages.count(address);
  if (ok) std::fill_n(flash.begin() + address, kPage, 0xFF);
  Reply(link, StatusReply(ok), kEraseFlash, timing.flash_erase_us);
}

void VirtualAvr::WriteEepromBlock(DeviceLink& link, uint32_t address) {
  ++counters.eeprom_writes;
  const bool ok = address + kEepromBlock <= kEepromSize && !faults.refused_eeprom_blocks.count(address);
  for (std::size_t i = 0; ok && i < kEepromBlock; ++i) {
    uint8_t v = m_frame[5 + i];
    if (faults.stuck_eeprom_bits.count(address + static_cast<uint32_t>(i))) v ^= 0x01;
    eeprom[address + i] = v;
  }
  Reply(link, StatusReply(ok), kWriteEeprom, timing.eeprom_write_us);
}

void VirtualAvr::EraseEepromBlock(DeviceLink& link, uint32_t address) {
  ++counters.eeprom_erases;
  const bool ok = !faults.refuse_eeprom_erase && address % kEepromBlock == 0 && address < kEepromSize &&
                  !faults.refused_eeprom_blocks.count(address);
  if (ok) std::fill_n(eeprom.begin() + address, kEepromBlock, 0xFF);
  Reply(link, StatusReply(ok), kEraseEeprom, timing.eeprom_erase_us);
}

void VirtualAvr::StartApplication(DeviceLink& link) {
  ++counters.starts;
  std::vector<uint8_t> reply = {kStart};
  AppendChecksum(reply);
  Reply(link, std::move(reply), kStart, timing.other_us);
  mode = Mode::Application;
  speed = kNormalBaud;
}

void VirtualAvr::ChangeSpeed(DeviceLink& link, uint8_t code) {
  if (code == kSpeedUp) ++counters.speed_up_requests;
  if (code == kSpeedUp && faults.normal_speed_only) return;
  const uint32_t new_speed = code == kSpeedUp ? kHighBaud : kNormalBaud;
  const bool changes = new_speed != speed;
  std::vector<uint8_t> reply = {faults.wrong_speed_echo.value_or(code)};
  AppendChecksum(reply);
  if (changes) ++counters.speed_changes;
  speed = new_speed;
  // The echo goes out at the new speed.
  Reply(link, std::move(reply), code, changes ? kSpeedSwitchUs : timing.other_us, new_speed);
}

}  // namespace corvel::sim
