// The device tools without a line: number parsing, byte texts, the ".cal"
// layout, sub-device addresses and the calibration display texts.
#include <cstring>

#include "core/protocol/devicepacket/ToolPackets.h"
#include "core/tool/devicetools/CalibrationData.h"
#include "core/tool/devicetools/PacketTester.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using Bytes = std::vector<uint8_t>;

Bytes ParseAll(const std::string& text) {
  Bytes values;
  std::size_t position = 0;
  for (int guard = 0; guard < 1000; ++guard) {
    const ParsedNumber n = ParseNextNumber(text, position);
    if (n.end) return values;
    values.push_back(n.value);
  }
  ADD_FAILURE() << "no end of list in " << text;
  return values;
}

TEST(ParseNextNumber, ReadsTheListsEngineersType) {
  const struct {
    const char* text;
    Bytes values;
  } cases[] = {
      {"1 2 3", {1, 2, 3}},
      {"0x10 0X20 ff", {0x10, 0x20}},
      {"0x1F,12 7", {0x1F, 12, 7}},
      {"12ab3", {12}},
      {"0xg", {}},
      {"0xg 5", {}},
      {"", {}},
      {"abc, -;", {}},
      {"300", {0x2C}},
      {"99999999999999999999", {0xFF}},
      {"0x 1F 2", {0x1F, 2}},
      {"0x", {}},
      {"7 0x", {7}},
      {"  010\t9\r\n", {10, 9}},
      {"0x0x5", {0, 5}},
      {"a5b6", {5}},
  };
  for (const auto& c : cases) EXPECT_EQ(ParseAll(c.text), c.values) << '"' << c.text << '"';
}

TEST(FormatPacketBytes, SixteenBytesToALine) {
  Bytes seventeen(17);
  for (std::size_t i = 0; i < seventeen.size(); ++i) seventeen[i] = static_cast<uint8_t>(i * 16 + 10);
  const std::string line1 =
      "0x0A 0x1A 0x2A 0x3A 0x4A 0x5A 0x6A 0x7A 0x8A 0x9A 0xAA 0xBA 0xCA 0xDA 0xEA 0xFA ";
  EXPECT_EQ(FormatPacketBytes(seventeen, false), line1 + "\r\n0x0A ");
  EXPECT_EQ(FormatPacketBytes(seventeen, true), "\r\n" + line1 + "\r\n0x0A ");
  EXPECT_EQ(FormatPacketBytes({}, true), "");
  EXPECT_EQ(FormatPacketBytes({1}, false), "0x01 ");
}

TEST(ModemSettingsLayout, FieldsAreZeroPaddedCutAndTrimmed) {
  const std::string init121(121, 'A');
  const auto data = devicepacket::EncodeModemSettings({init121, "  AT&L1 ", std::string(20, 'D')});
  EXPECT_EQ(data[120], 'A');
  EXPECT_EQ(data[121], ' ');
  EXPECT_EQ(data[122], ' ');
  EXPECT_EQ(data[129], 0);
  EXPECT_EQ(data[242], 'D');
  EXPECT_EQ(data[254], 'D');
  const auto back = devicepacket::DecodeModemSettings(data.data());
  EXPECT_EQ(back.dial_up_init, init121);  // no zero byte: the field alone, not the leased line text
  EXPECT_EQ(back.leased_line_init, "AT&L1");
  EXPECT_EQ(back.dial_up_command, std::string(13, 'D'));
}

TEST(CalibrationPayloads, ValuesTravelLeastSignificantByteFirst) {
  EXPECT_EQ(devicepacket::EncodeScaleFactors({1.5f}), Bytes({0x01, 0x01, 0x00, 0x00, 0xC0, 0x3F}));
  EXPECT_EQ(devicepacket::EncodeThresholds({0x1234, 7}), Bytes({0x02, 0x02, 0x34, 0x12, 0x07, 0x00}));
  EXPECT_EQ(devicepacket::EncodeScaleFactors({}), Bytes({0x01, 0x00}));
  EXPECT_EQ(devicepacket::EncodeThresholds({}), Bytes({0x02, 0x00}));
  EXPECT_EQ(devicepacket::kCalMaxScaleFactors, 63u);
  EXPECT_EQ(devicepacket::kCalMaxThresholds, 126u);
}

