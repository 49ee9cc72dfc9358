// EEPROM utilities: reading a large definition library (done every time the
// utilities window opens) and decoding, encoding and rendering a 32 KiB image
// (done on every load and edit). Prints the median times and their ratio to
// the bounds: parse under 50 ms, decode+encode+render under 5 ms.
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "core/format/eeprom/EepromCompare.h"
#include "core/format/eeprom/EepromDefinitionLibrary.h"
#include "core/format/eeprom/EepromImage.h"

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// Ten included files of twenty descriptions each, 2000 lines per file, with
// symbols, comments, labels, arrays, checksums and continuation lines.
std::string WriteLibrary(const std::filesystem::path& folder, int& lines) {
  std::filesystem::create_directories(folder / "parts");
  std::string top = "// generated library\n#define GAIN_POINTS -a8\n#define SERIAL_FIELD DWORD SERIAL -hex\n";
  lines = 3;
  for (int f = 0; f < 10; ++f) {
    top += "#include parts\\part" + std::to_string(f) + ".txt\n";
    ++lines;
    std::string text = "// part " + std::to_string(f) + "\n#define LOCAL_" + std::to_string(f) + " WORD\n";
    int file_lines = 2;
    for (int d = 0; d < 20; ++d) {
      const std::string name = "DESC_" + std::to_string(f) + "_" + std::to_string(d);
      const bool file_type = d % 5 == 0;
      text += name + " -start -crc16" +
              (file_type ? " -file -equip\"EQ" + std::to_string(f) + "\" -swver\"" + std::to_string(d) + ".0\"" : "") +
              " \\\n    -label\"Description " + name + "\\n\\tgenerated\"\n";
      file_lines += 2;
      text += "  SERIAL_FIELD\n";
      ++file_lines;
      if (d > 0) {
        text += "  DESC_" + std::to_string(f) + "_" + std::to_string(d - 1) + " PREVIOUS -skip\n";
        ++file_lines;
      }
      const int fields = 96;  // 2000 lines per file in all
      for (int i = 0; i < fields - (d > 0 ? 1 : 0); ++i) {
        switch (i % 6) {
          case 0: text += "  BYTE MODE_" + std::to_string(i) + " -hex   // mode bits\n"; break;
          case 1: text += "  LOCAL_" + std::to_string(f) + " LEVEL_" + std::to_string(i) + "[4] -chk\n"; break;
          case 2: text += "  FLOAT GAIN_" + std::to_string(i) + " GAIN_POINTS\n"; break;
          case 3: text += "  INT TRIM_" + std::to_string(i) + " -label\"trim in 0.1 dB\"\n"; break;
          case 4: text += "  BYTE NAME_" + std::to_string(i) + " -a12,1 -char\n"; break;
          default: text += "  UINT32_T COUNT_" + std::to_string(i) + "; // counter\n"; break;
        }
        ++file_lines;
      }
      text += name + " -end\n";
      ++file_lines;
    }
    lines += file_lines;
    std::ofstream(folder / "parts" / ("part" + std::to_string(f) + ".txt")) << text;
  }
  const auto path = folder / "EEPROM_library_definitions.txt";
  std::ofstream(path) << top;
  return path.string();
}

// A 32768-byte layout: 63 blocks of 512 bytes with their own CRC-16, a tail,
// and the CRC-32 of the whole.
const char* kImageLibrary =
    "BLOCK -start -crc16\n"
    "WORD W -a32 -hex\nFLOAT F -a32\nBYTE B -a256\nDWORD D -a15\nINT I\n"
    "BLOCK -end\n"
    "IMAGE -start -file -crc32\n"
    "BLOCK BLOCKS -a63\nBYTE TAIL -a508\n"
    "IMAGE -end\n";

}  // namespace

