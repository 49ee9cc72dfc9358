#include "core/protocol/devicepacket/DevicePacket.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <thread>

#include "core/base/DebugLog.h"
#include "core/transport/SerialPort.h"

namespace corvel {

using namespace devicepacket;

DevicePacket::DevicePacket(uint8_t receiver, uint8_t sender, uint8_t type, uint8_t length, const uint8_t* data) {
  Fill(receiver, sender, type, length, data);
}

void DevicePacket::Fill(uint8_t receiver, uint8_t sender, uint8_t type, uint8_t length, const uint8_t* data) {
  m_receiver = receiver;
  m_sender = sender;
  m_type = type;
  if (data == nullptr) length = 0;
  m_data.assign(data, data + length);
}

std::vector<uint8_t> DevicePacket::Encode() const {
  std::vector<uint8_t> frame(m_data.size() + kFrameOverhead);
  frame[kReceiverOffset] = m_receiver;
  frame[kSenderOffset] = m_sender;
  frame[kTypeOffset] = m_type;
  frame[kLengthOffset] = Length();
  std::copy(m_data.begin(), m_data.end(), frame.begin() + kDataOffset);
  AppendChecksum16(frame.data(), kHeaderLength + m_data.size());
  return frame;
}

DevicePacket::Decoded DevicePacket::Decode(std::span<const uint8_t> bytes) {
  Decoded result;
  if (bytes.size() < kHeaderLength) return result;
  const std::size_t length = bytes[kLengthOffset];
  const std::size_t frame_length = length + kFrameOverhead;
  if (bytes.size() < frame_length) return result;
  result.consumed = frame_length;
  if (!CheckChecksum16(bytes.data(), kHeaderLength + length)) {
    result.status = DecodeStatus::BadChecksum;
    return result;
  }
  result.status = DecodeStatus::Ok;
  result.packet.Fill(bytes[kReceiverOffset], bytes[kSenderOffset], bytes[kTypeOffset], static_cast<uint8_t>(length),
                     bytes.data() + kDataOffset);
  return result;
}

LinkStatus DevicePacket::Send(SerialPort& port, uint8_t sub_address) const {
  return sub_address == 0 ? SendDirect(port, *this) : SendSubPacket(port, *this, sub_address);
}

LinkStatus DevicePacket::Receive(SerialPort& port, uint8_t sub_address) {
  return sub_address == 0 ? ReceiveDirect(port, *this) : ReceiveSubPacket(port, *this, sub_address);
}

LinkStatus SendDirect(SerialPort& port, const DevicePacket& packet) {
  const std::vector<uint8_t> frame = packet.Encode();
  const auto length = static_cast<uint32_t>(frame.size());
  uint32_t written = 0;
  if (!port.Write(frame.data(), length, &written)) {
    // No answer can come to a packet that never left.
    DebugPrintf("Packet write failed: %u of %u bytes written", written, length);
    return LinkFail(LinkErrorKind::PortFailure, packet.PacketType(), length, written);
  }
  return {};
}

LinkStatus ReceiveDirect(SerialPort& port, DevicePacket& packet) {
  uint8_t frame[kMaxFrameLength];
  uint32_t received = 0;
  port.Read(frame, kHeaderLength, &received);
  if (received < kHeaderLength) {
    DebugPrintf("No packet header: only %d bytes received", static_cast<int>(received));
    return LinkFail(received == 0 ? LinkErrorKind::Timeout : LinkErrorKind::ShortReply, 0, kHeaderLength, received);
  }
  const uint32_t body = frame[kLengthOffset] + static_cast<uint32_t>(kChecksumLength);
  uint32_t body_received = 0;
  port.Read(frame + kHeaderLength, body, &body_received);
  const auto decoded = DevicePacket::Decode(std::span<const uint8_t>(frame, kHeaderLength + body_received));
  if (decoded.status != DevicePacket::DecodeStatus::Ok) {
    // A short body counts as a bad one; the next exchange must start clean.
    port.Purge();
    DebugPrintf("Checksum failure: %d bytes in packet body", static_cast<int>(body_received) - 2);
    const bool whole = decoded.status == DevicePacket::DecodeStatus::BadChecksum;
    return LinkFail(whole ? LinkErrorKind::BadChecksum : LinkErrorKind::ShortReply, frame[kTypeOffset],
                    kHeaderLength + body, kHeaderLength + body_received);
  }
  packet = decoded.packet;
  return {};
}

namespace {

// Which relay exchange an answer belongs to: the delivery and the fetch word
// three of their trace lines differently.
enum class RelayExchange { Delivery, Fetch };

// The six ways a relay answer fails, each with its link error kind.
enum class RelayCheck { Received, Type, Length, ReadFailed, NoDevice, Address };

struct RelayFailure {
  RelayCheck check;
  LinkErrorKind kind;
  uint32_t value = 0;  // the type, length or address that was wrong
};

// The one trace line of a relay answer's failure, worded as the exchange
// words it.
void TraceRelayFailure(RelayExchange exchange, const RelayFailure& failure) {
  const bool fetch = exchange == RelayExchange::Fetch;
  switch (failure.check) {
    case RelayCheck::Received:
      if (fetch) {
        DebugPrintf("ERROR: Did not receive reply from master");
      } else {
        DebugPrintf("ERROR: Did not receive response from master");
      }
      break;
    case RelayCheck::Type:
      if (fetch) {
        DebugPrintf("ERROR: Wrong reply type from master (0x%X)", failure.value);
      } else {
        DebugPrintf("ERROR: Reply type was 0x%X", failure.value);
      }
      break;
    case RelayCheck::Length: DebugPrintf("ERROR: Packet length of %d", static_cast<int>(failure.value)); break;
    case RelayCheck::ReadFailed: DebugPrintf("ERROR: Read failed"); break;
    case RelayCheck::NoDevice: DebugPrintf("ERROR: Device does not exist"); break;
    case RelayCheck::Address:
      if (fetch) {
        DebugPrintf("ERROR: Returned sub device address of 0x%X", failure.value);
      } else {
        DebugPrintf("ERROR: Sub device address of 0x%X", failure.value);
      }
      break;
  }
}

// Checks, in this order, that a received answer is a relay packet, has room
// for status and address, reports neither a failed read nor a missing
// device, and names sub-device DestAddress.
std::optional<RelayFailure> CheckRelayAnswer(const DevicePacket& answer, uint8_t DestAddress) {
  if (answer.PacketType() != kTypeRelay) {
    return RelayFailure{RelayCheck::Type, LinkErrorKind::WrongType, answer.PacketType()};
  }
  if (answer.Length() < kRelayAnswerMinLength) {
    return RelayFailure{RelayCheck::Length, LinkErrorKind::ShortReply, answer.Length()};
  }
  const uint8_t status = answer.DataAt(kRelayStatusOffset);
  if (status == kRelayStatusReadFailed) return RelayFailure{RelayCheck::ReadFailed, LinkErrorKind::Refused, status};
  if (status == kRelayStatusNoDevice) return RelayFailure{RelayCheck::NoDevice, LinkErrorKind::NoDevice, status};
  if (answer.DataAt(kRelayAnswerAddressOffset) != DestAddress) {
    return RelayFailure{RelayCheck::Address, LinkErrorKind::WrongType, answer.DataAt(kRelayAnswerAddressOffset)};
  }
  return std::nullopt;
}

// Receives the master's answer to a relay packet and checks it. Each
// failure is traced once and ends the exchange.
LinkStatus ReceiveRelayAnswer(SerialPort& port, DevicePacket& answer, uint8_t DestAddress, RelayExchange exchange) {
  if (LinkStatus received = ReceiveDirect(port, answer); !received) {
    TraceRelayFailure(exchange, {RelayCheck::Received, received.error().kind});
    return received;
  }
  const auto failure = CheckRelayAnswer(answer, DestAddress);
  if (!failure) return {};
  TraceRelayFailure(exchange, *failure);
  return LinkFail(failure->kind, DestAddress, 0, failure->value);
}

// Fills `packet` with the relayed answer a status-5 fetch answer carries. The
// length byte is believed only as far as the answer really has bytes.
void TakeRelayedAnswer(const DevicePacket& answer, DevicePacket& packet) {
  const std::size_t carried =
      answer.Length() > kRelayAnswerDataOffset ? answer.Length() - kRelayAnswerDataOffset : 0;
  const std::size_t announced = answer.DataAt(kRelayAnswerLengthOffset);
  const std::size_t length = std::min(announced, carried);
  if (length < announced) {
    DebugPrintf("Relayed answer announces %d data bytes but carries %d", static_cast<int>(announced),
                static_cast<int>(carried));
  }
  packet.Fill(kHostAddress, answer.DataAt(kRelayAnswerAddressOffset), answer.DataAt(kRelayAnswerTypeOffset),
              static_cast<uint8_t>(length), length ? answer.Data() + kRelayAnswerDataOffset : nullptr);
}

}  // namespace

LinkStatus SendSubPacket(SerialPort& port, const DevicePacket& packet, uint8_t DestAddress) {
  DebugPrintf("SendSubPacket: DestAddress is 0x%X, OpType of 0x%X", DestAddress, packet.PacketType());
  if (packet.Length() > kMaxRelayedDataLength) {
    // The relay request would not fit one packet.
    return LinkFail(LinkErrorKind::PortFailure, packet.PacketType(), kMaxRelayedDataLength, packet.Length());
  }

  std::vector<uint8_t> data;
  data.reserve(kRelayRequestHeader + packet.Length());
  data.push_back(kRelayOperationDeliver);
  data.push_back(DestAddress);
  data.push_back(packet.PacketType());
  data.insert(data.end(), packet.Bytes().begin(), packet.Bytes().end());
  const DevicePacket relay(kMasterAddress, packet.SenderAddress(), kTypeRelay, static_cast<uint8_t>(data.size()),
                           data.data());
  if (LinkStatus sent = SendDirect(port, relay); !sent) return sent;

  DevicePacket answer;
  if (LinkStatus answered = ReceiveRelayAnswer(port, answer, DestAddress, RelayExchange::Delivery); !answered) {
    return answered;
  }
  if (answer.DataAt(kRelayReportedTypeOffset) != packet.PacketType()) {
    DebugPrintf("ERROR: Reported operation type of 0x%X", answer.DataAt(kRelayReportedTypeOffset));
    return LinkFail(LinkErrorKind::WrongType, DestAddress, packet.PacketType(), answer.DataAt(kRelayReportedTypeOffset));
  }
  return {};
}

LinkStatus ReceiveSubPacket(SerialPort& port, DevicePacket& packet, uint8_t DestAddress) {
  DebugPrintf("ReceiveSubPacket: DestAddress is 0x%X, OpType of 0x%X", DestAddress, packet.PacketType());
  const uint8_t poll_data[kRelayRequestHeader] = {kRelayOperationFetch, DestAddress, packet.PacketType()};
  const DevicePacket poll(kMasterAddress, packet.SenderAddress(), kTypeRelay, kRelayRequestHeader, poll_data);

  uint32_t wait_ms = kRelayFirstWaitMs;
  for (int cycle = 0; cycle < kRelayPollCycles; ++cycle, wait_ms += kRelayWaitStepMs) {
    if (LinkStatus sent = SendDirect(port, poll); !sent) return sent;
    DevicePacket answer;
    if (LinkStatus answered = ReceiveRelayAnswer(port, answer, DestAddress, RelayExchange::Fetch); !answered) {
      return answered;
    }
    const uint8_t status = answer.DataAt(kRelayStatusOffset);
    if (status == kRelayStatusValidData) {
      DebugPrintf("Received valid data");
      TakeRelayedAnswer(answer, packet);
      return {};
    }
    LinkSleep(wait_ms);
  }
  return LinkFail(LinkErrorKind::Timeout, DestAddress, kRelayPollCycles, kRelayPollCycles);
}

LinkStatus ReadDeviceEepromBlock(SerialPort& port, uint8_t device, uint16_t address, unsigned count,
                                 uint8_t* destination) {
  count = std::min<unsigned>(count, kEepromBlockSize);
  uint8_t request_data[kEepromRequestLength] = {};
  request_data[kEepromOperationOffset] = kEepromOperationRequest;
  request_data[kEepromDeviceOffset] = device;
  request_data[kEepromAddressLowOffset] = static_cast<uint8_t>(address & 0xFF);
  request_data[kEepromAddressHighOffset] = static_cast<uint8_t>(address >> 8);
  DevicePacket request(kMasterAddress, kHostAddress, kTypeEepromRead, kEepromRequestLength, request_data);
  LinkSleep(kEepromRequestSleepMs);
  if (LinkStatus sent = SendDirect(port, request); !sent) return sent;
  request.SetDataAt(kEepromOperationOffset, kEepromOperationPoll);

  int not_ready = 0;
  for (;;) {
    DevicePacket answer;
    if (LinkStatus received = ReceiveDirect(port, answer); !received) {
      DebugPrintf("Packet not received");
      return received;
    }
    // The answer's type is not checked: the code byte decides.
    const uint8_t code = answer.DataAt(kEepromCodeOffset);
    if (code == kEepromCodeNotReady || code == kEepromCodeNotReadyAlt) {
      ++not_ready;
      if (not_ready > kEepromMaxNotReady) {
        DebugPrintf("%d attempts made to retrieve data", not_ready);
        return LinkFail(LinkErrorKind::Timeout, address, kEepromMaxNotReady, static_cast<uint32_t>(not_ready));
      }
      DebugPrintf("Found device not ready on iteration %d (Code %d)", not_ready, code);
      LinkSleep(2 * static_cast<uint32_t>(not_ready) + 2);
      if (LinkStatus sent = SendDirect(port, request); !sent) return sent;
      continue;
    }
    if (code == kEepromCodeData) {
      // A data answer too short for the bytes asked for is a failure, never
      // a block filled with whatever lay in memory.
      if (answer.Length() < kEepromDataOffset + count) {
        DebugPrintf("EEPROM answer too short: %d data bytes", answer.Length());
        return LinkFail(LinkErrorKind::ShortReply, address, static_cast<uint32_t>(kEepromDataOffset + count),
                        answer.Length());
      }
      std::copy_n(answer.Data() + kEepromDataOffset, count, destination);
      return {};
    }
    if (code == kEepromCodeNotPresent) {
      DebugPrintf("Device indicated as not present (code %d)", code);
      return LinkFail(LinkErrorKind::NoDevice, address, 0, code);
    }
    DebugPrintf("Unknown command code (%d): FAIL", code);
    return LinkFail(LinkErrorKind::WrongType, address, 0, code);
  }
}

namespace {
LinkSleepObserver& SleepObserver() {
  static LinkSleepObserver observer;
  return observer;
}
}  // namespace

void SetLinkSleepObserver(LinkSleepObserver observer) { SleepObserver() = std::move(observer); }

void LinkSleep(uint32_t ms) {
  if (SleepObserver()) SleepObserver()(ms);
  std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

}  // namespace corvel
