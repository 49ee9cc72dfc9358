// The DSP loader's wire format without a port: frames, the memory map and
// the page compression, pinned by golden byte strings.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/protocol/dsp/DspProtocol.h"

namespace corvel::dsp {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes Rle(const Bytes& in, uint32_t limit = kRleNoLimit) {
  Bytes out(in.size() * 2 + 16);
  const uint32_t n = VariableLengthRLE(in.data(), out.data(), static_cast<uint32_t>(in.size()), limit);
  out.resize(n);
  return out;
}

Bytes Repeat(const Bytes& pattern, int times) {
  Bytes out;
  for (int i = 0; i < times; ++i) out.insert(out.end(), pattern.begin(), pattern.end());
  return out;
}

TEST(DspFrame, GoldenFrames) {
  struct Case {
    const char* name;
    uint8_t type;
    uint32_t address;
    Bytes data;
    Bytes frame;
  };
  const Case cases[] = {
      {"memory map request", 0x9E, 0, {}, {0x9E, 0, 0, 0, 0, 0, 0, 0xFF, 0x62}},
      {"commit of a blank block", 0x95, 0x20000, {0x00, 0x00, 0x02, 0xFE},
       {0x95, 0x00, 0x00, 0x02, 0x00, 0x04, 0x00, 0x00, 0x00, 0x02, 0xFE, 0xFE, 0x65}},
      {"first page of a blank block", 0x91, 0x20000, {0x5C, 0x23, 0x01, 0x00, 0x00, 0x40, 0xFF, 0x00, 0x40},
       {0x91, 0x00, 0x00, 0x02, 0x00, 0x09, 0x00, 0x5C, 0x23, 0x01, 0x00, 0x00, 0x40, 0xFF, 0x00, 0x40, 0xFD, 0x65}},
  };
  for (const auto& c : cases) {
    DspLoaderPacket packet;
    packet.Fill(c.type, c.address, c.data);
    const auto frame = packet.Encode();
    ASSERT_TRUE(frame) << c.name;
    EXPECT_EQ(*frame, c.frame) << c.name;
    EXPECT_TRUE(FrameChecksumHolds(*frame)) << c.name;
    const auto header = DecodeHeader(std::span<const uint8_t, kHeaderLength>(frame->data(), kHeaderLength));
    EXPECT_EQ(header.type, c.type);
    EXPECT_EQ(header.address, c.address);
    EXPECT_EQ(header.length, c.data.size());
  }
}

TEST(DspFrame, AnyChangedByteBreaksTheChecksum) {
  DspLoaderPacket packet;
  packet.Fill(0x93, 0x12345678, Bytes{0xC1, 1, 2, 3});
  const Bytes frame = *packet.Encode();
  for (std::size_t i = 0; i < frame.size(); ++i) {
    Bytes bad = frame;
    bad[i] ^= 0x01;
    EXPECT_FALSE(FrameChecksumHolds(bad)) << "byte " << i;
  }
  EXPECT_FALSE(FrameChecksumHolds(Bytes{0x99, 0, 0}));
}

TEST(DspFrame, LargestDataFitsAndOneMoreDoesNot) {
  DspLoaderPacket packet;
  packet.Fill(0x90, 0, Bytes(kMaxDataLength, 0xA5));
  const auto frame = packet.Encode();
  ASSERT_TRUE(frame);
  EXPECT_EQ(frame->size(), kMaxDataLength + kFrameOverhead);
  EXPECT_TRUE(FrameChecksumHolds(*frame));
  packet.data.push_back(0);
  EXPECT_FALSE(packet.Encode());
}

TEST(DspRle, WorkedExamples) {
  struct Case {
    const char* name;
    Bytes in;
    Bytes out;
  };
  Bytes ten_zeros_backslash(10, 0x00);
  ten_zeros_backslash.push_back(0x5C);
  const Case cases[] = {
      {"abc", {0x61, 0x62, 0x63}, {0x61, 0x62, 0x63, 0xDA, 0xFE}},
      {"ten zeros then a backslash", ten_zeros_backslash,
       {0x5C, 0x23, 0x01, 0x00, 0x0A, 0x00, 0x00, 0x5C, 0x5C, 0xA4, 0xFF}},
      {"blank page", Bytes(16384, 0xFF), {0x5C, 0x23, 0x01, 0x00, 0x00, 0x40, 0xFF, 0x00, 0x40}},
      {"41 42 four times stays literal", Repeat({0x41, 0x42}, 4),
       {0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0x41, 0x42, 0xF4, 0xFD}},
      {"41 42 five times is one run", Repeat({0x41, 0x42}, 5),
       {0x5C, 0x23, 0x02, 0x00, 0x05, 0x00, 0x41, 0x42, 0x71, 0xFD}},
      {"seven equal bytes stay literal", Bytes(7, 0x11), {0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x11, 0x89, 0xFF}},
      {"eight equal bytes are a run", Bytes(8, 0x11), {0x5C, 0x23, 0x01, 0x00, 0x08, 0x00, 0x11, 0x78, 0xFF}},
      {"a backslash inside a run pattern is not doubled", Bytes(8, 0x5C),
       {0x5C, 0x23, 0x01, 0x00, 0x08, 0x00, 0x5C, 0x20, 0xFD}},
      {"empty input is the trailer alone", {}, {0x00, 0x00}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Rle(c.in), c.out) << c.name;
    // The counting pass agrees with the writing pass.
    EXPECT_EQ(VariableLengthRLE(c.in.data(), nullptr, static_cast<uint32_t>(c.in.size()), 0), c.out.size()) << c.name;
  }
}

TEST(DspRle, OutputLimit) {
  const Bytes abc = {0x61, 0x62, 0x63};
  EXPECT_EQ(Rle(abc, 5).size(), 5u);   // exactly at the limit
  EXPECT_EQ(Rle(abc, 4).size(), 0u);   // one over: refused, nothing written
  Bytes out(8, 0xEE);
  EXPECT_EQ(VariableLengthRLE(abc.data(), out.data(), 3, 4), 0u);
  EXPECT_EQ(out, Bytes(8, 0xEE));
  EXPECT_EQ(VariableLengthRLE(abc.data(), out.data(), 3, 0), 5u);  // counting writes nothing
  EXPECT_EQ(out, Bytes(8, 0xEE));
}

// An independent decoder: what the loader would rebuild from the stream.
Bytes Decode(const Bytes& s) {
  Bytes out;
  std::size_t i = 0;
  const std::size_t end = s.size() - 2;
  while (i < end) {
    if (s[i] == 0x5C && s[i + 1] == 0x5C) {
      out.push_back(0x5C);
      i += 2;
    } else if (s[i] == 0x5C && s[i + 1] == 0x23) {
      const std::size_t L = s[i + 2] | s[i + 3] << 8;
      const std::size_t K = s[i + 4] | s[i + 5] << 8;
      for (std::size_t k = 0; k < K; ++k) out.insert(out.end(), s.begin() + i + 6, s.begin() + i + 6 + L);
      i += 6 + L;
    } else {
      out.push_back(s[i++]);
    }
  }
  return out;
}

TEST(DspRle, RoundTripsAndNeverGrowsPastTheLimit) {
  std::mt19937 random(7);
  for (int round = 0; round < 200; ++round) {
    Bytes page(1 + random() % 2048);
    // Code-like: stretches of repeats, short patterns, backslashes and noise.
    for (std::size_t i = 0; i < page.size();) {
      const int kind = random() % 4;
      const std::size_t len = std::min<std::size_t>(page.size() - i, 1 + random() % 60);
      for (std::size_t k = 0; k < len; ++k) {
        page[i + k] = kind == 0   ? 0xFF
                      : kind == 1 ? static_cast<uint8_t>(0x5C + (k % 3))
                      : kind == 2 ? static_cast<uint8_t>(k % 5)
                                  : static_cast<uint8_t>(random());
      }
      i += len;
    }
    const Bytes encoded = Rle(page);
    ASSERT_GE(encoded.size(), 2u);
    EXPECT_EQ(Decode(encoded), page) << "round " << round;
    const uint16_t trailer = static_cast<uint16_t>(encoded[encoded.size() - 2] | encoded.back() << 8);
    EXPECT_EQ(trailer, PageChecksum(page));
    const Bytes limited = Rle(page, static_cast<uint32_t>(page.size()));
    EXPECT_TRUE(limited.empty() || limited == encoded);
    EXPECT_EQ(limited.empty(), encoded.size() > page.size());
  }
}

// The compressor as its rule reads, with no shortcut: every pattern length
// at every position. The real one must choose exactly the same items.
Bytes ReferenceRle(const Bytes& in) {
  Bytes out;
  std::size_t i = 0;
  while (i < in.size()) {
    long best = 7;
    std::size_t best_l = 0, best_k = 0;
    for (std::size_t l = 1; l <= 32 && l <= in.size() - i; ++l) {
      std::size_t k = 1;
      while (i + (k + 1) * l <= in.size() && std::equal(in.begin() + i, in.begin() + i + l, in.begin() + i + k * l)) ++k;
      const long score = static_cast<long>(k * l) - static_cast<long>(l - 1);
      if (score > best) {
        best = score;
        best_l = l;
        best_k = k;
      }
    }
    if (best_l != 0) {
      out.insert(out.end(), {0x5C, 0x23, static_cast<uint8_t>(best_l), 0, static_cast<uint8_t>(best_k),
                             static_cast<uint8_t>(best_k >> 8)});
      out.insert(out.end(), in.begin() + i, in.begin() + i + best_l);
      i += best_l * best_k;
    } else {
      if (in[i] == 0x5C) out.push_back(0x5C);
      out.push_back(in[i++]);
    }
  }
  const uint16_t trailer = PageChecksum(in);
  out.push_back(static_cast<uint8_t>(trailer));
  out.push_back(static_cast<uint8_t>(trailer >> 8));
  return out;
}

TEST(DspRle, ChoosesTheSameItemsAsTheRuleOnMixedPages) {
  std::mt19937 random(21);
  for (int round = 0; round < 60; ++round) {
    Bytes page(1 + random() % 1500);
    for (auto& b : page) b = static_cast<uint8_t>(random());
    // Plant repeats of every pattern length near the start, the middle and the end.
    for (int plant = 0; plant < 6; ++plant) {
      const std::size_t l = 1 + random() % 32;
      const std::size_t copies = 1 + random() % 9;
      const std::size_t at = random() % page.size();
      for (std::size_t k = 0; k < l * copies && at + l + k < page.size(); ++k) page[at + l + k] = page[at + k % l];
    }
    EXPECT_EQ(Rle(page), ReferenceRle(page)) << "round " << round;
  }
}

TEST(DspRle, RandomPageDoesNotFitItsOwnSize) {
  std::mt19937 random(11);
  Bytes page(16384);
  for (auto& b : page) b = static_cast<uint8_t>(random());
  EXPECT_EQ(Rle(page, 16384).size(), 0u);
}

TEST(DspChecksums, BlockAndPage) {
  EXPECT_EQ(BlockChecksum(Bytes(0x20000, 0xFF)), 0xFE020000u);
  EXPECT_EQ(BlockChecksum(Bytes{}), 0u);
  EXPECT_EQ(BlockChecksum(Bytes{1}), 0xFFFFFFFFu);
  EXPECT_EQ(PageChecksum(Bytes{0x61, 0x62, 0x63}), 0xFEDA);
}

Bytes MapReply(uint32_t sections, uint32_t block_size, std::size_t length) {
  Bytes m(std::max<std::size_t>(length, kMapLength), 0);
  PutLe32(&m[kMapBoardIdOffset], 0x11223344);
  PutLe32(&m[kMapLoaderVersionOffset], 0x00010002);
  const char name[] = "QXBD51";
  std::copy(name, name + sizeof name - 1, m.begin() + kMapBoardNameOffset);
  PutLe32(&m[kMapBlockSizeOffset], block_size);
  PutLe32(&m[kMapMinAddressOffset], 0x20000);
  PutLe32(&m[kMapMaxAddressOffset], 0x3FFFFF);
  PutLe32(&m[kMapSectionCountOffset], sections);
  for (std::size_t k = 0; k < kMaxSections; ++k) {
    uint8_t* r = &m[kMapSectionsOffset + k * kMapSectionLength];
    PutLe32(r + kSectionStartOffset, static_cast<uint32_t>(0x20000 * (k + 1)));
    PutLe32(r + kSectionSizeOffset, 0x20000);
    r[kSectionExtensionOffset] = 'b';
    r[kSectionExtensionOffset + 1] = 'i';
    r[kSectionExtensionOffset + 2] = 'n';
    PutLe32(r + kSectionChecksumOffset, k == 0 ? 1 : 0);
    PutLe32(r + kSectionDuplicateOffset, k == 2 ? 1 : 0);
    r[kSectionNameOffset] = static_cast<uint8_t>('A' + k);
    PutLe32(r + kSectionFlagsOffset, static_cast<uint32_t>(k));
  }
  m.resize(length);
  return m;
}

TEST(DspMemoryMap, SectionsCountAndLength) {
  struct Case {
    const char* name;
    uint32_t sections;
    std::size_t length;
    uint32_t kept;
    int valid;
  };
  const Case cases[] = {
      {"full map", 5, 320, 5, 5},
      {"seven claimed, five kept", 7, 320, 5, 5},
      {"three sections", 3, 320, 3, 3},
      {"128 bytes carry only record 0", 3, 128, 3, 1},
      {"a record cut short is left empty", 3, 127, 3, 0},
      {"no sections", 0, 320, 0, 0},
      {"header alone", 5, 80, 5, 0},
  };
  for (const auto& c : cases) {
    const auto map = DecodeMemoryMap(MapReply(c.sections, 0x20000, c.length));
    ASSERT_TRUE(map) << c.name;
    EXPECT_EQ(map->reported_sections, c.sections) << c.name;
    EXPECT_EQ(map->num_sections, c.kept) << c.name;
    int valid = 0;
    for (const auto& s : map->sections) valid += s.valid;
    EXPECT_EQ(valid, c.valid) << c.name;
    for (int k = c.valid; k < 5; ++k) {
      EXPECT_EQ(map->sections[k].size, 0u) << c.name;
      EXPECT_TRUE(map->sections[k].section_name.empty()) << c.name;
    }
  }
  EXPECT_FALSE(DecodeMemoryMap(MapReply(5, 0x20000, 79)));
  EXPECT_FALSE(DecodeMemoryMap(Bytes{}));
}

TEST(DspMemoryMap, FieldsAndPageSize) {
  const auto map = DecodeMemoryMap(MapReply(5, 0x20000, 320));
  ASSERT_TRUE(map);
  EXPECT_EQ(map->board_id, 0x11223344u);
  EXPECT_EQ(map->flash_loader_version, 0x00010002u);
  EXPECT_EQ(map->board_name, "QXBD51");
  EXPECT_EQ(map->min_allowed_address, 0x20000u);
  EXPECT_EQ(map->max_allowed_address, 0x3FFFFFu);
  const auto& s2 = map->sections[2];
  EXPECT_EQ(s2.start_address, 0x60000u);
  EXPECT_EQ(s2.size, 0x20000u);
  EXPECT_EQ(s2.extension, "bin");
  EXPECT_EQ(s2.section_name, "C");
  EXPECT_EQ(s2.requires_duplicate, 1u);
  EXPECT_EQ(s2.requires_checksum, 0u);
  EXPECT_EQ(s2.special_flags, 2u);
  EXPECT_EQ(map->sections[0].requires_checksum, 1u);

  const std::pair<uint32_t, uint32_t> pages[] = {
      {0x2000, 0x2000}, {0x3FFF, 0x3FFF}, {0x4000, 0x4000}, {0x8000, 0x4000}, {0x40000, 0x4000}, {0, 0}};
  for (auto [block, page] : pages) {
    const auto m = DecodeMemoryMap(MapReply(1, block, 320));
    ASSERT_TRUE(m);
    EXPECT_EQ(m->block_size, block);
    EXPECT_EQ(m->page_size, page) << std::hex << block;
  }
}

TEST(DspMemoryMap, TextsWithoutTheirZeroStopAtTheField) {
  Bytes m = MapReply(1, 0x20000, 320);
  std::fill_n(m.begin() + kMapBoardNameOffset, kMapBoardNameLength, 'N');
  std::fill_n(m.begin() + kMapSectionsOffset + kSectionExtensionOffset, kSectionExtensionLength, 'e');
  std::fill_n(m.begin() + kMapSectionsOffset + kSectionNameOffset, kSectionNameLength, 's');
  const auto map = DecodeMemoryMap(m);
  ASSERT_TRUE(map);
  EXPECT_EQ(map->board_name, std::string(kMapBoardNameLength, 'N'));
  EXPECT_EQ(map->sections[0].extension, "eeee");
  EXPECT_EQ(map->sections[0].section_name, std::string(kSectionNameLength, 's'));
}

TEST(DspMemoryMap, FixedMapOfALoaderWithoutOne) {
  const DspMemoryMap map = FixedMemoryMap();
  EXPECT_EQ(map.board_name, "QXBD41");
  EXPECT_EQ(map.num_sections, 1u);
  EXPECT_TRUE(map.sections[0].valid);
  EXPECT_EQ(map.sections[0].section_name, "Firmware");
  EXPECT_EQ(map.sections[0].extension, "ldr");
  EXPECT_EQ(map.sections[0].start_address, 0x20000u);
  EXPECT_EQ(map.sections[0].size, 0xC0000u);
  EXPECT_EQ(map.sections[0].requires_checksum, 1u);
  EXPECT_FALSE(map.sections[1].valid);
  EXPECT_EQ(map.block_size, 0x20000u);
  EXPECT_EQ(map.page_size, 16384u);
  EXPECT_EQ(map.max_allowed_address, 0xDFFFFu);
}

}  // namespace
}  // namespace corvel::dsp
