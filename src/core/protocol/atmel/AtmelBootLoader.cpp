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

// Why `received` bytes did not make a reply of `length` bytes.
LinkErrorKind ReplyFailure(uint32_t received, std::size_t length) {
  if (received == 0) return LinkErrorKind::Timeout;
  if (received < length) return LinkErrorKind::ShortReply;
  return LinkErrorKind::BadChecksum;
}

// The one trace line of a failed command, written from its error.
Failed<LinkError> Traced(const char* what, const LinkError& error) {
  switch (error.kind) {
    case LinkErrorKind::PortFailure: DebugPrintf("%s: write failed", what); break;
    case LinkErrorKind::Refused: DebugPrintf("%s refused at 0x%X", what, error.address); break;
    case LinkErrorKind::WrongType: DebugPrintf("%s: answer of type 0x%X", what, error.received); break;
    case LinkErrorKind::Timeout:
    case LinkErrorKind::ShortReply:
    case LinkErrorKind::BadChecksum:
      DebugPrintf("%s: bad reply (%u of %u bytes)", what, error.received, error.expected);
      break;
    default: break;
  }
  return Fail(error);
}

}  // namespace

template <typename Reply>
LinkResult<Reply> AtmelBootLoader::Transact(const std::vector<uint8_t>& request, const char* what) {
  // A fresh buffer clears byte 0 and the status byte, so bytes left over from
  // the request can never pass as a reply.
  std::array<uint8_t, Reply::kLength> buffer{};
  m_port.Purge();
  if (!m_port.Write(request.data(), static_cast<uint32_t>(request.size()))) {
    return Traced(what, {LinkErrorKind::PortFailure});
  }
  uint32_t received = 0;
  m_port.Read(buffer.data(), static_cast<uint32_t>(buffer.size()), &received);
  // A short reply fails outright: a zero-filled buffer would otherwise pass
  // the checksum test when nothing at all came back.
  auto reply = Reply::Decode(std::span<const uint8_t>(buffer.data(), received));
  if (!reply) {
    const auto length = static_cast<uint32_t>(Reply::kLength);
    return Traced(what, {ReplyFailure(received, Reply::kLength), 0, length, received});
  }
  return std::move(*reply);
}

LinkStatus AtmelBootLoader::SendWakeUp() {
  const auto code = WakeUpCode();
  std::array<uint8_t, kWakeUpAnswer.size()> answer{};
  m_port.Purge();
  if (!m_port.Write(code.data(), static_cast<uint32_t>(code.size()))) return LinkFail(LinkErrorKind::PortFailure);
  uint32_t received = 0;
  m_port.Read(answer.data(), static_cast<uint32_t>(answer.size()), &received);
  const auto expected = static_cast<uint32_t>(answer.size());
  if (received == 0) return LinkFail(LinkErrorKind::Timeout, 0, expected, received);
  if (received != answer.size()) return LinkFail(LinkErrorKind::ShortReply, 0, expected, received);
  if (answer != kWakeUpAnswer) return LinkFail(LinkErrorKind::WrongType, 0, expected, received);
  connected = true;
  return {};
}

LinkResult<ApplicationReply> AtmelBootLoader::QueryApplication() {
  auto reply = Transact<ApplicationReply>(ShortRequest{kCmdQueryApplication}.Encode(), "QueryApplication");
  if (reply) connected = true;
  return reply;
}

LinkResult<uint32_t> AtmelBootLoader::QueryBootLoaderVersion() {
  auto reply = Transact<VersionReply>(ShortRequest{kCmdQueryBootLoaderVersion}.Encode(), "QueryBootLoaderVersion");
  if (!reply) return Fail(reply.error());
  connected = true;
  return reply->version;
}

LinkStatus AtmelBootLoader::ReadCommand(uint8_t code, uint32_t address, std::span<uint8_t, kReadLength> buffer,
                                        const char* what) {
  auto reply = Transact<DataReply>(AddressedRequest{code, address}.Encode(), what);
  if (!reply) return Fail(reply.error());
  std::copy(reply->data.begin(), reply->data.end(), buffer.begin());
  return {};
}

LinkStatus AtmelBootLoader::ReadFlash(uint32_t address, std::span<uint8_t, kReadLength> buffer) {
  return ReadCommand(kCmdReadFlash, address, buffer, "ReadFlash");
}

LinkStatus AtmelBootLoader::ReadEeprom(uint32_t address, std::span<uint8_t, kReadLength> buffer) {
  return ReadCommand(kCmdReadEeprom, address, buffer, "ReadEeprom");
}

LinkStatus AtmelBootLoader::StatusCommand(const std::vector<uint8_t>& request, const char* what, uint32_t address) {
  auto reply = Transact<StatusReply>(request, what);
  if (!reply) return Fail(reply.error());
  if (reply->status == 0) return Traced(what, {LinkErrorKind::Refused, address});
  return {};
}

LinkStatus AtmelBootLoader::WriteFlash(uint32_t address, std::span<const uint8_t, kFlashPageSize> data) {
  return StatusCommand(FlashWriteRequest{address, data}.Encode(), "WriteFlash", address);
}

