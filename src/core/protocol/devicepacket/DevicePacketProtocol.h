#pragma once
// The device packet protocol of the transmitter boards.
//
// Every packet on the line, host to board and board to host:
//
//   offset  0          1        2      3         4 .. 3+N   4+N     5+N
//         +----------+--------+------+---------+----------+-------+-------+
//         | receiver | sender | type | length N|  data    | sum hi| sum lo|
//         +----------+--------+------+---------+----------+-------+-------+
//
//   N + 6 bytes in all. The checksum is the two's complement of the 16-bit sum
//   of the N + 4 bytes before it, high byte first; a frame is good when all of
//   its bytes, the high checksum byte weighted by 256, sum to 0 mod 65536.
//
// The board on the cable (the master) has address 0, the host address 1.
// Boards behind the master (sub-devices) are reached through the relay: the
// host wraps its packet in a type-0xFF packet to the master and polls the
// master for the sub-device's answer.
//
//   relay request data (host -> master, type 0xFF)
//     [0] operation: 1 deliver, 2 fetch the answer
//     [1] sub-device address
//     [2] the relayed packet's type
//     [3..] the relayed packet's data (deliver only)
//
//   relay answer data (master -> host, type 0xFF)
//     [0] status (5 valid data, 6 read failed, 7 no such device, else not yet)
//     [1] sub-device address
//     [2] after a delivery: the operation type the master took
//     [3] after a fetch with status 5: the relayed answer's type
//     [4]                               its length L
//     [5..5+L-1]                        its data
//
//   EEPROM read (type 0x8C, host 1 -> master 0, 4 data bytes)
//     [0] 1 the request, 2 every poll after it
//     [1] device address
//     [2] EEPROM address low byte   [3] EEPROM address high byte
//   its answer data
//     [0] code (3, 4 not ready; 5 data follows; 7 device not present)
//     [1..3] not used
//     [4..11] up to 8 EEPROM bytes
#include <cstddef>
#include <cstdint>

namespace corvel::devicepacket {

// Frame layout.
inline constexpr std::size_t kReceiverOffset = 0;
inline constexpr std::size_t kSenderOffset = 1;
inline constexpr std::size_t kTypeOffset = 2;
inline constexpr std::size_t kLengthOffset = 3;
inline constexpr std::size_t kDataOffset = 4;
inline constexpr std::size_t kHeaderLength = 4;
inline constexpr std::size_t kChecksumLength = 2;
inline constexpr std::size_t kFrameOverhead = kHeaderLength + kChecksumLength;
inline constexpr std::size_t kMaxDataLength = 255;
inline constexpr std::size_t kMaxFrameLength = kMaxDataLength + kFrameOverhead;

// Addresses.
inline constexpr uint8_t kMasterAddress = 0;
inline constexpr uint8_t kHostAddress = 1;

// Packet types this layer relies on; the tools own the others.
inline constexpr uint8_t kTypeRelay = 0xFF;
inline constexpr uint8_t kTypeEepromRead = 0x8C;
inline constexpr uint8_t kTypeEnterBootLoader = 0x7E;
inline constexpr uint8_t kTypeEnterBootLoaderReply = 0x7F;
inline constexpr uint8_t kTypeCalibrationRead = 0x80;
inline constexpr uint8_t kTypeCalibrationWrite = 0x81;
inline constexpr uint8_t kTypeModemSettingsRead = 0x8E;
inline constexpr uint8_t kTypeModemSettingsWrite = 0x8F;

// Relay request.
inline constexpr uint8_t kRelayOperationDeliver = 1;
inline constexpr uint8_t kRelayOperationFetch = 2;
inline constexpr std::size_t kRelayOperationOffset = 0;
inline constexpr std::size_t kRelayAddressOffset = 1;
inline constexpr std::size_t kRelayOpTypeOffset = 2;
inline constexpr std::size_t kRelayRequestHeader = 3;  // bytes before the relayed data
// The relayed data and its 3-byte header must fit one packet.
inline constexpr std::size_t kMaxRelayedDataLength = kMaxDataLength - kRelayRequestHeader;

// Relay answer.
inline constexpr std::size_t kRelayStatusOffset = 0;
inline constexpr std::size_t kRelayAnswerAddressOffset = 1;
inline constexpr std::size_t kRelayReportedTypeOffset = 2;
inline constexpr std::size_t kRelayAnswerTypeOffset = 3;
inline constexpr std::size_t kRelayAnswerLengthOffset = 4;
inline constexpr std::size_t kRelayAnswerDataOffset = 5;
inline constexpr std::size_t kRelayAnswerMinLength = 3;
inline constexpr uint8_t kRelayStatusValidData = 5;
inline constexpr uint8_t kRelayStatusReadFailed = 6;
inline constexpr uint8_t kRelayStatusNoDevice = 7;

// Relayed fetch: 20 cycles, sleeping 10, 12, ... 48 ms after each answer
// that is not ready yet (580 ms in all).
inline constexpr int kRelayPollCycles = 20;
inline constexpr uint32_t kRelayFirstWaitMs = 10;
inline constexpr uint32_t kRelayWaitStepMs = 2;

// EEPROM read.
inline constexpr uint8_t kEepromOperationRequest = 1;
inline constexpr uint8_t kEepromOperationPoll = 2;
inline constexpr std::size_t kEepromRequestLength = 4;
inline constexpr std::size_t kEepromOperationOffset = 0;
inline constexpr std::size_t kEepromDeviceOffset = 1;
inline constexpr std::size_t kEepromAddressLowOffset = 2;
inline constexpr std::size_t kEepromAddressHighOffset = 3;
inline constexpr std::size_t kEepromCodeOffset = 0;
inline constexpr std::size_t kEepromDataOffset = 4;
inline constexpr std::size_t kEepromBlockSize = 8;
inline constexpr uint8_t kEepromCodeNotReady = 3;
inline constexpr uint8_t kEepromCodeNotReadyAlt = 4;
inline constexpr uint8_t kEepromCodeData = 5;
inline constexpr uint8_t kEepromCodeNotPresent = 7;
// Sleep before the request, and 2 * i + 2 ms after the i-th not-ready answer;
// more than 20 not-ready answers end the read.
inline constexpr uint32_t kEepromRequestSleepMs = 2;
inline constexpr int kEepromMaxNotReady = 20;

}  // namespace corvel::devicepacket
