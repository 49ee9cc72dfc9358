// SHA-256 against the published test vectors, and split input against whole.
#include <gtest/gtest.h>

#include <string>

#include "core/base/Sha256.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

TEST(Sha256, KnownVectors) {
  const struct {
    std::string input;
    const char* digest;
  } cases[] = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      {"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmnopqrstnopqrstu",
       "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const auto& c : cases) EXPECT_EQ(Sha256::HexOf(c.input), c.digest) << c.input.size() << " bytes";
}

TEST(Sha256, InputSplitAnywhereGivesTheSameDigest) {
  // Lengths around the padding's edges: 55 fits the length in the block, 56 does not.
  for (std::size_t length : {0u, 1u, 55u, 56u, 63u, 64u, 65u, 119u, 120u, 128u, 1000u}) {
    std::string input(length, '\0');
    for (std::size_t i = 0; i < length; ++i) input[i] = static_cast<char>(i * 7 + 3);
    const std::string whole = Sha256::HexOf(input);
    for (std::size_t split : {std::size_t{0}, length / 3, length / 2, length}) {
      Sha256 hash;
      hash.Update(std::string_view(input).substr(0, split));
      hash.Update(std::string_view(input).substr(split));
      EXPECT_EQ(Sha256::Hex(hash.Finish()), whole) << length << " split at " << split;
    }
  }
  // The object starts afresh after Finish.
  Sha256 reused;
  reused.Update("abc");
  (void)reused.Finish();
  reused.Update("abc");
  EXPECT_EQ(Sha256::Hex(reused.Finish()), Sha256::HexOf("abc"));
}

TEST(Sha256, FileFingerprintTakesOnlyBoundedRegularFiles) {
  TempDir dir;
  WriteText(dir.File("abc.txt"), "abc");
  EXPECT_EQ(FileSha256(dir.File("abc.txt"), 100), Sha256::HexOf("abc"));
  EXPECT_EQ(FileSha256(dir.File("abc.txt"), 2), std::nullopt);  // larger than the bound
  EXPECT_EQ(FileSha256(dir.Path(), 100), std::nullopt);         // a folder
  EXPECT_EQ(FileSha256(dir.File("missing"), 100), std::nullopt);
}

}  // namespace
}  // namespace corvel::test
