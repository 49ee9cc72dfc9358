#include "core/protocol/atmel/AtmelBootLoader.h"

#include "core/base/DebugLog.h"

namespace corvel {

using namespace atmel;

namespace {
// SetLinkSpeed: how often the request is repeated at the new speed while no
// 3-byte echo comes.
constexpr int kSpeedEchoRepeats = 5;
constexpr int kFallBackAttempts = 6;
constexpr int kRetryRuleAttempts = 3;
}  // namespace

template <typename Reply>
std::optional<Reply> AtmelBootLoader::Transact(const std::vector<uint8_t>& request, const char* what) {
  // A fresh buffer clears byte 0 and the status byte, so bytes left over from
  // the request can never pass as a reply.
  std::array<uint8_t, Reply::kLength> buffer{};
  m_port.Purge();
  if (!m_port.Write(request.data(), static_cast<uint32_t>(request.size()))) {
    DebugPrintf("%s: write failed", what);
    return std::nullopt;
  }
  uint32_t received = 0;
  m_port.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &received);
  // A short reply fails outright: a zero-filled buffer would otherwise pass
  // the checksum test when nothing at all came back.
  auto reply = Reply::Decode(std::span<const uint8_t>(buffer.data(), received));
  if (!reply) DebugPrintf("%s: bad reply (%u of %zu bytes)", what, received, Reply::kLength);
  return reply;
}

bool AtmelBootLoader::SendWakeUp() {
  const auto code = WakeUpCode();
  std::array<uint8_t, kWakeUpAnswer.size()> answer{};
  m_port.Purge();
  if (!m_port.Write(code.data(), static_cast<uint32_t>(code.size()))) return false;
  uint32_t received = 0;
  m_port.Read(answer.data(), static_cast<uint32_t>(answer.size()), &received);
  if (received != answer.size() || answer != kWakeUpAnswer) return false;
  connected = true;
  return true;
}

uint32_t AtmelBootLoader::QueryApplication(std::string& description) {
  auto reply = Transact<ApplicationReply>(ShortRequest{kCmdQueryApplication}.Encode(), "QueryApplication");
  if (!reply) return 0;
  connected = true;
  description = reply->description;
  return reply->version;
}

uint32_t AtmelBootLoader::QueryBootLoaderVersion() {
  auto reply = Transact<VersionReply>(ShortRequest{kCmdQueryBootLoaderVersion}.Encode(), "QueryBootLoaderVersion");
  if (!reply) return 0;
  connected = true;
  return reply->version;
}

bool AtmelBootLoader::ReadCommand(uint8_t code, uint32_t address, std::span<uint8_t, kReadLength> buffer,
                                  const char* what) {
  auto reply = Transact<DataReply>(AddressedRequest{code, address}.Encode(), what);
  if (!reply) return false;
  std::copy(reply->data.begin(), reply->data.end(), buffer.begin());
  return true;
}

bool AtmelBootLoader::ReadFlash(uint32_t address, std::span<uint8_t, kReadLength> buffer) {
  return ReadCommand(kCmdReadFlash, address, buffer, "ReadFlash");
}

bool AtmelBootLoader::ReadEeprom(uint32_t address, std::span<uint8_t, kReadLength> buffer) {
  return ReadCommand(kCmdReadEeprom, address, buffer, "ReadEeprom");
}

bool AtmelBootLoader::StatusCommand(const std::vector<uint8_t>& request, const char* what, uint32_t address) {
  auto reply = Transact<StatusReply>(request, what);
  if (!reply) return false;
  if (reply->status == 0) {
    DebugPrintf("%s refused at 0x%X", what, address);
    return false;
  }
  return true;
}

bool AtmelBootLoader::WriteFlash(uint32_t address, std::span<const uint8_t, kFlashPageSize> data) {
  return StatusCommand(FlashWriteRequest{address, data}.Encode(), "WriteFlash", address);
}

bool AtmelBootLoader::WriteEeprom(uint32_t address, const uint8_t* data, uint16_t count) {
  return StatusCommand(EepromWriteRequest{address, std::span<const uint8_t>(data, count)}.Encode(), "WriteEeprom",
                       address);
}

bool AtmelBootLoader::EraseFlashPage(uint32_t address) {
  return StatusCommand(AddressedRequest{kCmdEraseFlashPage, address}.Encode(), "EraseFlashPage", address);
}

bool AtmelBootLoader::EraseEepromBlock(uint32_t address) {
  return StatusCommand(AddressedRequest{kCmdEraseEepromBlock, address}.Encode(), "EraseEepromBlock", address);
}

bool AtmelBootLoader::StartApplication() {
  return Transact<ShortReply>(ShortRequest{kCmdStartApplication}.Encode(), "StartApplication").has_value();
}

bool AtmelBootLoader::ReadEcho(std::array<uint8_t, kShortReplyLength>& reply) {
  reply.fill(0);
  uint32_t received = 0;
  m_port.Read(reply.data(), static_cast<uint32_t>(reply.size()), &received);
  return received == reply.size();
}

bool AtmelBootLoader::SetLinkSpeed(bool high) {
  const uint8_t code = high ? kCmdHighSpeed : kCmdNormalSpeed;
  const auto request = ShortRequest{code}.Encode();
  const auto send = [&] { return m_port.Write(request.data(), static_cast<uint32_t>(request.size())); };
  const auto echoed = [&](const std::array<uint8_t, kShortReplyLength>& reply) {
    auto decoded = ShortReply::Decode(reply);
    return decoded && decoded->echo == code;
  };

  // The request goes out at the speed in force; the boot loader answers at
  // the new one.
  m_port.Purge();
  send();
  m_port.SetBaudRate(high ? kHighBaud : kNormalBaud);
  if (!m_port.Open()) {
    DebugPrintf("SetLinkSpeed: cannot reopen the port at %u baud", m_port.BaudRate());
    return false;
  }
  m_port.Purge();
  std::array<uint8_t, kShortReplyLength> reply{};
  bool got = ReadEcho(reply);
  for (int repeat = 0; !got && repeat < kSpeedEchoRepeats; ++repeat) {
    send();
    got = ReadEcho(reply);
  }
  if (!got) {
    DebugPrintf("SetLinkSpeed: no echo at %u baud", m_port.BaudRate());
    return false;
  }
  if (!echoed(reply)) {
    DebugPrintf("SetLinkSpeed: wrong echo 0x%02X", reply[kEchoOffset]);
    return false;
  }
  // Confirm once more at the new speed.
  send();
  if (!ReadEcho(reply) || !echoed(reply)) {
    DebugPrintf("SetLinkSpeed: no confirmation at %u baud", m_port.BaudRate());
    return false;
  }
  return true;
}

bool AtmelBootLoader::FallBackToNormalSpeed() {
  for (int attempt = 0; attempt < kFallBackAttempts; ++attempt) {
    if (SetLinkSpeed(false)) return true;
  }
  return false;
}

bool WithRetries(AtmelBootLoader& loader, LinkSpeedState& speed, const std::function<bool()>& operation,
                 bool* fell_back) {
  if (fell_back) *fell_back = false;
  for (int attempt = 0; attempt < kRetryRuleAttempts; ++attempt) {
    if (operation()) return true;
    if (attempt == 0 && speed.in_force) {
      loader.FallBackToNormalSpeed();
      speed.in_force = false;
      if (fell_back) *fell_back = true;
    }
  }
  return false;
}

void EndHighSpeed(AtmelBootLoader& loader, LinkSpeedState& speed) {
  if (!speed.in_force) return;
  loader.FallBackToNormalSpeed();
  speed.in_force = false;
}

}  // namespace corvel