LinkStatus AtmelBootLoader::WriteEeprom(uint32_t address, const uint8_t* data, uint16_t count) {
  return StatusCommand(EepromWriteRequest{address, std::span<const uint8_t>(data, count)}.Encode(), "WriteEeprom",
                       address);
}

LinkStatus AtmelBootLoader::EraseFlashPage(uint32_t address) {
  return StatusCommand(AddressedRequest{kCmdEraseFlashPage, address}.Encode(), "EraseFlashPage", address);
}

LinkStatus AtmelBootLoader::EraseEepromBlock(uint32_t address) {
  return StatusCommand(AddressedRequest{kCmdEraseEepromBlock, address}.Encode(), "EraseEepromBlock", address);
}

LinkStatus AtmelBootLoader::StartApplication() {
  auto reply = Transact<ShortReply>(ShortRequest{kCmdStartApplication}.Encode(), "StartApplication");
  if (!reply) return Fail(reply.error());
  return {};
}

LinkStatus AtmelBootLoader::ReadEcho(std::array<uint8_t, kShortReplyLength>& reply) {
  reply.fill(0);
  uint32_t received = 0;
  m_port.Read(reply.data(), static_cast<uint32_t>(reply.size()), &received);
  if (received == reply.size()) return {};
  return LinkFail(ReplyFailure(received, reply.size()), 0, static_cast<uint32_t>(reply.size()), received);
}

LinkStatus AtmelBootLoader::SetLinkSpeed(bool high) {
  const uint8_t code = high ? kCmdHighSpeed : kCmdNormalSpeed;
  const auto request = ShortRequest{code}.Encode();
  const auto send = [&] { return m_port.Write(request.data(), static_cast<uint32_t>(request.size())); };
  // The echo's kind of failure: a frame that does not decode, or one that
  // echoes another code.
  const auto echoed = [&](const std::array<uint8_t, kShortReplyLength>& reply) -> LinkStatus {
    auto decoded = ShortReply::Decode(reply);
    if (!decoded) return LinkFail(LinkErrorKind::BadChecksum, 0, kShortReplyLength, kShortReplyLength);
    if (decoded->echo != code) return LinkFail(LinkErrorKind::WrongEcho, 0, code, decoded->echo);
    return {};
  };

  // The request goes out at the speed in force; the boot loader answers at
  // the new one.
  m_port.Purge();
  (void)send();  // a lost request shows as a missing echo
  m_port.SetBaudRate(high ? kHighBaud : kNormalBaud);
  if (!m_port.Open()) {
    DebugPrintf("SetLinkSpeed: cannot reopen the port at %u baud", m_port.BaudRate());
    return LinkFail(LinkErrorKind::PortFailure, 0, m_port.BaudRate());
  }
  m_port.Purge();
  std::array<uint8_t, kShortReplyLength> reply{};
  LinkStatus got = ReadEcho(reply);
  for (int repeat = 0; !got && repeat < kSpeedEchoRepeats; ++repeat) {
    (void)send();
    got = ReadEcho(reply);
  }
  if (!got) {
    DebugPrintf("SetLinkSpeed: no echo at %u baud", m_port.BaudRate());
    return got;
  }
  if (LinkStatus first = echoed(reply); !first) {
    DebugPrintf("SetLinkSpeed: wrong echo 0x%02X", reply[kEchoOffset]);
    return first;
  }
  // Confirm once more at the new speed.
  (void)send();
  LinkStatus confirmed = ReadEcho(reply);
  if (confirmed) confirmed = echoed(reply);
  if (!confirmed) DebugPrintf("SetLinkSpeed: no confirmation at %u baud", m_port.BaudRate());
  return confirmed;
}

LinkStatus AtmelBootLoader::FallBackToNormalSpeed() {
  LinkStatus status = SetLinkSpeed(false);
  for (int attempt = 1; !status && attempt < kFallBackAttempts; ++attempt) status = SetLinkSpeed(false);
  return status;
}

LinkStatus WithRetries(AtmelBootLoader& loader, LinkSpeedState& speed, const std::function<LinkStatus()>& operation,
                       bool* fell_back) {
  if (fell_back) *fell_back = false;
  LinkStatus status = operation();
  for (int attempt = 1; !status && attempt < kRetryRuleAttempts; ++attempt) {
    if (attempt == 1 && speed.in_force) {
      (void)loader.FallBackToNormalSpeed();  // high speed is out of force whatever it returns
      speed.in_force = false;
      if (fell_back) *fell_back = true;
    }
    status = operation();
  }
  return status;
}

void EndHighSpeed(AtmelBootLoader& loader, LinkSpeedState& speed) {
  if (!speed.in_force) return;
  (void)loader.FallBackToNormalSpeed();
  speed.in_force = false;
}

void HighSpeedSession::Begin(Undo undo) {
  if (m_state.in_force || m_state.failed) return;
  if (m_loader.SetLinkSpeed(true)) {
    m_state.in_force = true;
    return;
  }
  m_state.failed = true;
  if (undo == Undo::FallBack) {
    (void)m_loader.FallBackToNormalSpeed();
  } else {
    (void)m_loader.SetLinkSpeed(false);
  }
}

}  // namespace corvel
