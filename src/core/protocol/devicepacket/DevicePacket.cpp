#include "core/protocol/devicepacket/DevicePacket.h"

#include <algorithm>
#include <chrono>
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

bool DevicePacket::Send(SerialPort& port, uint8_t sub_address) const {
  return sub_address == 0 ? SendDirect(port, *this) : SendSubPacket(port, *this, sub_address);
}

bool DevicePacket::Receive(SerialPort& port, uint8_t sub_address) {
  return sub_address == 0 ? ReceiveDirect(port, *this) : ReceiveSubPacket(port, *this, sub_address);
}

bool SendDirect(SerialPort& port, const DevicePacket& packet) {
  const std::vector<uint8_t> frame = packet.Encode();
  // A write error is not reported here: the missing answer shows it.
  port.Write(frame.data(), static_cast<uint32_t>(frame.size()));
  return true;
}

bool ReceiveDirect(SerialPort& port, DevicePacket& packet) {
  uint8_t frame[kMaxFrameLength];
  uint32_t received = 0;
  port.Read(frame, kHeaderLength, &received);
  if (received < kHeaderLength) {
    DebugPrintf("No packet header: only %d bytes received", static_cast<int>(received));
    return false;
  }
  const uint32_t body = frame[kLengthOffset] + static_cast<uint32_t>(kChecksumLength);
  uint32_t body_received = 0;
  port.Read(frame + kHeaderLength, body, &body_received);
  const auto decoded = DevicePacket::Decode(std::span<const uint8_t>(frame, kHeaderLength + body_received));
  if (decoded.status != DevicePacket::DecodeStatus::Ok) {
    // A short body counts as a bad one; the next exchange must start clean.
    port.Purge();
    DebugPrintf("Checksum failure: %d bytes in packet body", static_cast<int>(body_received) - 2);
    return false;
  }
  packet = decoded.packet;
  return true;
}

