// Several stations at once: four corvel-cli processes, each programming its
// own virtual AVR on its own port, all sharing one settings file, while a
// fifth run changes a setting. Every board ends up with the image and the
// settings file stays whole, with the fifth run's value kept.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <array>
#include <cstdio>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "core/base/SettingsKeys.h"
#include "core/format/hex/FlashLayout.h"
#include "core/format/hex/IntelHex.h"
#include "sim/Models.h"
#include "sim/VirtualAvr.h"
#include "sim/VirtualDeviceHost.h"
#include "support/CliRun.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

struct Station {
  std::unique_ptr<sim::VirtualDeviceHost> host;
  FILE* pipe = nullptr;
  std::string output;
  int status = -1;
};

TEST(ProductionStations, FourBoardsProgrammedAtOnceShareOneSettingsFile) {
  TempDir dir;
  const std::string settings = dir.File("shared.ini");
  const std::string flash = TestDataPath("atmel-sample.hex");
  const std::string cli = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli --settings " + settings + " ";

  std::array<Station, 4> stations;
  for (auto& station : stations) {
    station.host = std::make_unique<sim::VirtualDeviceHost>(sim::MakeDeviceModel("avr"));
    std::string error;
    ASSERT_TRUE(station.host->Start(&error)) << error;
  }
  for (auto& station : stations) {
    const std::string command = cli + "--port " + station.host->PortPath() +
                                " --high-speed --yes atmel program --keep-eeprom --flash " + flash + " 2>&1 </dev/null";
    station.pipe = ::popen(command.c_str(), "r");
    ASSERT_NE(station.pipe, nullptr);
  }
  // While they program, another run on the same file changes a setting the
  // stations do not touch.
  const CliRun changed = RunCorvelCli("--settings " + settings + " settings serial --additional-timeout 1234");
  EXPECT_EQ(changed.status, 0) << changed.output;
  for (auto& station : stations) {
    std::array<char, 512> buffer{};
    while (std::fgets(buffer.data(), buffer.size(), station.pipe)) station.output += buffer.data();
    const int raw = ::pclose(station.pipe);
    station.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  }

  std::vector<uint8_t> image(kFlashImageSize, 0xFF);
  ASSERT_TRUE(LoadIntelHex(flash, image.data(), kFlashImageSize, false));
  InsertFlashChecksum(image.data());
  for (auto& station : stations) {
    EXPECT_EQ(station.status, 0) << station.output;
    EXPECT_NE(station.output.find("Programming Successful!"), std::string::npos) << station.output;
    const bool equal = station.host->WithModel<sim::VirtualAvr>([&](sim::VirtualAvr& avr) {
      return std::equal(image.begin(), image.begin() + kBootLoaderStart, avr.flash.begin());
    });
    EXPECT_TRUE(equal) << station.host->PortPath();
  }

  // One section, each key once, the fifth run's value and the stations' file.
  std::istringstream lines([&] {
    const auto bytes = ReadBytes(settings);
    return std::string(bytes.begin(), bytes.end());
  }());
  std::map<std::string, std::string> values;
  int sections = 0;
  std::string line;
  while (std::getline(lines, line)) {
    if (line.empty()) continue;
    if (line.front() == '[') {
      ++sections;
      continue;
    }
    const auto eq = line.find('=');
    ASSERT_NE(eq, std::string::npos) << "a torn line: " << line;
    EXPECT_TRUE(values.emplace(line.substr(0, eq), line.substr(eq + 1)).second) << "twice: " << line;
  }
  EXPECT_EQ(sections, 1);
  EXPECT_EQ(values[keys::kTimeoutSetting.name], "1234");
  EXPECT_EQ(values[keys::kLastFwFile.name], flash);
}

}  // namespace
}  // namespace corvel::test