TEST(CalibrationFile, LayoutRoundTripsAndEveryTruncationIsRefused) {
  CalibrationData data;
  data.thresholds = {0x0102, 0xFFFF};
  data.scale_factors = {1.5f, -0.25f};
  const Bytes golden = {0x02, 0x00, 0x02, 0x01, 0xFF, 0xFF, 0x02, 0x00,
                        0x00, 0x00, 0xC0, 0x3F, 0x00, 0x00, 0x80, 0xBE};
  ASSERT_EQ(data.Serialize(), golden);
  auto parsed = ParseCalibrationFile(golden);
  ASSERT_TRUE(parsed.ok());
  EXPECT_EQ(*parsed, data);

  for (std::size_t n = 0; n < golden.size(); ++n) {
    auto cut = ParseCalibrationFile(std::span<const uint8_t>(golden.data(), n));
    ASSERT_FALSE(cut.ok()) << n;
    EXPECT_EQ(cut.error().kind, CalFileErrorKind::Truncated) << n;
  }
  Bytes longer = golden;
  longer.push_back(0);
  auto trailing = ParseCalibrationFile(longer);
  ASSERT_FALSE(trailing.ok());
  EXPECT_EQ(trailing.error().kind, CalFileErrorKind::TrailingBytes);
  EXPECT_EQ(trailing.error().offset, golden.size());

  EXPECT_EQ(CalibrationData{}.Serialize(), Bytes({0, 0, 0, 0}));
  auto empty = ParseCalibrationFile(Bytes{0, 0, 0, 0});
  ASSERT_TRUE(empty.ok());
  EXPECT_EQ(*empty, CalibrationData{});
  // Counts that promise more than the file holds, at the largest count.
  auto huge = ParseCalibrationFile(Bytes{0xFF, 0xFF, 1, 2});
  ASSERT_FALSE(huge.ok());
}

TEST(CalibrationAddress, BasePlusPositionWhenRelayed) {
  const struct {
    int equipment;
    int position;
    bool relayed;
    int address;
  } cases[] = {
      {2, 0, true, 0x0D}, {2, 2, true, 0x0F}, {7, 7, true, 0x27}, {1, 0, true, 0x20}, {3, 0, true, 0x00},
      {0, 5, true, 0x05}, {2, 3, false, 0x00}, {6, 7, true, 0x07}, {4, 1, true, 0x01}, {5, 0, false, 0x00},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(CalibrationSubAddress(c.equipment, c.position, c.relayed), c.address)
        << c.equipment << " " << c.position << " " << c.relayed;
  }
}

