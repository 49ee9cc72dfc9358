#include "core/tool/devicetools/PacketTester.h"

#include <cstdio>

#include "core/base/DebugLog.h"
#include "core/protocol/devicepacket/DevicePacket.h"

namespace corvel {

namespace {

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }
int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string Hex2(uint8_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "0x%.2X", value);
  return text;
}

// The edit's one number from its start; 0 when it holds none.
uint8_t ParseField(const std::string& text) {
  std::size_t position = 0;
  return ParseNextNumber(text, position).value;
}

}  // namespace

ParsedNumber ParseNextNumber(const std::string& text, std::size_t& position) {
  std::size_t at = position;
  while (at < text.size() && !IsDecimal(text[at])) ++at;
  position = at;
  if (at >= text.size()) return {};
  int base = 10;
  if (text[at] == '0' && at + 1 < text.size() && (text[at + 1] == 'x' || text[at + 1] == 'X')) {
    base = 16;
    at += 2;
    position = at;
  }
  if (at >= text.size()) return {};
  // The number may start after blanks; only its low 8 bits matter, so the
  // digits are summed modulo 256 and no length overflows.
  std::size_t digit = at;
  while (digit < text.size() && IsSpace(text[digit])) ++digit;
  unsigned value = 0;
  std::size_t digits = 0;
  for (; digit < text.size(); ++digit, ++digits) {
    const int d = HexValue(text[digit]);
    if (d < 0 || d >= base) break;
    value = (value * static_cast<unsigned>(base) + static_cast<unsigned>(d)) & 0xFFu;
  }
  if (digits == 0) return {};
  // Past the first character and every hexadecimal-looking one after it.
  ++at;
  while (at < text.size() && HexValue(text[at]) >= 0) ++at;
  position = at;
  return {static_cast<uint8_t>(value), false};
}

std::string FormatPacketBytes(const std::vector<uint8_t>& bytes, bool break_first) {
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (i % 16 == 0 && (i > 0 || break_first)) text += "\r\n";
    text += Hex2(bytes[i]) + " ";
  }
  return text;
}

ToolOutcome PacketTester::Send() {
  const uint8_t receiver = ParseField(receiver_text);
  const uint8_t sender = ParseField(sender_text);
  const uint8_t type = ParseField(type_text);
  receiver_text = Hex2(receiver);
  sender_text = Hex2(sender);
  type_text = Hex2(type);

  std::vector<uint8_t> data;
  std::size_t position = 0;
  for (;;) {
    const ParsedNumber number = ParseNextNumber(data_text, position);
    if (number.end) break;
    if (data.size() < kPacketMaxDataBytes) data.push_back(number.value);
  }
  data_text = FormatPacketBytes(data, false);

  const DevicePacket request(receiver, sender, type, static_cast<uint8_t>(data.size()), data.data());
  DevicePacket answer;
  if (!request.Send(m_env.port, 0) || !answer.Receive(m_env.port, 0)) {
    m_response = kPacketNotReceived;
    return ToolOutcome::Failed;
  }
  const std::vector<uint8_t> answer_data(answer.Bytes().begin(), answer.Bytes().end());
  const std::string answer_text = FormatPacketBytes(answer_data, true);
  char head[160];
  std::snprintf(head, sizeof head,
                "Packet Contents:\r\nReceiver Address: 0x%.2X\r\nSender Address: 0x%.2X\r\nPacket Type: 0x%.2X\r\n"
                "Packet Data: ",
                answer.ReceiverAddress(), answer.SenderAddress(), answer.PacketType());
  m_response = head + answer_text;
  return ToolOutcome::Done;
}

}  // namespace corvel
