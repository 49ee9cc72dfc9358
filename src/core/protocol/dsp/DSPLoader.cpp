#include "core/protocol/dsp/DSPLoader.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "core/base/DebugLog.h"

namespace corvel {

using namespace dsp;

namespace {

constexpr int kMapTries = 3;
constexpr int kSpeedTries = 5;
constexpr int kSpeedConfirmTries = 3;
constexpr int kComposeTries = 3;
constexpr int kStartTries = 3;
constexpr auto kSpeedSettle = std::chrono::milliseconds(20);
// Progress shares of a section: programming fills 80 %, the caller the rest.
constexpr uint64_t kProgramShare = 80;
constexpr uint64_t kReadShare = 100;

const char* SpeedName(bool high) { return high ? "High" : "Low"; }

// Runs op; on failure at high speed drops to 19200 (ending the run when that
// fails), then tries twice more. The texts trace each failure, where given.
template <typename Op>
LinkStatus WithRetries(CDSPLoader& loader, bool& high, Op op, LinkStatus (CDSPLoader::*drop)(bool&),
                       const char* once = nullptr, const char* twice = nullptr, const char* thrice = nullptr) {
  LinkStatus status = op();
  if (status) return status;
  if (once) DebugPrintf("%s", once);
  if (high) {
    LinkStatus dropped = (loader.*drop)(high);
    if (!dropped) return dropped;
  }
  status = op();
  if (status) return status;
  if (twice) DebugPrintf("%s", twice);
  status = op();
  if (status) return status;
  if (thrice) DebugPrintf("%s", thrice);
  return status;
}

}  // namespace

bool CDSPLoader::Reopen(uint32_t baud) {
  m_port.SetBaudRate(baud);
  return m_port.Open();
}

LinkStatus CDSPLoader::SendPacket(const DspLoaderPacket& packet) {
  const auto frame = packet.Encode();
  if (!frame) return LinkFail(LinkErrorKind::PortFailure, packet.type);
  m_port.Purge();
  if (!m_port.Write(frame->data(), static_cast<uint32_t>(frame->size()))) {
    DebugPrintf("DSP packet 0x%02X: write failed", packet.type);
    return LinkFail(LinkErrorKind::PortFailure, packet.type);
  }
  return {};
}

LinkStatus CDSPLoader::ReceivePacket(DspLoaderPacket& packet) {
  std::vector<uint8_t> frame(kHeaderLength);
  uint32_t got = 0;
  m_port.Read(frame.data(), static_cast<uint32_t>(kHeaderLength), &got);
  if (got == 0) return LinkFail(LinkErrorKind::Timeout);
  if (got < kHeaderLength) return LinkFail(LinkErrorKind::ShortReply, 0, kHeaderLength, got);
  const FrameHeader header = DecodeHeader(std::span<const uint8_t, kHeaderLength>(frame.data(), kHeaderLength));
  const uint32_t rest = header.length + static_cast<uint32_t>(kChecksumLength);
  frame.resize(kHeaderLength + rest);
  m_port.Read(frame.data() + kHeaderLength, rest, &got);
  if (got != rest) return LinkFail(LinkErrorKind::ShortReply, header.address, rest, got);
  if (!FrameChecksumHolds(frame)) {
    m_port.Purge();
    DebugPrintf("DSP packet 0x%02X: bad checksum", header.type);
    return LinkFail(LinkErrorKind::BadChecksum, header.address);
  }
  packet.type = header.type;
  packet.address = header.address;
  packet.data.assign(frame.begin() + kHeaderLength, frame.end() - kChecksumLength);
  return {};
}

LinkStatus CDSPLoader::Request(uint8_t type, uint32_t address, DspLoaderPacket& reply) {
  DspLoaderPacket request;
  request.Fill(type, address);
  if (LinkStatus sent = SendPacket(request); !sent) return sent;
  return ReceivePacket(reply);
}

LinkStatus CDSPLoader::Connect(Deadline deadline) {
  m_port.Purge();
  m_port.Write(kWakeUp.data(), static_cast<uint32_t>(kWakeUp.size()));
  DspLoaderPacket reply;
  if (ReceivePacket(reply) && reply.type == kPacketAck) {
    DebugPrintf("DSP Conn OK");
    m_connected = true;
  }
  // A loader that missed the wake-up may still answer the map.
  LinkStatus map = RetrieveMemoryMap(deadline);
  if (m_connected) return {};
  return map;
}

void CDSPLoader::TraceMap() const {
  DebugPrintf("Memory map:");
  DebugPrintf("board_id: 0x%08X", m_map.board_id);
  DebugPrintf("flash_loader_version: 0x%08X", m_map.flash_loader_version);
  DebugPrintf("board_name: %s", m_map.board_name.c_str());
  DebugPrintf("dspflashblocksize: %u", m_map.block_size);
  DebugPrintf("min_allowed_address: 0x%08X", m_map.min_allowed_address);
  DebugPrintf("max_allowed_address: 0x%08X", m_map.max_allowed_address);
  DebugPrintf("num_mem_sections: %u", m_map.reported_sections);
  for (std::size_t k = 0; k < kMaxSections; ++k) {
    const DspMemorySection& s = m_map.sections[k];
    if (!s.valid) continue;
    DebugPrintf("Memory section %zu:", k);
    DebugPrintf("section_start_address: 0x%08X", s.start_address);
    DebugPrintf("section_size: %u", s.size);
    DebugPrintf("extension: %s", s.extension.c_str());
    DebugPrintf("requires_checksum: %u", s.requires_checksum);
    DebugPrintf("requires_duplicate: %u", s.requires_duplicate);
    DebugPrintf("section_name: %s", s.section_name.c_str());
    DebugPrintf("special flags: 0x%08X", s.special_flags);
  }
}

LinkStatus CDSPLoader::RetrieveMemoryMap(Deadline deadline) {
  DebugPrintf("Retrieving DSP memory map...");
  LinkStatus last = LinkFail(LinkErrorKind::Timeout, kPacketMemoryMap);
  for (int attempt = 0; attempt < kMapTries && std::chrono::steady_clock::now() < deadline; ++attempt) {
    DspLoaderPacket reply;
    last = Request(kPacketMemoryMap, 0, reply);
    if (!last) continue;
    if (reply.type == kPacketMemoryMap) {
      auto map = DecodeMemoryMap(reply.data);
      if (!map) {
        // Too short for the map's fixed fields: the map in memory stays.
        DebugPrintf("Memory map reply too short (%u bytes)", static_cast<unsigned>(reply.data.size()));
        last = LinkFail(LinkErrorKind::ShortReply, kPacketMemoryMap, kMapHeaderLength,
                        static_cast<uint32_t>(reply.data.size()));
        continue;
      }
      m_map = std::move(*map);
      TraceMap();
      m_connected = true;
      return {};
    }
    if (reply.type == kPacketNotSupported) {
      m_map = FixedMemoryMap();
      m_connected = true;
      return {};
    }
    last = LinkFail(LinkErrorKind::WrongType, reply.type, kPacketMemoryMap, reply.type);
  }
  return last;
}

LinkStatus CDSPLoader::ChangeCommSpeed(bool high) {
  DspLoaderPacket request;
  request.Fill(high ? kPacketHighSpeed : kPacketLowSpeed, 0);
  DebugPrintf("DSP Change Comm Speed");
  m_port.Purge();
  const uint32_t target = high ? kHighBaud : kLowBaud;
  uint32_t current = high ? kLowBaud : kHighBaud;
  int answered_on = 0;
  for (int i = 1; i <= kSpeedTries && answered_on == 0; ++i) {
    // The loader may already be at either rate: ask at the old one, then the new one, in turn.
    (void)Reopen(current);
    DebugPrintf("Packet %d of 5", i);
    DspLoaderPacket reply;
    if (SendPacket(request) && ReceivePacket(reply) && reply.type == kPacketAck) {
      answered_on = i;
    } else {
      current = current == kLowBaud ? kHighBaud : kLowBaud;
    }
  }
  if (answered_on == 0) {
    DebugPrintf("Failed to get reply, dropping to %u", kLowBaud);
    (void)Reopen(kLowBaud);
    return LinkFail(LinkErrorKind::Timeout, request.type);
  }
  DebugPrintf("Got reply on packet %d of 5", answered_on);
  DebugPrintf("DSP replied on old baud rate (%u)", current);
  m_port.Purge();
  DebugPrintf("Setting baud to %u", target);
  if (!Reopen(target)) return LinkFail(LinkErrorKind::PortFailure, request.type);
  DebugPrintf("Changed baud rate settings");
  // The loader needs a moment to move its own line to the new rate.
  std::this_thread::sleep_for(kSpeedSettle);
  for (int j = 1; j <= kSpeedConfirmTries; ++j) {
    DebugPrintf("High baud rate try %d of 3", j);
    DspLoaderPacket reply;
    if (SendPacket(request) && ReceivePacket(reply) && reply.type == kPacketAck) {
      DebugPrintf("Got the proper reply at new baud rate (%u)", target);
      return {};
    }
  }
  return LinkFail(LinkErrorKind::WrongEcho, request.type);
}

LinkStatus CDSPLoader::DropToLowSpeed(bool& high) {
  high = false;
  if (ChangeCommSpeed(false)) return {};
  return ChangeCommSpeed(false);
}

LinkStatus CDSPLoader::SendFlashPage(const uint8_t* page, uint32_t address) {
  DebugPrintf("Send Flash Page (Address: 0x%08X)", address);
  const uint32_t page_size = PageSize();
  if (page_size == 0 || address % page_size != 0) return LinkFail(LinkErrorKind::Refused, address);
  DebugPrintf("Calling VariableRLE");
  // The encoded page is never longer than the page, or it goes raw.
  std::vector<uint8_t> encoded(page_size);
  const uint32_t length = VariableLengthRLE(page, encoded.data(), page_size, page_size);
  DspLoaderPacket packet;
  if (length != 0) {
    packet.Fill(kPacketFlashPageRle, address, {encoded.data(), length});
  } else {
    packet.Fill(kPacketFlashPage, address, {page, page_size});
  }
  if (LinkStatus sent = SendPacket(packet); !sent) return sent;
  DspLoaderPacket answer;
  if (LinkStatus got = ReceivePacket(answer); !got) {
    DebugPrintf("Did not receive ack to RLE");
    return got;
  }
  const uint32_t block = BlockSize();
  const uint8_t echo = answer.data.empty() ? 0 : answer.data[kAckEchoOffset];
  if (answer.type == kPacketAck && !answer.data.empty() && answer.address % block == address % block &&
      (echo == kPacketFlashPage || echo == kPacketFlashPageRle)) {
    return {};
  }
  DebugPrintf("packet type: 0x%02X", answer.type);
  DebugPrintf("code address: 0x%08X", answer.address);
  DebugPrintf("data[0]: 0x%02X", echo);
  return LinkFail(LinkErrorKind::WrongType, address, kPacketAck, answer.type);
}

LinkStatus CDSPLoader::TryToSendFlashPage(const uint8_t* page, uint32_t address, bool& high) {
  DebugPrintf("TryToSendFlashPage (Address: 0x%08X, %s speed)", address, SpeedName(high));
  return WithRetries(*this, high, [&] { return SendFlashPage(page, address); }, &CDSPLoader::DropToLowSpeed);
}

LinkStatus CDSPLoader::ExecuteProgrammingonBlock(const uint8_t* block, uint32_t target) {
  DebugPrintf("Commit Flash Section (Address 0x%08X)", target);
  uint8_t checksum[kCommitDataLength];
  PutLe32(checksum, BlockChecksum({block, BlockSize()}));
  DspLoaderPacket request;
  request.Fill(kPacketCommitBlock, target, checksum);
  const auto failed = [&](const LinkError& error) -> LinkStatus {
    m_port.SetExtraReadTimeout(0);
    DebugPrintf("ExecuteProgrammingonBlock failed");
    return Failed<LinkError>{error};
  };
  if (LinkStatus sent = SendPacket(request); !sent) return failed(sent.error());
  // The loader asks for time twice (erase, then write) before it acknowledges.
  for (int wait = 1; wait <= 2; ++wait) {
    DspLoaderPacket answer;
    if (LinkStatus got = ReceivePacket(answer); !got) return failed(got.error());
    if (answer.type != kPacketWait) return failed({LinkErrorKind::WrongType, target, kPacketWait, answer.type});
    m_port.SetExtraReadTimeout(WaitTime(answer));
    DebugPrintf("Wait Command %d", wait);
  }
  DspLoaderPacket ack;
  if (LinkStatus got = ReceivePacket(ack); !got) return failed(got.error());
  DebugPrintf("Got the Ack");
  if (ack.type != kPacketAck || ack.address != target || ack.data.empty() ||
      ack.data[kAckEchoOffset] != kPacketCommitBlock) {
    return failed({LinkErrorKind::WrongType, target, kPacketAck, ack.type});
  }
  DebugPrintf("All parameters matched");
  return {};
}

LinkStatus CDSPLoader::TryToProgramBlock(const uint8_t* block, uint32_t target, bool& high) {
  DebugPrintf("TryToProgramBlock (TargetAddress: 0x%08X, %s speed)", target, SpeedName(high));
  return WithRetries(
      *this, high, [&] { return ExecuteProgrammingonBlock(block, target); }, &CDSPLoader::DropToLowSpeed,
      "Failed TryToProgramBlock once", "Failed TryToProgramBlock twice", "Failed TryToProgramBlock thrice: giving up");
}

bool CDSPLoader::SectionGeometryHolds(uint32_t size, uint32_t start) const {
  const uint32_t block = BlockSize();
  const uint32_t page = PageSize();
  // A block that is not whole pages would send pages beyond the block, and
  // past the end of the image at the last one.
  if (block == 0 || page == 0 || block % page != 0) return false;
  return size != 0 && start % block == 0 && size % block == 0 && uint64_t{start} + size <= 0x100000000ull;
}

LinkStatus CDSPLoader::ProgramFlashSection(bool& high, std::span<const uint8_t> image, uint32_t size, uint32_t start,
                                           bool duplicate, TransferMonitor* progress) {
  if (!m_connected) return LinkFail(LinkErrorKind::Refused, start);
  DebugPrintf("Prog Flash Section (%s speed, Size: 0x%08X, Offset: 0x%08X, Duplicate: %d)", SpeedName(high), size,
              start, duplicate ? 1 : 0);
  const bool copy_fits = !duplicate || uint64_t{start} + 2ull * size <= 0x100000000ull;
  if (!SectionGeometryHolds(size, start) || image.size() < size || !copy_fits) {
    DebugPrintf("Offset: 0x%08X, Size: 0x%08X", start, size);
    return LinkFail(LinkErrorKind::Refused, start, BlockSize(), size);
  }
  const uint32_t block = BlockSize();
  const uint32_t page = PageSize();
  if (progress) progress->SetPos(0);
  for (uint32_t b = 0; b < size; b += block) {
    for (uint32_t p = b; p < b + block; p += page) {
      if (LinkStatus sent = TryToSendFlashPage(image.data() + p, start + p, high); !sent) {
        DebugPrintf("Could not send flash page (Address 0x%08X)", p);
        return sent;
      }
      if (progress) {
        progress->SetPos(static_cast<int>(uint64_t{p} * kProgramShare / size));
        if (progress->CancelRequested()) {
          DebugPrintf("Cancelled");
          return LinkFail(LinkErrorKind::Cancelled, start + p);
        }
      }
    }
    if (LinkStatus committed = TryToProgramBlock(image.data() + b, start + b, high); !committed) {
      DebugPrintf("Could not program block");
      return committed;
    }
    // The copy behind the section takes the block still in the loader's buffer.
    if (duplicate) {
      if (LinkStatus copied = TryToProgramBlock(image.data() + b, start + size + b, high); !copied) {
        DebugPrintf("Could not program block duplicate");
        return copied;
      }
    }
  }
  DebugPrintf("Succeeded in ProgramFlashSection");
  return {};
}

LinkStatus CDSPLoader::ReadFlashPage(uint8_t* destination, uint32_t address) {
  const uint32_t page = PageSize();
  if (page == 0 || address % page != 0) {
    DebugPrintf("CDSPLoader::ReadFlashPage bad address");
    return LinkFail(LinkErrorKind::Refused, address);
  }
  DspLoaderPacket reply;
  if (LinkStatus got = Request(kPacketReadPage, address, reply); !got) return got;
  if (reply.type != kPacketReadPage || reply.address != address || reply.data.empty()) {
    return LinkFail(LinkErrorKind::WrongType, address, kPacketReadPage, reply.type);
  }
  const uint8_t status = reply.data[kReadStatusOffset];
  if (status == kReadStatusBlank) {
    std::fill(destination, destination + page, 0xFF);
    return {};
  }
  if (status != kReadStatusData) return LinkFail(LinkErrorKind::WrongType, address, kReadStatusData, status);
  const uint32_t length = reply.length();
  if (length < page + 1) {
    DebugPrintf("CDSPLoader::ReadFlashPage - expected %u bytes, got %u", page + 1, length);
    return LinkFail(LinkErrorKind::ShortReply, address, page + 1, length);
  }
  std::copy_n(reply.data.begin() + 1, page, destination);
  return {};
}

LinkStatus CDSPLoader::TryToReadFlashPage(uint8_t* destination, uint32_t address, bool& high) {
  return WithRetries(*this, high, [&] { return ReadFlashPage(destination, address); }, &CDSPLoader::DropToLowSpeed);
}

LinkStatus CDSPLoader::ReadFlashSection(bool& high, std::span<uint8_t> destination, uint32_t size, uint32_t start,
                                        TransferMonitor* progress) {
  if (!m_connected) {
    DebugPrintf("CDSPLoader::ReadFlashSection haven't talked to DSP");
    return LinkFail(LinkErrorKind::Refused, start);
  }
  if (!SectionGeometryHolds(size, start) || destination.size() < size) {
    DebugPrintf("CDSPLoader::ReadFlashSection bad offset or size");
    return LinkFail(LinkErrorKind::Refused, start, BlockSize(), size);
  }
  const uint32_t block = BlockSize();
  const uint32_t page = PageSize();
  if (progress) progress->SetPos(0);
  for (uint32_t b = 0; b < size; b += block) {
    for (uint32_t p = b; p < b + block; p += page) {
      if (LinkStatus got = TryToReadFlashPage(destination.data() + p, start + p, high); !got) return got;
      if (progress) {
        progress->SetPos(static_cast<int>(uint64_t{p} * kReadShare / size));
        if (progress->CancelRequested()) {
          DebugPrintf("CDSPLoader::ReadFlashSection user cancelled");
          return LinkFail(LinkErrorKind::Cancelled, start + p);
        }
      }
    }
  }
  return {};
}

LinkStatus CDSPLoader::ComposeChecksum() {
  LinkStatus last = LinkFail(LinkErrorKind::Timeout, kPacketComposeChecksum);
  for (int attempt = 0; attempt < kComposeTries; ++attempt) {
    DspLoaderPacket reply;
    last = Request(kPacketComposeChecksum, 0, reply);
    if (!last) continue;
    if (reply.type == kPacketAck) return {};
    if (reply.type != kPacketWait) {
      last = LinkFail(LinkErrorKind::WrongType, kPacketComposeChecksum, kPacketAck, reply.type);
      continue;
    }
    m_port.SetExtraReadTimeout(WaitTime(reply));
    DebugPrintf("Wait Command 1");
    last = ReceivePacket(reply);
    if (!last) continue;
    if (reply.type == kPacketAck) return {};
    last = LinkFail(LinkErrorKind::WrongType, kPacketComposeChecksum, kPacketAck, reply.type);
  }
  return last;
}

LinkStatus CDSPLoader::StartApp() {
  LinkStatus last = LinkFail(LinkErrorKind::Timeout, kPacketStartApp);
  for (int k = 1; k <= kStartTries; ++k) {
    DebugPrintf("Sending StartApp packet try #%d", k);
    DspLoaderPacket reply;
    last = Request(kPacketStartApp, 0, reply);
    if (!last) continue;
    if (reply.type == kPacketAck) {
      m_connected = false;
      return {};
    }
    last = LinkFail(LinkErrorKind::WrongType, kPacketStartApp, kPacketAck, reply.type);
  }
  return last;
}

void DspSpeedSession::End() {
  if (m_high) {
    m_high = false;
    for (int attempt = 0; attempt < m_drop_attempts; ++attempt) {
      if (m_loader.ChangeCommSpeed(false)) break;
    }
  }
  // Whatever the loader did, this end of the line goes back to 19200.
  SerialPort& port = m_loader.Port();
  if (port.BaudRate() != kLowBaud) {
    port.SetBaudRate(kLowBaud);
    if (port.IsOpen()) (void)port.Open();
  }
}

}  // namespace corvel
