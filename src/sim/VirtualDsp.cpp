#include "sim/VirtualDsp.h"

#include <algorithm>
#include <cstring>

namespace corvel::sim {

namespace {

using Clock = std::chrono::steady_clock;

// The loader's frame: type, address (4, LE), length (2, LE), data, check (2, BE).
constexpr std::size_t kHead = 7;
constexpr std::size_t kTail = 2;

constexpr uint8_t kRaw = 0x90;
constexpr uint8_t kRle = 0x91;
constexpr uint8_t kRead = 0x93;
constexpr uint8_t kCommit = 0x95;
constexpr uint8_t kFast = 0x97;
constexpr uint8_t kSlow = 0x98;
constexpr uint8_t kAck = 0x99;
constexpr uint8_t kNoSupport = 0x9A;
constexpr uint8_t kWait = 0x9B;
constexpr uint8_t kCompose = 0x9C;
constexpr uint8_t kStart = 0x9D;
constexpr uint8_t kMap = 0x9E;

constexpr uint8_t kBlank = 0xC0;
constexpr uint8_t kData = 0xC1;
constexpr char kWakeUp[] = "####&";
constexpr std::size_t kWakeUpLength = 5;
constexpr std::size_t kMapBytes = 320;

// A frame whose bytes stop coming for this long is abandoned.
constexpr auto kFrameGap = std::chrono::milliseconds(200);

bool IsHostType(uint8_t b) {
  switch (b) {
    case kRaw: case kRle: case kRead: case kCommit: case kFast: case kSlow: case kCompose: case kStart: case kMap:
      return true;
    default:
      return false;
  }
}

uint32_t Le32(const uint8_t* p) { return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24; }
uint16_t Le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void Put32(std::vector<uint8_t>& m, std::size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) m[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void PutText(std::vector<uint8_t>& m, std::size_t at, std::size_t room, const std::string& text) {
  std::memcpy(&m[at], text.data(), std::min(room - 1, text.size()));
}

uint32_t LineMs(std::size_t bytes, uint32_t baud) {
  return static_cast<uint32_t>((uint64_t{bytes} * 10u * 1000u + baud - 1) / baud);
}

}  // namespace

uint16_t DspFrameCheck(const uint8_t* bytes, std::size_t n) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < n; ++i) sum += bytes[i];
  return static_cast<uint16_t>(0x10000 - (sum & 0xFFFF));
}

bool DspExpandPage(const uint8_t* data, std::size_t n, std::vector<uint8_t>& out) {
  out.clear();
  if (n < 2) return false;
  const std::size_t end = n - 2;
  std::size_t i = 0;
  while (i < end) {
    if (data[i] != '\\') {
      out.push_back(data[i++]);
      continue;
    }
    if (i + 1 >= end) return false;
    if (data[i + 1] == '\\') {
      out.push_back('\\');
      i += 2;
    } else if (data[i + 1] == '#') {
      if (i + 6 > end) return false;
      const std::size_t len = Le16(data + i + 2);
      const std::size_t count = Le16(data + i + 4);
      if (len == 0 || i + 6 + len > end || out.size() + len * count > 0x40000) return false;
      for (std::size_t k = 0; k < count; ++k) out.insert(out.end(), data + i + 6, data + i + 6 + len);
      i += 6 + len;
    } else {
      return false;
    }
  }
  unsigned sum = 0;
  for (uint8_t b : out) sum += b;
  const uint16_t trailer = Le16(data + end);
  return static_cast<uint16_t>(sum + trailer) == 0;
}

VirtualDsp::Map VirtualDsp::DefaultMap() {
  Map m;
  m.sections = {
      {"Firmware", "ldr", 0x020000, 0xC0000, 1, 0, 0},
      {"LUT", "lut", 0x0E0000, 0x20000, 0, 0, 0},
      {"Calibration", "cal", 0x100000, 0x20000, 0, 1, 0},
      {"FPGA Config", "bit", 0x140000, 0x60000, 0, 0, 0},
      {"FPGA Config 2", "rbt", 0x1A0000, 0x60000, 0, 0, 1},
  };
  return m;
}

VirtualDsp::VirtualDsp() : map(DefaultMap()), flash(kFlashSize, 0xFF) {}

uint32_t VirtualDsp::PageSize() const { return std::min<uint32_t>(map.block_size, 16384); }

bool VirtualDsp::ListensAt(uint32_t baud) const {
  return !faults.silent && baud == speed && baud != faults.deaf_at;
}