int main() {
  const auto folder = std::filesystem::temp_directory_path() / ("corvel-bench-eeprom-" + std::to_string(::getpid()));
  int lines = 0;
  const std::string path = WriteLibrary(folder, lines);

  std::vector<double> parse_ms;
  std::size_t descriptions = 0;
  for (int run = 0; run < 15; ++run) {
    corvel::EepromDefinitionLibrary library;
    const auto t0 = Clock::now();
    const bool ok = library.Load(path).ok();
    const auto t1 = Clock::now();
    if (!ok) {
      std::fprintf(stderr, "the generated library did not load\n");
      return 1;
    }
    descriptions = library.DescriptionCount();
    parse_ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
  }
  std::filesystem::remove_all(folder);

  corvel::EepromDefinitionLibrary image_library(
      [](const std::string&) -> std::optional<std::string> { return std::string(kImageLibrary); });
  if (!image_library.Load("image.txt")) return 1;
  corvel::EepromImage image(image_library.Instantiate("IMAGE"));
  const uint32_t size = image.Root()->ItemSize();
  image.Bytes().Allocate(size);
  for (uint32_t i = 0; i < size; ++i) image.Bytes().data()[i] = static_cast<uint8_t>(i * 7 + 3);

  std::vector<double> cycle_ms, tree_ms;
  std::size_t text_bytes = 0;
  for (int run = 0; run < 40; ++run) {
    const auto t0 = Clock::now();
    image.Decode();
    image.Encode();
    const std::string text = image.Text();
    const auto t1 = Clock::now();
    const auto tree = corvel::BuildEepromTree(*image.Root());
    const auto t2 = Clock::now();
    text_bytes = text.size();
    cycle_ms.push_back(std::chrono::duration<double, std::milli>(t1 - t0).count());
    tree_ms.push_back(std::chrono::duration<double, std::milli>(t2 - t1).count());
  }

  // Two 32 KiB images of the largest sample type, loaded and compared as the
  // window's compare mode does.
  const std::string samples = std::string(CORVEL_SOURCE_DIR) + "/data/eeprom/";
  corvel::EepromDefinitionLibrary sample_library;
  if (!sample_library.Load(samples + "EEPROM_library_definitions.txt")) return 1;
  std::vector<double> compare_ms;
  std::size_t differences = 0;
  for (int run = 0; run < 40; ++run) {
    const auto t0 = Clock::now();
    corvel::EepromImage a(sample_library.Instantiate("CONTROLLER_V2"));
    corvel::EepromImage b(sample_library.Instantiate("CONTROLLER_V1"));
    if (!a.Bytes().LoadHex(samples + "controller_v2.eep", 32768) ||
        !b.Bytes().LoadHex(samples + "controller_v1.eep", 32768)) {
      return 1;
    }
    a.Decode();
    b.Decode();
    const auto health_a = corvel::CheckChecksums(*a.Root(), a.Bytes());
    const auto health_b = corvel::CheckChecksums(*b.Root(), b.Bytes());
    a.Encode();
    b.Encode();
    differences = corvel::CompareEepromItems(*a.Root(), *b.Root()).size() + health_a.size() + health_b.size();
    compare_ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - t0).count());
  }

  const double parse = Median(parse_ms);
  const double cycle = Median(cycle_ms);
  std::printf("library parse: %zu descriptions, %d lines, 11 files: %.2f ms median of %zu (bound 50 ms, ratio %.3f)\n",
              descriptions, lines, parse, parse_ms.size(), parse / 50.0);
  std::printf("image %u bytes: decode+encode+render (%zu bytes of listing): %.2f ms median of %zu "
              "(bound 5 ms, ratio %.3f)\n",
              size, text_bytes, cycle, cycle_ms.size(), cycle / 5.0);
  std::printf("image %u bytes: tree rebuild: %.2f ms median\n", size, Median(tree_ms));
  const double compare = Median(compare_ms);
  std::printf("two 32768-byte images: load+decode+checksum health+encode+compare (%zu findings): %.2f ms median "
              "(bound 20 ms, ratio %.3f)\n",
              differences, compare, compare / 20.0);
  return 0;
}