// 40 scale factors and 12 thresholds through every equipment entry.
TEST(CalibrationDisplay, EveryEquipmentEntryLabelsItsLists) {
  CalibrationData data;
  for (int i = 0; i < 40; ++i) data.scale_factors.push_back(static_cast<float>(i) + 0.5f);
  for (int i = 0; i < 12; ++i) data.thresholds.push_back(static_cast<uint16_t>(1000 + i));
  const struct {
    int equipment;
    int labelled_factors;
    const char* factor0;
    const char* factor_last_labelled;
    int labelled_thresholds;
    const char* threshold0;
  } cases[] = {
      {0, 0, "   0: 0.500000", nullptr, 0, "   0:     1000"},
      {1, 35, "W12 O/P Rej Pwr/W6 not used     0: 0.500000", "Ext Refl Mtr                   34: 34.500000", 10,
       "        SWR Shutback    0:     1000"},
      {2, 32, "  PA Current    0: 0.500000", "Ambient Temp   31: 31.500000", 2, "        SWR Shutback    0:     1000"},
      {3, 20, "        PDM B    0: 0.500000", " +24 Volt P/S   19: 19.500000", 8,
       "            LCD contrast    0:     1000"},
      {4, 32, "     not used    0: 0.500000", "  Temperature   31: 31.500000", 0, "   0:     1000"},
      {5, 22, "        PDM B    0: 0.500000", "  Temperature   21: 21.500000", 8,
       "    Refl. Power Shutback    0:     1000"},
      {6, 24, "        PDM B    0: 0.500000", "   P/S A Temp   23: 23.500000", 9,
       "    Refl. Power Shutback    0:     1000"},
      {7, 35, " O/P Rej Pwr    0: 0.500000", "Ext Refl Mtr   34: 34.500000", 10, "        SWR Shutback    0:     1000"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.equipment);
    std::vector<std::string> factors, thresholds;
    std::string text = ScaleFactorText(data, c.equipment);
    for (std::size_t at = 0;;) {
      const std::size_t end = text.find("\r\n", at);
      factors.push_back(text.substr(at, end - at));
      if (end == std::string::npos) break;
      at = end + 2;
    }
    text = ThresholdText(data, c.equipment);
    for (std::size_t at = 0;;) {
      const std::size_t end = text.find("\r\n", at);
      thresholds.push_back(text.substr(at, end - at));
      if (end == std::string::npos) break;
      at = end + 2;
    }
    ASSERT_EQ(factors.size(), 40u);
    ASSERT_EQ(thresholds.size(), 12u);
    EXPECT_EQ(factors[0], c.factor0);
    if (c.factor_last_labelled) {
      EXPECT_EQ(factors[c.labelled_factors - 1], c.factor_last_labelled);
    }
    char unlabelled[40];
    std::snprintf(unlabelled, sizeof unlabelled, "%4d: %8f", c.labelled_factors, c.labelled_factors + 0.5);
    EXPECT_EQ(factors[c.labelled_factors], unlabelled);
    EXPECT_EQ(factors[39], "  39: 39.500000");
    EXPECT_EQ(thresholds[0], c.threshold0);
    std::snprintf(unlabelled, sizeof unlabelled, "%4d: %8d", c.labelled_thresholds, 1000 + c.labelled_thresholds);
    EXPECT_EQ(thresholds[c.labelled_thresholds], unlabelled);
    EXPECT_EQ(thresholds[11].size(), 14u);
  }
}

TEST(CalibrationDisplay, LabelWidthsAndEmptyLists) {
  CalibrationData data;
  data.scale_factors.assign(20, 1.0f);
  data.thresholds.assign(8, 7);
  const std::string wide = ScaleFactorText(data, 1);
  // A long label fills the 28 characters from the left; a short one sits
  // right-aligned in 12 and then is filled to 28.
  const std::string blanks(40, ' ');
  for (const std::string& line : {"W12 E-H/W6 A-D Rej Pwr" + blanks.substr(0, 10) + "1: 1.000000",
                                  "C-D Rej Temp" + blanks.substr(0, 20) + "4: 1.000000",
                                  blanks.substr(0, 6) + "+5 VDC" + blanks.substr(0, 19) + "11: 1.000000"}) {
    EXPECT_NE(wide.find("\r\n" + line + "\r\n"), std::string::npos) << line;
  }
  // ZT thresholds: the eighth label is all blank.
  const std::string zt = ThresholdText(data, 5);
  EXPECT_EQ(zt.substr(zt.rfind("\r\n") + 2), std::string(24, ' ') + "    7:        7");

  CalibrationData one;
  one.scale_factors = {0, 0, 0, 1.5f};
  EXPECT_EQ(ScaleFactorText(one, 0).substr(ScaleFactorText(one, 0).rfind("\r\n") + 2), "   3: 1.500000");
  EXPECT_EQ(ThresholdText(one, 0), kCalNoData);
  EXPECT_EQ(ScaleFactorText(CalibrationData{}, 3), kCalNoData);
}

TEST(CalibrationTextExport, SectionsForTheListsThatArePresent) {
  CalibrationData data;
  data.scale_factors = {1.5f, 0.25f};
  EXPECT_EQ(CalibrationTextExport(data, 0), "Unknown NewScaleFacts:\r\n   0: 1.500000\r\n   1: 0.250000\r\n\r\n");
  data.thresholds = {5};
  EXPECT_EQ(CalibrationTextExport(data, 2),
            "K35 FM Exciter NewScaleFacts:\r\n  PA Current    0: 1.500000\r\n FM2 Fwd Pwr    1: 0.250000\r\n\r\n"
            "K35 FM Exciter Analog Thresholds:\r\n        SWR Shutback    0:        5\r\n\r\n");
  EXPECT_EQ(CalibrationTextExport(CalibrationData{}, 1), "");
}

}  // namespace
}  // namespace corvel::test
