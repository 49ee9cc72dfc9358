#pragma once
// A virtual Pyrel PowerPC kernel loader: hears only 115200 baud, takes the
// status query, data and start packets with their escaped payloads into a
// sparse 32-bit memory, and answers status queries with its own view of the
// transfer. It records every packet and can be told to misbehave. Its frame
// code is its own.
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "sim/DeviceModel.h"

namespace corvel::sim {

class VirtualPpc : public DeviceModel {
 public:
  static constexpr uint32_t kBaud = 115200;
  static constexpr uint32_t kPageSize = 4096;
  // The checksum a refused section reports before its payload.
  static constexpr uint32_t kRefusalChecksum = 0xBAD0BAD0;

  struct Faults {
    std::set<uint32_t> refuse_once;    // the first data header to this address gets a non-zero checksum
    std::set<uint32_t> refuse_always;  // every data header to this address does
    std::optional<uint32_t> drop_byte_once;     // the payload byte for this address is lost, once
    std::optional<uint32_t> corrupt_byte_once;  // the payload byte for this address arrives with bit 0 flipped, once
    bool silent = false;               // answers nothing at all
    int silent_after_sections = -1;    // goes silent once this many sections are complete; -1 never
  };

  // One packet as the loader understood it.
  struct Packet {
    uint8_t type = 0;
    uint32_t address = 0;
    uint32_t count = 0;
    std::vector<uint8_t> payload;  // the raw bytes taken (data packets)
    uint32_t wire_bytes = 0;       // payload bytes on the wire, escapes included
  };

  struct Status {
    uint32_t address = 0;
    uint32_t count = 0;
    uint32_t checksum = 0;
  };

  bool ListensAt(uint32_t baud) const override { return baud == kBaud; }
  void OnReceive(const uint8_t* data, std::size_t size, uint32_t baud, DeviceLink& link) override;

  // The memory as written; never-written bytes read 0xFF.
  std::vector<uint8_t> Memory(uint32_t address, std::size_t length) const;
  // The status the loader would report now.
  Status CurrentStatus() const { return m_status; }

  Faults faults;
  std::vector<Packet> packets;
  std::vector<uint32_t> starts;  // addresses of start packets
  int status_queries = 0;
  int sections_completed = 0;
  int stray_bytes = 0;  // bytes outside any packet or payload

 private:
  enum class State { Idle, Marker, Header, Payload, PayloadMarker };
  void Byte(uint8_t b, DeviceLink& link);
  void PacketStarts(uint8_t type, DeviceLink& link);
  void HeaderComplete();
  void PayloadByte(uint8_t b);
  void AnswerStatus(DeviceLink& link);
  bool Silent() const;

  State m_state = State::Idle;
  uint8_t m_type = 0;
  std::vector<uint8_t> m_header;
  std::size_t m_header_length = 0;
  std::size_t m_packet = 0;  // index into packets of the data packet taking payload
  uint32_t m_received = 0;
  uint32_t m_sum = 0;
  Status m_status;
  std::map<uint32_t, std::array<uint8_t, kPageSize>> m_pages;
};

}  // namespace corvel::sim
