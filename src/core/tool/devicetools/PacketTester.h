#pragma once
// "Send Packet Testing": an engineer types a packet (receiver, sender, type and
// up to 255 data bytes as numbers), sends it straight to the board on the cable
// and sees the answer decoded in the response box.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "core/base/Outcome.h"
#include "core/tool/app/ToolEnv.h"

namespace corvel {

inline constexpr const char* kPacketWindowTitle = "Send Packet Testing";
inline constexpr const char* kPacketReceiverLabel = "Enter the receiver address:";
inline constexpr const char* kPacketSenderLabel = "Enter the sender address:";
inline constexpr const char* kPacketTypeLabel = "Enter the packet type:";
inline constexpr const char* kPacketDataLabel = "Enter the data to send:";
inline constexpr const char* kPacketResponseLabel = "Response:";
inline constexpr const char* kPacketSendButton = "Send";
inline constexpr const char* kPacketNotReceived = "Packet not received: Check connections";
inline constexpr int kPacketAddressEditLimit = 4;
inline constexpr std::size_t kPacketMaxDataBytes = 255;

struct ParsedNumber {
  uint8_t value = 0;
  bool end = true;  // no number left: value is 0
};

// The next number of `text` from `position`, which moves past it. Anything
// that is not a decimal digit separates numbers; "0x"/"0X" starts a
// hexadecimal one. Only the low 8 bits are kept. Engineers type what the old
// tool took, so "12ab3" reads 12 (the hex letters are skipped with it) and
// "0xg" ends the list.
ParsedNumber ParseNextNumber(const std::string& text, std::size_t& position);

// Bytes as "0x%.2X " each, a CR LF before every sixteenth byte after the first;
// with `break_first` also before byte 0.
std::string FormatPacketBytes(const std::vector<uint8_t>& bytes, bool break_first);

class PacketTester {
 public:
  explicit PacketTester(ToolEnv& env) : m_env(env) {}

  // The edits as the person typed them.
  std::string receiver_text;
  std::string sender_text;
  std::string type_text;
  std::string data_text;
  // The read-only "Response:" box.
  const std::string& Response() const { return m_response; }

  // "Send": reads the edits, rewrites them in hexadecimal, sends the packet
  // directly and shows the answer. Done when an answer came back.
  ToolOutcome Send();

 private:
  ToolEnv& m_env;
  std::string m_response;
};

}  // namespace corvel
