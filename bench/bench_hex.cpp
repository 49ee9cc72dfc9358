// Loads and saves an 8 MiB image as Intel HEX, and has srec_cat do the same
// conversion of the same file on the same machine. Prints both times (median
// of several runs) and our time as a share of srec_cat's; the target is at
// most 1.0.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "core/format/hex/IntelHex.h"

namespace {

constexpr uint32_t kImageSize = 8u * 1024 * 1024;
constexpr int kRuns = 5;

double Seconds(const std::chrono::steady_clock::time_point& since) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

double Median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

}  // namespace

int main() {
  namespace fs = std::filesystem;
  const fs::path dir = fs::temp_directory_path() / ("corvel-bench-hex-" + std::to_string(::getpid()));
  fs::create_directories(dir);
  const std::string input = (dir / "input.hex").string();
  const std::string ours = (dir / "ours.hex").string();
  const std::string theirs = (dir / "srec.hex").string();

  // Firmware-like contents: mostly code, some erased stretches.
  std::vector<uint8_t> image(kImageSize);
  std::mt19937 random(42);
  for (auto& b : image) b = static_cast<uint8_t>(random());
  for (uint32_t at = 0; at < kImageSize; at += 0x40000) std::fill_n(image.begin() + at, 0x8000, 0xFF);
  if (!corvel::SaveIntelHex(input, image.data(), kImageSize)) {
    std::fprintf(stderr, "cannot write %s\n", input.c_str());
    return 1;
  }

  std::vector<double> our_times, srec_times;
  std::vector<uint8_t> loaded(kImageSize);
  const std::string srec_command = "srec_cat " + input + " -intel -o " + theirs +
                                   " -intel --address-length=4 --output-block-size=16 > /dev/null 2>&1";
  for (int run = 0; run < kRuns; ++run) {
    auto start = std::chrono::steady_clock::now();
    const bool ok = corvel::LoadIntelHex(input, loaded.data(), kImageSize) &&
                    corvel::SaveIntelHex(ours, loaded.data(), kImageSize);
    our_times.push_back(Seconds(start));
    if (!ok || loaded != image) {
      std::fprintf(stderr, "our conversion failed\n");
      return 1;
    }
    start = std::chrono::steady_clock::now();
    const int status = std::system(srec_command.c_str());
    srec_times.push_back(Seconds(start));
    if (status != 0) {
      std::fprintf(stderr, "srec_cat failed (Debian package srecord): %s\n", srec_command.c_str());
      return 1;
    }
  }
  // Both outputs describe the same bytes.
  std::vector<uint8_t> check(kImageSize);
  if (!corvel::LoadIntelHex(theirs, check.data(), kImageSize) || check != image) {
    std::fprintf(stderr, "srec_cat's output differs\n");
    return 1;
  }
  const auto file_bytes = static_cast<unsigned long long>(fs::file_size(input));
  fs::remove_all(dir);

  const double our = Median(our_times);
  const double srec = Median(srec_times);
  std::printf("Intel HEX load+save of an 8 MiB image (%llu-byte file), median of %d runs\n", file_bytes, kRuns);
  std::printf("  corvel   %8.3f s\n", our);
  std::printf("  srec_cat %8.3f s\n", srec);
  std::printf("  ratio corvel/srec_cat %.3f (target <= 1.0)\n", our / srec);
  return 0;
}
