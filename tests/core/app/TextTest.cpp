// The shared text helpers: ASCII case rules, trimming, checked formatting.
#include <gtest/gtest.h>

#include "core/base/Text.h"
#include "core/tool/app/ToolLauncher.h"

namespace corvel::test {
namespace {

TEST(Text, CaseRulesArePlainAscii) {
  struct Case {
    std::string a;
    std::string b;
    bool equal;
    bool starts;
  };
  const Case cases[] = {
      {"Controller_V2", "CONTROLLER_v2", true, true},
      {"abc", "ab", false, true},
      {"ab", "abc", false, false},  // a prefix longer than the text
      {"", "", true, true},
      {"\xE9t\xE9", "\xC9T\xC9", false, false},  // Latin-1 letters are not folded
      {"a_b", "A-B", false, false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(EqualsNoCase(c.a, c.b), c.equal) << c.a << " / " << c.b;
    EXPECT_EQ(StartsWithNoCase(c.a, c.b), c.starts) << c.a << " / " << c.b;
  }
  EXPECT_EQ(Upper("mixed Case 1_z"), "MIXED CASE 1_Z");
}

TEST(Text, TrimTakesOnlyTheGivenCharactersFromTheEnds) {
  struct Case {
    std::string text;
    const char* chars;
    std::string trimmed;
  };
  const Case cases[] = {
      {"  A1 \r\n", kWhiteSpace, "A1"},
      {"\t\v\f", kWhiteSpace, ""},
      {"", kWhiteSpace, ""},
      {"a b", kWhiteSpace, "a b"},  // inner blanks stay
      {"--x--", "-", "x"},
      {" x ", "-", " x "},
  };
  for (const auto& c : cases) EXPECT_EQ(Trim(c.text, c.chars), c.trimmed) << '"' << c.text << '"';
}

TEST(Text, FormatHoldsLongTexts) {
  const std::string long_name(1000, 'p');
  EXPECT_EQ(Format("%s!", long_name.c_str()).size(), 1001u);
  EXPECT_EQ(Format("0x%.8X", 0x1DF04u), "0x0001DF04");
  EXPECT_EQ(FailedToOpenPort("COM9"), "Failed to open COM9!");
}

}  // namespace
}  // namespace corvel::test
