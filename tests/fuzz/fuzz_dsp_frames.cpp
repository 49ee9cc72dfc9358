// Any bytes from the DSP loader's line: the frame receiver takes them packet
// by packet and never reads past them, every packet it accepts holds its
// checksum, and the memory map decoder never reads past its reply.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "core/protocol/dsp/DSPLoader.h"

namespace {

// A line that delivers the fuzz input once and then stays silent.
class BytesDevice : public corvel::SerialDevice {
 public:
  BytesDevice(const uint8_t* data, std::size_t size) : m_data(data), m_size(size) {}
  bool Configure(uint32_t) override { return true; }
  void SetTimeouts(const corvel::SerialTimeouts&) override {}
  bool Read(uint8_t* buffer, uint32_t count, uint32_t& received) override {
    received = static_cast<uint32_t>(std::min<std::size_t>(count, m_size - m_at));
    std::memcpy(buffer, m_data + m_at, received);
    m_at += received;
    return true;
  }
  bool Write(const uint8_t*, uint32_t count, uint32_t& written) override {
    written = count;
    return true;
  }
  bool Purge() override { return true; }
  bool Close() override { return true; }

 private:
  const uint8_t* m_data;
  std::size_t m_size;
  std::size_t m_at = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  using namespace corvel;
  const auto map = dsp::DecodeMemoryMap(std::span<const uint8_t>(data, size));
  if (map && map->num_sections > dsp::kMaxSections) std::abort();
  if (size < dsp::kMapHeaderLength && map) std::abort();

  SerialPort port;
  if (!port.OpenDevice(std::make_unique<BytesDevice>(data, size))) return 0;
  CDSPLoader loader(port);
  for (int i = 0; i < 64; ++i) {
    DspLoaderPacket packet;
    if (!loader.ReceivePacket(packet)) break;
    const auto frame = packet.Encode();
    if (!frame || !dsp::FrameChecksumHolds(*frame)) std::abort();
  }
  // The map exchange reads whatever came back as the reply.
  SerialPort map_port;
  if (!map_port.OpenDevice(std::make_unique<BytesDevice>(data, size))) return 0;
  CDSPLoader map_loader(map_port);
  (void)map_loader.RetrieveMemoryMap();
  if (map_loader.NumSections() > dsp::kMaxSections) std::abort();

  // A limit of 0 only counts, so the empty input is left out here.
  if (size > 0) {
    std::vector<uint8_t> out(size);
    const uint32_t n =
        dsp::VariableLengthRLE(data, out.data(), static_cast<uint32_t>(size), static_cast<uint32_t>(size));
    if (n > size) std::abort();
  }
  return 0;
}
