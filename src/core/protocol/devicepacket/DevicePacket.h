#pragma once
// One packet of the device packet protocol and the link that carries it:
// direct to the master board, or relayed through it to a sub-device.
//
// The link traces to the DebugLog and reports results; it never asks the
// person anything. Packets are plain values owned by the exchange that builds
// them.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "core/base/Outcome.h"
#include "core/protocol/devicepacket/DevicePacketProtocol.h"

namespace corvel {

class SerialPort;

class DevicePacket {
 public:
  // An empty packet: every number 0, no data.
  DevicePacket() = default;
  // Copies `length` bytes from `data` (which may be null only when length is 0).
  DevicePacket(uint8_t receiver, uint8_t sender, uint8_t type, uint8_t length, const uint8_t* data);

  // Replaces every field; the old data is dropped and `length` bytes copied.
  void Fill(uint8_t receiver, uint8_t sender, uint8_t type, uint8_t length, const uint8_t* data);

  uint8_t ReceiverAddress() const { return m_receiver; }
  uint8_t SenderAddress() const { return m_sender; }
  uint8_t PacketType() const { return m_type; }
  uint8_t Length() const { return static_cast<uint8_t>(m_data.size()); }
  const uint8_t* Data() const { return m_data.data(); }
  std::span<const uint8_t> Bytes() const { return m_data; }
  // Data byte i, 0 past the end (the callers read fixed positions of answers).
  uint8_t DataAt(std::size_t i) const { return i < m_data.size() ? m_data[i] : 0; }

  void SetReceiverAddress(uint8_t receiver) { m_receiver = receiver; }
  void SetSenderAddress(uint8_t sender) { m_sender = sender; }
  // A relayed receive asks for the answer to this type.
  void SetPacketType(uint8_t type) { m_type = type; }
  // Changes one data byte in place (the EEPROM poll reuses its request).
  void SetDataAt(std::size_t i, uint8_t value) {
    if (i < m_data.size()) m_data[i] = value;
  }

  // The wire frame: header, data, checksum; Length() + 6 bytes.
  std::vector<uint8_t> Encode() const;

  enum class DecodeStatus {
    Ok,           // a good frame; `consumed` bytes used
    Incomplete,   // fewer bytes than the frame announces
    BadChecksum,  // the whole frame is there but does not sum to 0
  };
  struct Decoded;
  // Reads one frame from the start of `bytes`; nothing past the frame is read.
  static Decoded Decode(std::span<const uint8_t> bytes);

  // 0 sends the frame straight to the board on the cable; any other address
  // relays it to that sub-device (SendSubPacket).
  LinkStatus Send(SerialPort& port, uint8_t sub_address = 0) const;
  // 0 reads a frame from the line; any other address fetches the sub-device's
  // answer through the master (ReceiveSubPacket). For a relayed receive set the
  // type (the operation whose answer is wanted) and the sender first.
  LinkStatus Receive(SerialPort& port, uint8_t sub_address = 0);

  bool operator==(const DevicePacket&) const = default;

 private:
  uint8_t m_receiver = 0;
  uint8_t m_sender = 0;
  uint8_t m_type = 0;
  std::vector<uint8_t> m_data;
};

struct DevicePacket::Decoded {
  DecodeStatus status = DecodeStatus::Incomplete;
  DevicePacket packet;
  std::size_t consumed = 0;  // frame length when the header is complete, else 0
};

// Direct exchange with the board on the cable. A write the port refuses is
// a PortFailure; a receive fails as Timeout (nothing came), ShortReply (the
// frame stopped early) or BadChecksum.
LinkStatus SendDirect(SerialPort& port, const DevicePacket& packet);
LinkStatus ReceiveDirect(SerialPort& port, DevicePacket& packet);

// The relay through the master to sub-device DestAddress. Besides the direct
// failures: WrongType (an answer of another type, sub-device or operation),
// ShortReply (an answer without status and address), Refused (the master's
// read failed), NoDevice (no such sub-device), Timeout (no data after every
// poll).
LinkStatus SendSubPacket(SerialPort& port, const DevicePacket& packet, uint8_t DestAddress);
LinkStatus ReceiveSubPacket(SerialPort& port, DevicePacket& packet, uint8_t DestAddress);

// Reads up to 8 bytes of a device's EEPROM through the master into
// `destination` (count is clamped to 8). NoDevice when the device is not
// present; Timeout after too many not-ready answers; ShortReply for a data
// answer without the bytes asked for; WrongType for an unknown code.
LinkStatus ReadDeviceEepromBlock(SerialPort& port, uint8_t device, uint16_t address, unsigned count,
                                 uint8_t* destination);

// Every fixed pause of the link goes through here. A test or benchmark may
// watch the pauses; the observer is called before the link sleeps.
using LinkSleepObserver = std::function<void(uint32_t ms)>;
void SetLinkSleepObserver(LinkSleepObserver observer);
void LinkSleep(uint32_t ms);

}  // namespace corvel
