// The boot loader frames, byte for byte, without any port.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "core/protocol/atmel/AtmelProtocol.h"

namespace corvel::atmel {
namespace {

using Bytes = std::vector<uint8_t>;

TEST(AtmelProtocol, FixedCodesHaveTheDocumentedBytes) {
  const auto wake = WakeUpCode();
  EXPECT_EQ(Bytes(wake.begin(), wake.end()), (Bytes{0x54, 0x4C, 0x4D, 0x4B, 0x3C, 0xC3, 0xA5, 0x5A}));
  const auto entry = EnterBootLoaderCode();
  EXPECT_EQ(Bytes(entry.begin(), entry.end()), (Bytes{'E', 'N', 'T', 'R', 'B', 'L', 'D', 'R'}));
}

TEST(AtmelProtocol, RequestsEncodeToTheWireBytes) {
  struct Case {
    const char* name;
    Bytes encoded;
    Bytes expected;
  };
  const Case cases[] = {
      // 0x10000 - 0x74 = 0xFF8C
      {"version query", ShortRequest{kCmdQueryBootLoaderVersion}.Encode(), {0x74, 0xFF, 0x8C}},
      {"start", ShortRequest{kCmdStartApplication}.Encode(), {0x72, 0xFF, 0x8E}},
      {"high speed", ShortRequest{kCmdHighSpeed}.Encode(), {0x7B, 0xFF, 0x85}},
      {"normal speed", ShortRequest{kCmdNormalSpeed}.Encode(), {0x7C, 0xFF, 0x84}},
      // 0x76 + 0x00 + 0xDF + 0x01 = 0x156 -> 0xFEAA; address LSB first
      {"read flash 0x1DF00", AddressedRequest{kCmdReadFlash, 0x1DF00}.Encode(),
       {0x76, 0x00, 0xDF, 0x01, 0x00, 0xFE, 0xAA}},
      // 0x79 + 0x78 + 0x56 + 0x34 + 0x12 = 0x18D -> 0xFE73
      {"erase page 0x12345678", AddressedRequest{kCmdEraseFlashPage, 0x12345678}.Encode(),
       {0x79, 0x78, 0x56, 0x34, 0x12, 0xFE, 0x73}},
      {"erase EEPROM block 0xFF0", AddressedRequest{kCmdEraseEepromBlock, 0xFF0}.Encode(),
       {0x7A, 0xF0, 0x0F, 0x00, 0x00, 0xFE, 0x87}},
  };
  for (const auto& c : cases) EXPECT_EQ(c.encoded, c.expected) << c.name;
}

TEST(AtmelProtocol, WritesCarryAddressDataAndChecksum) {
  std::array<uint8_t, kFlashPageSize> page{};
  std::iota(page.begin(), page.end(), 0);  // sum 0..255 = 0x7F80
  const Bytes flash = FlashWriteRequest{0x100, page}.Encode();
  ASSERT_EQ(flash.size(), 263u);
  EXPECT_EQ(Bytes(flash.begin(), flash.begin() + 5), (Bytes{0x75, 0x00, 0x01, 0x00, 0x00}));
  EXPECT_EQ(flash[5], 0);
  EXPECT_EQ(flash[260], 255);
  // 0x75 + 0x01 + 0x7F80 = 0x7FF6 -> 0x800A
  EXPECT_EQ(flash[261], 0x80);
  EXPECT_EQ(flash[262], 0x0A);

  const Bytes block(16, 0xAB);
  const Bytes eeprom = EepromWriteRequest{0x7F0, block}.Encode();
  ASSERT_EQ(eeprom.size(), 23u);
  EXPECT_EQ(Bytes(eeprom.begin(), eeprom.begin() + 5), (Bytes{0x77, 0xF0, 0x07, 0x00, 0x00}));
  // 0x77 + 0xF0 + 0x07 + 16 * 0xAB = 0xC1E -> 0xF3E2
  EXPECT_EQ(eeprom[21], 0xF3);
  EXPECT_EQ(eeprom[22], 0xE2);
}

Bytes WithChecksum(Bytes body) {
  uint32_t sum = 0;
  for (uint8_t b : body) sum += b;
  const uint16_t cs = static_cast<uint16_t>(0x10000 - (sum & 0xFFFF));
  body.push_back(static_cast<uint8_t>(cs >> 8));
  body.push_back(static_cast<uint8_t>(cs));
  return body;
}

TEST(AtmelProtocol, RepliesDecodeTheirFields) {
  auto version = VersionReply::Decode(WithChecksum({0x74, 0x04, 0x03, 0x02, 0x01}));
  ASSERT_TRUE(version);
  EXPECT_EQ(version->version, 0x01020304u);

  auto status = StatusReply::Decode(WithChecksum({0, 0, 0, 0, 0, 1}));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->status, 1);