void VirtualDsp::Reply(DeviceLink& link, uint8_t type, uint32_t address, const std::vector<uint8_t>& data,
                       uint32_t delay_ms, uint32_t baud) {
  std::vector<uint8_t> frame(kHead + data.size() + kTail);
  frame[0] = type;
  Put32(frame, 1, address);
  frame[5] = static_cast<uint8_t>(data.size());
  frame[6] = static_cast<uint8_t>(data.size() >> 8);
  std::copy(data.begin(), data.end(), frame.begin() + kHead);
  uint16_t check = DspFrameCheck(frame.data(), kHead + data.size());
  if (faults.corrupt_replies > 0) {
    --faults.corrupt_replies;
    check ^= 0x0101;
  }
  frame[kHead + data.size()] = static_cast<uint8_t>(check >> 8);
  frame[kHead + data.size() + 1] = static_cast<uint8_t>(check);
  link.Send(std::move(frame), baud ? baud : speed, delay_ms);
}

std::vector<uint8_t> VirtualDsp::MapReply() const {
  std::vector<uint8_t> m(kMapBytes, 0);
  Put32(m, 0, map.board_id);
  Put32(m, 4, map.loader_version);
  PutText(m, 8, 56, map.board_name);
  Put32(m, 64, map.block_size);
  Put32(m, 68, map.min_address);
  Put32(m, 72, map.max_address);
  Put32(m, 76, map.claimed_sections.value_or(static_cast<uint32_t>(map.sections.size())));
  for (std::size_t k = 0; k < map.sections.size() && k < 5; ++k) {
    const Section& s = map.sections[k];
    const std::size_t r = 80 + 48 * k;
    Put32(m, r, s.start);
    Put32(m, r + 4, s.size);
    PutText(m, r + 8, 4, s.extension);
    Put32(m, r + 12, s.requires_checksum);
    Put32(m, r + 16, s.requires_duplicate);
    PutText(m, r + 20, 24, s.name);
    Put32(m, r + 44, s.special_flags);
  }
  if (map.reply_length) m.resize(*map.reply_length, 0);
  return m;
}

void VirtualDsp::OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) {
  const auto now = Clock::now();
  if (!m_rx.empty() && now - m_last_byte > kFrameGap) m_rx.clear();
  m_last_byte = now;
  m_rx.insert(m_rx.end(), data, data + size);
  for (;;) {
    if (m_rx.empty()) return;
    const uint8_t first = m_rx[0];
    if (first == '#') {
      const std::size_t have = std::min(m_rx.size(), kWakeUpLength);
      if (!std::equal(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(have), kWakeUp)) {
        ++counters.garbage_bytes;
        m_rx.erase(m_rx.begin());
        continue;
      }
      if (have < kWakeUpLength) return;
      m_rx.erase(m_rx.begin(), m_rx.begin() + kWakeUpLength);
      ++counters.wake_ups;
      if (!running && !faults.ignore_wake_up) Reply(link, kAck, 0, {}, 0);
      continue;
    }
    if (!IsHostType(first)) {
      ++counters.garbage_bytes;
      m_rx.erase(m_rx.begin());
      continue;
    }
    if (m_rx.size() < kHead) return;
    const std::size_t length = kHead + Le16(&m_rx[5]) + kTail;
    if (m_rx.size() < length) return;
    std::vector<uint8_t> frame(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(length));
    m_rx.erase(m_rx.begin(), m_rx.begin() + static_cast<std::ptrdiff_t>(length));
    const std::size_t n = length - kTail;
    const uint16_t check = static_cast<uint16_t>(frame[n] << 8 | frame[n + 1]);
    if (DspFrameCheck(frame.data(), n) != check) {
      ++counters.bad_frames;
      continue;
    }
    if (!running) HandleFrame(frame, baud, link);
  }
}