namespace {

// Which relay exchange an answer belongs to: the delivery and the fetch word
// three of their trace lines differently.
enum class RelayExchange { Delivery, Fetch };

// Receives the master's answer to a relay packet and checks, in this order,
// that it came, is a relay packet, has room for status and address, reports
// neither a failed read nor a missing device, and names sub-device
// DestAddress. Each failure is traced and ends the exchange.
bool ReceiveRelayAnswer(SerialPort& port, DevicePacket& answer, uint8_t DestAddress, RelayExchange exchange) {
  const bool fetch = exchange == RelayExchange::Fetch;
  if (!ReceiveDirect(port, answer)) {
    DebugPrintf(fetch ? "ERROR: Did not receive reply from master" : "ERROR: Did not receive response from master");
    return false;
  }
  if (answer.PacketType() != kTypeRelay) {
    DebugPrintf(fetch ? "ERROR: Wrong reply type from master (0x%X)" : "ERROR: Reply type was 0x%X",
                answer.PacketType());
    return false;
  }
  if (answer.Length() < kRelayAnswerMinLength) {
    DebugPrintf("ERROR: Packet length of %d", answer.Length());
    return false;
  }
  const uint8_t status = answer.DataAt(kRelayStatusOffset);
  if (status == kRelayStatusReadFailed) {
    DebugPrintf("ERROR: Read failed");
    return false;
  }
  if (status == kRelayStatusNoDevice) {
    DebugPrintf("ERROR: Device does not exist");
    return false;
  }
  if (answer.DataAt(kRelayAnswerAddressOffset) != DestAddress) {
    DebugPrintf(fetch ? "ERROR: Returned sub device address of 0x%X" : "ERROR: Sub device address of 0x%X",
                answer.DataAt(kRelayAnswerAddressOffset));
    return false;
  }
  return true;
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

bool SendSubPacket(SerialPort& port, const DevicePacket& packet, uint8_t DestAddress) {
  DebugPrintf("SendSubPacket: DestAddress is 0x%X, OpType of 0x%X", DestAddress, packet.PacketType());
  if (packet.Length() > kMaxRelayedDataLength) return false;  // the relay request would not fit

  std::vector<uint8_t> data;
  data.reserve(kRelayRequestHeader + packet.Length());
  data.push_back(kRelayOperationDeliver);
  data.push_back(DestAddress);
  data.push_back(packet.PacketType());
  data.insert(data.end(), packet.Bytes().begin(), packet.Bytes().end());
  const DevicePacket relay(kMasterAddress, packet.SenderAddress(), kTypeRelay, static_cast<uint8_t>(data.size()),
                           data.data());
  SendDirect(port, relay);

  DevicePacket answer;
  if (!ReceiveRelayAnswer(port, answer, DestAddress, RelayExchange::Delivery)) return false;
  if (answer.DataAt(kRelayReportedTypeOffset) != packet.PacketType()) {
    DebugPrintf("ERROR: Reported operation type of 0x%X", answer.DataAt(kRelayReportedTypeOffset));
    return false;
  }
  return true;
}

bool ReceiveSubPacket(SerialPort& port, DevicePacket& packet, uint8_t DestAddress) {
  DebugPrintf("ReceiveSubPacket: DestAddress is 0x%X, OpType of 0x%X", DestAddress, packet.PacketType());
  const uint8_t poll_data[kRelayRequestHeader] = {kRelayOperationFetch, DestAddress, packet.PacketType()};
  const DevicePacket poll(kMasterAddress, packet.SenderAddress(), kTypeRelay, kRelayRequestHeader, poll_data);

  uint32_t wait_ms = kRelayFirstWaitMs;
  for (int cycle = 0; cycle < kRelayPollCycles; ++cycle, wait_ms += kRelayWaitStepMs) {
    SendDirect(port, poll);
    DevicePacket answer;
    if (!ReceiveRelayAnswer(port, answer, DestAddress, RelayExchange::Fetch)) return false;
    const uint8_t status = answer.DataAt(kRelayStatusOffset);
    if (status == kRelayStatusValidData) {
      DebugPrintf("Received valid data");
      TakeRelayedAnswer(answer, packet);
      return true;
    }
    LinkSleep(wait_ms);
  }
  return false;
}

int ReadDeviceEepromBlock(SerialPort& port, uint8_t device, uint16_t address, unsigned count, uint8_t* destination) {
  count = std::min<unsigned>(count, kEepromBlockSize);
  uint8_t request_data[kEepromRequestLength] = {};
  request_data[kEepromOperationOffset] = kEepromOperationRequest;
  request_data[kEepromDeviceOffset] = device;
  request_data[kEepromAddressLowOffset] = static_cast<uint8_t>(address & 0xFF);
  request_data[kEepromAddressHighOffset] = static_cast<uint8_t>(address >> 8);
  DevicePacket request(kMasterAddress, kHostAddress, kTypeEepromRead, kEepromRequestLength, request_data);
  LinkSleep(kEepromRequestSleepMs);
  SendDirect(port, request);
  request.SetDataAt(kEepromOperationOffset, kEepromOperationPoll);

  int not_ready = 0;
  for (;;) {
    DevicePacket answer;
    if (!ReceiveDirect(port, answer)) {
      DebugPrintf("Packet not received");
      return kEepromReadFailed;
    }
    // The answer's type is not checked: the code byte decides.
    const uint8_t code = answer.DataAt(kEepromCodeOffset);
    if (code == kEepromCodeNotReady || code == kEepromCodeNotReadyAlt) {
      ++not_ready;
      if (not_ready > kEepromMaxNotReady) {
        DebugPrintf("%d attempts made to retrieve data", not_ready);
        return kEepromReadFailed;
      }
      DebugPrintf("Found device not ready on iteration %d (Code %d)", not_ready, code);
      LinkSleep(2 * static_cast<uint32_t>(not_ready) + 2);
      SendDirect(port, request);
      continue;
    }
    if (code == kEepromCodeData) {
      // A data answer too short for the bytes asked for is a failure, never
      // a block filled with whatever lay in memory.
      if (answer.Length() < kEepromDataOffset + count) {
        DebugPrintf("EEPROM answer too short: %d data bytes", answer.Length());
        return kEepromReadFailed;
      }
      std::copy_n(answer.Data() + kEepromDataOffset, count, destination);
      return kEepromReadOk;
    }
    if (code == kEepromCodeNotPresent) {
      DebugPrintf("Device indicated as not present (code %d)", code);
      return kEepromDeviceNotPresent;
    }
    DebugPrintf("Unknown command code (%d): FAIL", code);
    return kEepromReadFailed;
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