  auto echo = ShortReply::Decode(WithChecksum({0x7B}));
  ASSERT_TRUE(echo);
  EXPECT_EQ(echo->echo, 0x7B);

  Bytes data = {1, 2, 3, 4, 5};
  for (int i = 0; i < 256; ++i) data.push_back(static_cast<uint8_t>(255 - i));
  auto read = DataReply::Decode(WithChecksum(data));
  ASSERT_TRUE(read);
  EXPECT_EQ(read->data[0], 255);
  EXPECT_EQ(read->data[255], 0);
}

TEST(AtmelProtocol, ApplicationDescriptionEndsAtItsFirstNulOrIsTakenWhole) {
  struct Case {
    std::string text;  // the 20 description bytes
    std::string expected;
  };
  const Case cases[] = {
      {std::string("Exciter\0junk after", 18) + std::string(2, '\0'), "Exciter"},
      {"ABCDEFGHIJKLMNOPQRST", "ABCDEFGHIJKLMNOPQRST"},  // 20 characters, no NUL
      {std::string(20, '\0'), ""},
  };
  for (const auto& c : cases) {
    Bytes body = {0x73, 0x07, 0x01, 0x00, 0x02};
    body.insert(body.end(), c.text.begin(), c.text.end());
    auto reply = ApplicationReply::Decode(WithChecksum(body));
    ASSERT_TRUE(reply);
    EXPECT_EQ(reply->description, c.expected);
    EXPECT_EQ(reply->version, 0x02000107u);
  }
}

// Every truncated prefix, every flipped byte and an extra byte fail to decode.
template <typename Reply>
void ExpectOnlyTheWholeValidFrameDecodes(const Bytes& frame) {
  ASSERT_TRUE(Reply::Decode(frame)) << "the frame itself";
  for (std::size_t n = 0; n < frame.size(); ++n) {
    EXPECT_FALSE(Reply::Decode(std::span<const uint8_t>(frame.data(), n))) << "prefix " << n;
  }
  for (std::size_t i = 0; i < frame.size(); ++i) {
    Bytes bad = frame;
    bad[i] ^= 0x10;
    EXPECT_FALSE(Reply::Decode(bad)) << "byte " << i << " changed";
  }
  Bytes longer = frame;
  longer.push_back(0);
  EXPECT_FALSE(Reply::Decode(longer));
}

TEST(AtmelProtocol, OnlyWholeFramesWithAValidChecksumDecode) {
  ExpectOnlyTheWholeValidFrameDecodes<ShortReply>(WithChecksum({0x7C}));
  ExpectOnlyTheWholeValidFrameDecodes<VersionReply>(WithChecksum({0, 1, 2, 3, 4}));
  ExpectOnlyTheWholeValidFrameDecodes<StatusReply>(WithChecksum({0, 0, 0, 0, 0, 1}));
  ExpectOnlyTheWholeValidFrameDecodes<ApplicationReply>(WithChecksum(Bytes(25, 0x41)));
  ExpectOnlyTheWholeValidFrameDecodes<DataReply>(WithChecksum(Bytes(261, 0x5A)));
}

TEST(AtmelProtocol, AllZeroBytesAreNoReply) {
  // Zeros sum to a "valid" checksum; only a complete reply counts, and the
  // status must still be non-zero for the command layer.
  auto status = StatusReply::Decode(Bytes(8, 0));
  ASSERT_TRUE(status);
  EXPECT_EQ(status->status, 0);
  EXPECT_FALSE(VersionReply::Decode(Bytes(0, 0)));
}

}  // namespace
}  // namespace corvel::atmel