void VirtualDsp::HandleFrame(const std::vector<uint8_t>& frame, uint32_t baud, DeviceLink& link) {
  const uint8_t type = frame[0];
  const uint32_t address = Le32(&frame[1]);
  const uint8_t* data = frame.data() + kHead;
  const std::size_t n = frame.size() - kHead - kTail;
  const uint32_t delay = timing.wait_for_request ? LineMs(frame.size(), baud) : 0;
  if (m_noise_due) {
    m_noise_due = false;
    link.Send({0x13, 0x99, 0x00, 0xFF, 0x42}, speed, delay);
    return;
  }
  switch (type) {
    case kMap:
      ++counters.map_requests;
      if (faults.no_map) {
        Reply(link, kNoSupport, 0, {}, delay);
      } else {
        Reply(link, kMap, 0, MapReply(), delay);
      }
      return;
    case kFast:
    case kSlow: {
      if (type == kFast && faults.ignore_speed_up) return;
      // The acknowledge goes out at the old rate; then the loader moves.
      Reply(link, kAck, 0, {type}, delay, speed);
      const uint32_t next = type == kFast ? kHighBaud : kLowBaud;
      if (next != speed) {
        ++counters.speed_changes;
        m_noise_due = faults.garbage_after_switch;
        faults.garbage_after_switch = false;
      }
      speed = next;
      return;
    }
    case kRaw:
    case kRle:
      HandlePage(type, address, data, n, baud, link);
      return;
    case kCommit:
      HandleCommit(address, data, n, link, delay);
      return;
    case kRead: {
      ++counters.reads;
      const uint32_t page = PageSize();
      if (page == 0 || address % page != 0 || uint64_t{address} + page > flash.size()) {
        Reply(link, kNoSupport, address, {}, delay);
        return;
      }
      const auto begin = flash.begin() + address;
      const bool blank = std::all_of(begin, begin + page, [](uint8_t b) { return b == 0xFF; });
      std::vector<uint8_t> reply;
      if (blank && faults.short_read_replies == 0) {
        reply = {kBlank};
      } else {
        reply.push_back(kData);
        reply.insert(reply.end(), begin, begin + page);
        if (faults.short_read_replies > 0) {
          --faults.short_read_replies;
          reply.pop_back();
        }
      }
      Reply(link, kRead, address, reply, delay);
      return;
    }
    case kCompose: {
      ++counters.composes;
      // The checksum of the first section that asks for one, as it now stands in flash.
      for (const Section& s : map.sections) {
        if (s.requires_checksum == 0 || uint64_t{s.start} + s.size > flash.size()) continue;
        uint32_t sum = 0;
        for (uint32_t i = 0; i < s.size; ++i) sum += flash[s.start + i];
        composed_checksum = 0u - sum;
        break;
      }
      const uint32_t wait = timing.compose_wait_ms;
      Reply(link, kWait, 0, {0, static_cast<uint8_t>(wait), static_cast<uint8_t>(wait >> 8)}, delay);
      Reply(link, kAck, 0, {kCompose}, delay + wait);
      return;
    }
    case kStart:
      ++counters.starts;
      Reply(link, kAck, 0, {kStart}, delay);
      running = true;
      return;
    default:
      return;
  }
}

void VirtualDsp::HandlePage(uint8_t type, uint32_t address, const uint8_t* data, std::size_t n, uint32_t baud,
                            DeviceLink& link) {
  const uint32_t page = PageSize();
  const uint32_t block = map.block_size;
  if (speed == kHighBaud && faults.high_speed_dies_after_pages >= 0 &&
      counters.high_speed_pages++ >= faults.high_speed_dies_after_pages) {
    // The fast link is gone: the loader is back at 19200 and heard nothing.
    faults.high_speed_dies_after_pages = -1;
    speed = kLowBaud;
    return;
  }
  std::vector<uint8_t> bytes;
  if (type == kRaw) {
    bytes.assign(data, data + n);
    ++counters.raw_pages;
  } else {
    if (!DspExpandPage(data, n, bytes)) bytes.clear();
    ++counters.rle_pages;
  }
  if (page == 0 || bytes.size() != page || address % page != 0) {
    ++counters.bad_pages;
    return;
  }
  if (block_buffer.size() != block) block_buffer.assign(block, 0xFF);
  std::copy(bytes.begin(), bytes.end(), block_buffer.begin() + address % block);
  counters.page_addresses.push_back(address);
  const uint32_t delay = timing.wait_for_request ? LineMs(kHead + n + kTail, baud) : 0;
  Reply(link, kAck, address, {type}, delay);
}

void VirtualDsp::HandleCommit(uint32_t address, const uint8_t* data, std::size_t n, DeviceLink& link, uint32_t delay) {
  const uint32_t block = map.block_size;
  if (faults.ack_commit_at_once > 0) {
    --faults.ack_commit_at_once;
    Reply(link, kAck, address, {kCommit}, delay);
    return;
  }
  if (block_buffer.size() != block) block_buffer.assign(block, 0xFF);
  uint32_t sum = 0;
  for (uint8_t b : block_buffer) sum += b;
  const bool checksum_holds = n == 4 && Le32(data) == 0u - sum;
  const bool in_flash = block != 0 && address % block == 0 && uint64_t{address} + block <= flash.size();
  const uint32_t wait = timing.commit_wait_ms;
  const std::vector<uint8_t> wait_data = {0, static_cast<uint8_t>(wait), static_cast<uint8_t>(wait >> 8)};
  Reply(link, kWait, 0, wait_data, delay);
  Reply(link, kWait, 0, wait_data, delay);
  if (!checksum_holds || !in_flash) {
    ++counters.bad_commits;
    Reply(link, kNoSupport, address, {}, delay + timing.commit_work_ms);
    return;
  }
  std::copy(block_buffer.begin(), block_buffer.end(), flash.begin() + address);
  counters.commits.push_back(address);
  Reply(link, kAck, address, {kCommit}, delay + timing.commit_work_ms);
}

}  // namespace corvel::sim
