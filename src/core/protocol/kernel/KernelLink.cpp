#include "core/protocol/kernel/KernelLink.h"

#include <algorithm>
#include <array>

#include "core/base/DebugLog.h"

namespace corvel {

using namespace kernel;

namespace {

void TraceField(const char* what, uint32_t value) {
  uint8_t b[kFieldLength];
  PutBigEndian32(b, value);
  if (what[0] == 'a') {
    DebugPrintf("Sent address 0x%X 0x%X 0x%X 0x%X", b[0], b[1], b[2], b[3]);
  } else {
    DebugPrintf("Sent count 0x%X 0x%X 0x%X 0x%X", b[0], b[1], b[2], b[3]);
  }
}

void TraceStatus(const std::array<uint8_t, kStatusLength>& r) {
  DebugPrintf("Status packet: Address: 0x%X 0x%X 0x%X 0x%X Count: 0x%X 0x%X 0x%X 0x%X Checksum: 0x%X 0x%X 0x%X 0x%X",
              r[0], r[1], r[2], r[3], r[4], r[5], r[6], r[7], r[8], r[9], r[10], r[11]);
}

void TraceSection(const char* prefix, uint32_t section, uint32_t sections, uint32_t address, uint32_t length) {
  DebugPrintf("%sflash section %d of %d ... Address: 0x%.8X Size: %d bytes", prefix, static_cast<int>(section),
              static_cast<int>(sections), address, static_cast<int>(length));
}

}  // namespace

LinkStatus KernelLink::WriteAll(const std::vector<uint8_t>& bytes) {
  uint32_t written = 0;
  const auto count = static_cast<uint32_t>(bytes.size());
  // A line that takes no bytes has lost the loader: say so rather than
  // wait for a reply that cannot come.
  if (!m_port.Write(bytes.data(), count, &written) || written != count) {
    DebugPrintf("Could not write to the Power PC (%u of %u bytes)", written, count);
    return LinkFail(LinkErrorKind::PortFailure, 0, count, written);
  }
  return {};
}

LinkStatus KernelLink::SendPacket(const KernelPacket& packet) {
  DebugPrintf("Sending Packet type 0x%X", packet.type);
  const std::vector<uint8_t> header = packet.EncodeHeader();
  if (header.empty()) return LinkFail(LinkErrorKind::WrongType, packet.type);
  if (auto sent = WriteAll(header); !sent) return sent;
  if (packet.type != kTypeStatusQuery) TraceField("address", packet.address);
  if (packet.type != kTypeData) return {};
  TraceField("count", packet.count);

  const auto status = QueryStatus();
  if (!status) {
    DebugPrintf("Power PC appears to be offline. Not sending data.");
    return Fail(status.error());
  }
  if (status->address != packet.address || status->count != packet.count || status->checksum != 0) {
    DebugPrintf("Status mismatch with Power PC. Not sending data.");
    return LinkFail(LinkErrorKind::Refused, packet.address, packet.count, status->count);
  }
  if (auto sent = WriteAll(packet.payload); !sent) return sent;
  DebugPrintf("Sent data");
  return {};
}

LinkResult<KernelStatus> KernelLink::QueryStatus() {
  if (auto sent = SendPacket(KernelPacket::StatusQuery()); !sent) return Fail(sent.error());
  std::array<uint8_t, kStatusLength> reply{};
  uint32_t received = 0;
  m_port.Read(reply.data(), kStatusLength, &received);
  if (received != kStatusLength) {
    DebugPrintf("No status from Power PC (%u of %u bytes)", received, static_cast<unsigned>(kStatusLength));
    return LinkFail(received == 0 ? LinkErrorKind::Timeout : LinkErrorKind::ShortReply, 0, kStatusLength, received);
  }
  TraceStatus(reply);
  return *KernelStatus::Decode(reply);
}

LinkStatus KernelLink::ProbeKernel() {
  m_port.Purge();
  const auto status = QueryStatus();
  if (!status) return Fail(status.error());
  return {};
}

LinkStatus KernelLink::StartKernel(uint32_t address) {
  m_port.Purge();
  return SendPacket(KernelPacket::Start(address));
}

LinkStatus KernelLink::SendSection(std::span<const uint8_t> bytes, uint32_t address) {
  m_port.Purge();
  const KernelPacket packet = KernelPacket::Data(address, bytes);
  if (auto sent = SendPacket(packet); !sent) return sent;
  const auto status = QueryStatus();
  if (!status) return Fail(status.error());
  const uint32_t next = address + packet.count;
  if (status->address != next || status->count != 0) {
    return LinkFail(LinkErrorKind::WrongType, address, next, status->address);
  }
  if (status->checksum != packet.checksum) {
    return LinkFail(LinkErrorKind::BadChecksum, address, packet.checksum, status->checksum);
  }
  return {};
}

LinkStatus KernelLink::UploadKernel(std::span<const uint8_t> image, uint32_t address, TransferMonitor& monitor) {
  const uint64_t size = image.size();
  // Sections past the top of the address space would wrap round to address
  // 0 and overwrite whatever lives there.
  if (size > kMaxKernelSize || (size != 0 && uint64_t{address} + size - 1 > 0xFFFFFFFFu)) {
    DebugPrintf("A kernel of %llu bytes does not fit at address 0x%.8X", static_cast<unsigned long long>(size),
                address);
    return LinkFail(LinkErrorKind::Refused, address, 0, static_cast<uint32_t>(size));
  }
  const auto sections = static_cast<uint32_t>((size + kSectionSize - 1) / kSectionSize);
  for (uint32_t i = 0; i < sections; ++i) {
    if (monitor.CancelRequested()) return LinkFail(LinkErrorKind::Cancelled, address + kSectionSize * i);
    monitor.SetPos(static_cast<int>(100ull * i / sections));
    const uint32_t offset = kSectionSize * i;
    const uint32_t length = static_cast<uint32_t>(std::min<uint64_t>(kSectionSize, size - offset));
    const uint32_t target = address + offset;
    const auto bytes = image.subspan(offset, length);
    TraceSection("Programming ", i + 1, sections, target, length);
    LinkStatus sent = SendSection(bytes, target);
    for (int attempt = 1; !sent && attempt < kSectionTries; ++attempt) {
      TraceSection("FAILURE! Reprogramming ", i + 1, sections, target, length);
      sent = SendSection(bytes, target);
    }
    if (!sent) {
      TraceSection("FAILURE! Could not program ", i + 1, sections, target, length);
      return sent;
    }
  }
  return {};
}

}  // namespace corvel
