#include "core/protocol/dsp/DspProtocol.h"

#include <algorithm>
#include <cstring>
#include <vector>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/base/DebugLog.h"

namespace corvel::dsp {

uint16_t ReadLe16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

uint32_t ReadLe32(const uint8_t* p) {
  return uint32_t{p[0]} | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}

void PutLe16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

void PutLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

namespace {

uint16_t Sum16(std::span<const uint8_t> bytes) {
  uint32_t sum = 0;
  for (uint8_t b : bytes) sum += b;
  return static_cast<uint16_t>(sum);
}

// A zero-terminated text field of fixed size; a field without its zero ends
// at the field's end.
std::string TextField(const uint8_t* p, std::size_t size) {
  const auto* end = static_cast<const uint8_t*>(std::memchr(p, 0, size));
  return std::string(reinterpret_cast<const char*>(p), end ? static_cast<std::size_t>(end - p) : size);
}

}  // namespace

std::optional<std::vector<uint8_t>> DspLoaderPacket::Encode() const {
  if (data.size() > kMaxDataLength) return std::nullopt;
  std::vector<uint8_t> frame(kFrameOverhead + data.size());
  frame[kTypeOffset] = type;
  PutLe32(&frame[kAddressOffset], address);
  PutLe16(&frame[kLengthOffset], length());
  std::copy(data.begin(), data.end(), frame.begin() + kHeaderLength);
  const std::size_t n = kHeaderLength + data.size();
  const uint16_t check = static_cast<uint16_t>(-Sum16({frame.data(), n}));
  frame[n] = static_cast<uint8_t>(check >> 8);
  frame[n + 1] = static_cast<uint8_t>(check);
  return frame;
}

FrameHeader DecodeHeader(std::span<const uint8_t, kHeaderLength> header) {
  return {header[kTypeOffset], ReadLe32(&header[kAddressOffset]), ReadLe16(&header[kLengthOffset])};
}

bool FrameChecksumHolds(std::span<const uint8_t> frame) {
  if (frame.size() < kFrameOverhead) return false;
  const std::size_t n = frame.size() - kChecksumLength;
  const uint16_t check = static_cast<uint16_t>(frame[n] << 8 | frame[n + 1]);
  return static_cast<uint16_t>(Sum16(frame.first(n)) + check) == 0;
}

uint32_t WaitTime(const DspLoaderPacket& wait) {
  if (wait.data.size() < kWaitLength) return 0;
  return ReadLe16(&wait.data[kWaitTimeOffset]);
}

uint32_t PageSizeFor(uint32_t block_size) { return block_size < kMaxPageSize ? block_size : kMaxPageSize; }

std::optional<DspMemoryMap> DecodeMemoryMap(std::span<const uint8_t> data) {
  if (data.size() < kMapHeaderLength) return std::nullopt;
  const uint8_t* p = data.data();
  DspMemoryMap map;
  map.board_id = ReadLe32(p + kMapBoardIdOffset);
  map.flash_loader_version = ReadLe32(p + kMapLoaderVersionOffset);
  map.board_name = TextField(p + kMapBoardNameOffset, kMapBoardNameLength);
  map.block_size = ReadLe32(p + kMapBlockSizeOffset);
  map.page_size = PageSizeFor(map.block_size);
  map.min_allowed_address = ReadLe32(p + kMapMinAddressOffset);
  map.max_allowed_address = ReadLe32(p + kMapMaxAddressOffset);
  map.reported_sections = ReadLe32(p + kMapSectionCountOffset);
  map.num_sections = std::min<uint32_t>(map.reported_sections, kMaxSections);
  for (std::size_t k = 0; k < kMaxSections; ++k) {
    const std::size_t at = kMapSectionsOffset + k * kMapSectionLength;
    // A record cut short by the reply's end is not read: its fields would
    // come from beyond the reply.
    if (k >= map.num_sections || at + kMapSectionLength > data.size()) continue;
    const uint8_t* r = p + at;
    DspMemorySection& s = map.sections[k];
    s.start_address = ReadLe32(r + kSectionStartOffset);
    s.size = ReadLe32(r + kSectionSizeOffset);
    s.extension = TextField(r + kSectionExtensionOffset, kSectionExtensionLength);
    s.requires_checksum = ReadLe32(r + kSectionChecksumOffset);
    s.requires_duplicate = ReadLe32(r + kSectionDuplicateOffset);
    s.section_name = TextField(r + kSectionNameOffset, kSectionNameLength);
    s.special_flags = ReadLe32(r + kSectionFlagsOffset);
    s.valid = true;
  }
  return map;
}

DspMemoryMap FixedMemoryMap() {
  DspMemoryMap map;
  DspMemorySection& s = map.sections[0];
  s.valid = true;
  s.section_name = "Firmware";
  s.extension = "ldr";
  s.start_address = 0x20000;
  s.size = 0xC0000;
  s.requires_checksum = 1;
  map.block_size = 0x20000;
  map.page_size = kMaxPageSize;
  map.num_sections = 1;
  map.reported_sections = 1;
  map.board_name = "QXBD41";
  map.min_allowed_address = 0x20000;
  map.max_allowed_address = 0xDFFFF;
  return map;
}

uint32_t BlockChecksum(std::span<const uint8_t> block) {
  uint32_t sum = 0;
  for (uint8_t b : block) sum += b;
  return static_cast<uint32_t>(0u - sum);
}

uint16_t PageChecksum(std::span<const uint8_t> page) { return static_cast<uint16_t>(-Sum16(page)); }

namespace {

struct Run {
  uint32_t pattern = 0;  // L; 0 when there is no run
  uint32_t copies = 0;   // K
};

// True when no run can start at i. Every run repeats its first two bytes at
// its pattern length (a run of one byte has at least eight copies, a longer
// pattern at least two), so when neither distance 1..32 repeats them, none
// exists. Random pages then cost a few instructions per byte.
bool NoRunPossible(const uint8_t* in, uint32_t i, uint32_t n) {
#if defined(__SSE2__)
  if (uint64_t{i} + 2 + kRleMaxPattern > n) return false;  // near the end the full search decides
  const __m128i first = _mm_set1_epi8(static_cast<char>(in[i]));
  const __m128i second = _mm_set1_epi8(static_cast<char>(in[i + 1]));
  const uint8_t* at = in + i + 1;  // at[L - 1] is in[i + L]
  const auto load = [](const uint8_t* p) { return _mm_loadu_si128(reinterpret_cast<const __m128i*>(p)); };
  const __m128i low = _mm_and_si128(_mm_cmpeq_epi8(load(at), first), _mm_cmpeq_epi8(load(at + 1), second));
  const __m128i high =
      _mm_and_si128(_mm_cmpeq_epi8(load(at + 16), first), _mm_cmpeq_epi8(load(at + 17), second));
  return _mm_movemask_epi8(_mm_or_si128(low, high)) == 0;
#else
  (void)in;
  (void)i;
  (void)n;
  return false;
#endif
}

// The best-scoring run at in[i..n-1]: score K*L - (L-1) at least 8, the
// highest score, the shortest pattern among equals.
Run FindRun(const uint8_t* in, uint32_t i, uint32_t n) {
  if (NoRunPossible(in, i, n)) return {};
  const uint32_t remaining = n - i;
  Run best;
  int64_t best_score = kRleMinScore - 1;
  for (uint32_t L = 1; L <= kRleMaxPattern && L <= remaining; ++L) {
    // No run of this or a longer pattern can score above remaining - L + 1.
    if (static_cast<int64_t>(remaining) - L + 1 <= best_score) break;
    uint32_t x = i + L;
    while (x < n && in[x] == in[x - L]) ++x;
    const uint32_t copies = std::min<uint32_t>(1 + (x - i - L) / L, 0xFFFF);
    const int64_t score = int64_t{copies} * L - (L - 1);
    if (score > best_score) {
      best_score = score;
      best = {L, copies};
    }
  }
  return best;
}

// One walk over the input. Items go to out while they and the trailer fit in
// room bytes; after the first that does not, the rest are only counted. The
// full output length is returned either way (room 0 only counts).
uint32_t Walk(const uint8_t* in, uint8_t* out, uint32_t n, uint32_t room) {
  uint32_t o = 0;
  uint32_t i = 0;
  bool writing = room != 0;
  while (i < n) {
    const Run run = FindRun(in, i, n);
    const uint32_t size = run.pattern != 0 ? static_cast<uint32_t>(kRleRunHeader) + run.pattern
                                           : (in[i] == kRleEscape ? 2u : 1u);
    if (writing && uint64_t{o} + size + kRleTrailerLength > room) writing = false;
    if (run.pattern != 0) {
      if (writing) {
        out[o] = kRleEscape;
        out[o + 1] = kRleRunMark;
        PutLe16(out + o + 2, static_cast<uint16_t>(run.pattern));
        PutLe16(out + o + 4, static_cast<uint16_t>(run.copies));
        std::memcpy(out + o + kRleRunHeader, in + i, run.pattern);
      }
      i += run.pattern * run.copies;
    } else {
      if (writing) {
        out[o] = in[i];
        if (size == 2) out[o + 1] = kRleEscape;
      }
      ++i;
    }
    o += size;
  }
  if (writing) PutLe16(out + o, PageChecksum({in, n}));
  return o + static_cast<uint32_t>(kRleTrailerLength);
}

// Pages are far below this; larger limits are counted first and written in a
// second walk instead of through scratch space.
constexpr uint32_t kRleScratchLimit = 1u << 20;

}  // namespace

uint32_t VariableLengthRLE(const uint8_t* in, uint8_t* out, uint32_t n, uint32_t limit) {
  if (limit == 0) return Walk(in, nullptr, n, 0);
  uint32_t length = 0;
  if (limit == kRleNoLimit) {
    length = Walk(in, out, n, kRleNoLimit);
  } else {
    // One walk into scratch space when it is small: the caller's buffer holds
    // nothing of an output that turns out too long, and random pages are not
    // walked twice.
    const bool scratch_walk = limit <= kRleScratchLimit;
    thread_local std::vector<uint8_t> scratch;
    if (scratch_walk) {
      if (scratch.size() < limit) scratch.resize(limit);
      length = Walk(in, scratch.data(), n, limit);
    } else {
      length = Walk(in, nullptr, n, 0);
    }
    if (length > limit) {
      DebugPrintf("VariableLengthRLE: outindex: %u maxoutput: %u", length, limit);
      return 0;
    }
    if (scratch_walk) {
      std::memcpy(out, scratch.data(), length);
    } else {
      Walk(in, out, n, limit);
    }
  }
  DebugPrintf("VariableLengthRLE: Input size (%u) Output size (%u)", n, length);
  return length;
}

}  // namespace corvel::dsp
