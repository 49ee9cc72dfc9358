#include "sim/VirtualPpc.h"

namespace corvel::sim {

namespace {

// The loader's packets: a marker byte, a type, and per type the big-endian
// fields that follow. In a payload a doubled marker is one data byte.
constexpr uint8_t kMarker = 0xFE;
constexpr uint8_t kQuery = 0x00;
constexpr uint8_t kData = 0x01;
constexpr uint8_t kStart = 0x02;
constexpr std::size_t kDataFields = 8;   // address, count
constexpr std::size_t kStartFields = 4;  // address

uint32_t Be32(const uint8_t* p) {
  return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | uint32_t{p[3]};
}

void PutBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int i = 3; i >= 0; --i) out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

}  // namespace

bool VirtualPpc::Silent() const {
  return faults.silent || (faults.silent_after_sections >= 0 && sections_completed >= faults.silent_after_sections);
}

void VirtualPpc::OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) {
  if (baud != kBaud) return;
  for (std::size_t i = 0; i < size; ++i) Byte(data[i], link);
}

void VirtualPpc::Byte(uint8_t b, DeviceLink& link) {
  switch (m_state) {
    case State::Idle:
      if (b == kMarker) {
        m_state = State::Marker;
      } else {
        ++stray_bytes;
      }
      return;
    case State::Payload:
      if (b == kMarker) {
        m_state = State::PayloadMarker;
      } else {
        PayloadByte(b);
      }
      return;
    case State::PayloadMarker:
      if (b == kMarker) {
        packets[m_packet].wire_bytes += 1;  // the escape
        m_state = State::Payload;
        PayloadByte(b);
      } else {
        // A lone marker: the host has given up on this payload and starts a
        // new packet.
        PacketStarts(b, link);
      }
      return;
    case State::Marker: PacketStarts(b, link); return;
    case State::Header:
      m_header.push_back(b);
      if (m_header.size() == m_header_length) HeaderComplete();
      return;
  }
}

void VirtualPpc::PacketStarts(uint8_t type, DeviceLink& link) {
  // A payload still owed stays owed across a status query: the host asks
  // before it sends the payload, and may ask half-way.
  const bool payload_owed = m_status.count != 0 && !packets.empty() && packets[m_packet].type == kData;
  m_type = type;
  m_header.clear();
  switch (type) {
    case kQuery:
      ++status_queries;
      packets.push_back({kQuery, 0, 0, {}, 0});
      AnswerStatus(link);
      m_state = payload_owed ? State::Payload : State::Idle;
      return;
    case kData: m_header_length = kDataFields; break;
    case kStart: m_header_length = kStartFields; break;
    default:
      ++stray_bytes;
      m_state = State::Idle;
      return;
  }
  m_state = State::Header;
}

void VirtualPpc::HeaderComplete() {
  const uint32_t address = Be32(m_header.data());
  if (m_type == kStart) {
    packets.push_back({kStart, address, 0, {}, 0});
    starts.push_back(address);
    m_state = State::Idle;
    return;
  }
  const uint32_t count = Be32(m_header.data() + 4);
  packets.push_back({kData, address, count, {}, 0});
  m_packet = packets.size() - 1;
  m_received = 0;
  m_sum = 0;
  m_status = {address, count, 0};
  if (faults.refuse_always.count(address) != 0 || faults.refuse_once.erase(address) != 0) {
    m_status.checksum = kRefusalChecksum;
  }
  m_state = count == 0 ? State::Idle : State::Payload;
}

void VirtualPpc::PayloadByte(uint8_t b) {
  Packet& packet = packets[m_packet];
  packet.wire_bytes += 1;
  const uint32_t address = packet.address + m_received;
  if (faults.drop_byte_once == address) {
    faults.drop_byte_once.reset();
    return;
  }
  if (faults.corrupt_byte_once == address) {
    faults.corrupt_byte_once.reset();
    b ^= 0x01;
  }
  packet.payload.push_back(b);
  auto [page, created] = m_pages.try_emplace(address / kPageSize);
  if (created) page->second.fill(0xFF);
  page->second[address % kPageSize] = b;
  ++m_received;
  m_sum += b;
  m_status = {packet.address + m_received, packet.count - m_received, m_sum};
  if (m_status.count == 0) {
    ++sections_completed;
    m_state = State::Idle;
  }
}

void VirtualPpc::AnswerStatus(DeviceLink& link) {
  if (Silent()) return;
  std::vector<uint8_t> reply;
  PutBe32(reply, m_status.address);
  PutBe32(reply, m_status.count);
  PutBe32(reply, m_status.checksum);
  link.Send(std::move(reply));
}

std::vector<uint8_t> VirtualPpc::Memory(uint32_t address, std::size_t length) const {
  std::vector<uint8_t> out(length, 0xFF);
  for (std::size_t i = 0; i < length; ++i) {
    const uint32_t at = address + static_cast<uint32_t>(i);
    const auto page = m_pages.find(at / kPageSize);
    if (page != m_pages.end()) out[i] = page->second[at % kPageSize];
  }
  return out;
}

}  // namespace corvel::sim
