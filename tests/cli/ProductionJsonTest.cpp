// corvel-cli --json and --record as a production script uses them: stdout
// parsed line by line, the events in order, exactly one result whose exit is
// the process's exit status; records appended whole by concurrent runs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <nlohmann/json.hpp>

#include "core/base/Sha256.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

using nlohmann::json;

struct JsonRun {
  int status = -1;
  std::string out;  // stdout alone
  std::string err;  // stderr alone
  std::vector<json> events;
};

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

// Whether text has pattern's shape: '9' a decimal digit, 'F' an upper-case
// hex digit, anything else itself.
bool HasShape(const std::string& text, const std::string& pattern) {
  if (text.size() != pattern.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    const bool digit = c >= '0' && c <= '9';
    if (pattern[i] == '9' ? !digit : pattern[i] == 'F' ? !(digit || (c >= 'A' && c <= 'F')) : c != pattern[i]) {
      return false;
    }
  }
  return true;
}

// Runs corvel-cli with stdout and stderr apart; every stdout line must parse.
JsonRun RunJson(const TempDir& dir, const std::string& args) {
  const std::string err_file = dir.File("stderr.txt");
  const std::string command = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli --settings " +
                              dir.File("corvel.ini") + " " + args + " 2>" + err_file + " </dev/null";
  JsonRun run;
  FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return run;
  std::array<char, 4096> buffer{};
  std::size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) run.out.append(buffer.data(), n);
  const int raw = ::pclose(pipe);
  run.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  run.err = ReadText(err_file);
  std::istringstream lines(run.out);
  std::string line;
  while (std::getline(lines, line)) {
    json event = json::parse(line, nullptr, false);
    EXPECT_FALSE(event.is_discarded()) << "not JSON: " << line;
    if (!event.is_discarded()) run.events.push_back(std::move(event));
  }
  return run;
}

// Messages, questions and progress, then exactly one result, last, whose
// exit is the process's exit status.
void ExpectEventOrder(const JsonRun& run, const std::string& what) {
  ASSERT_FALSE(run.events.empty()) << what << "\n" << run.err;
  for (std::size_t i = 0; i + 1 < run.events.size(); ++i) {
    const std::string kind = run.events[i].value("event", "");
    EXPECT_TRUE(kind == "message" || kind == "question" || kind == "progress") << what << ": " << run.events[i];
  }
  const json& result = run.events.back();
  ASSERT_EQ(result.value("event", ""), "result") << what;
  EXPECT_EQ(result.at("exit").get<int>(), run.status) << what;
  EXPECT_EQ(result.at("schema").get<int>(), 1);
  EXPECT_TRUE(result.at("elapsed_s").is_number());
}

std::vector<json> EventsOf(const JsonRun& run, const std::string& kind) {
  std::vector<json> found;
  for (const auto& e : run.events) {
    if (e.value("event", "") == kind) found.push_back(e);
  }
  return found;
}

bool HasMessage(const JsonRun& run, const std::string& text) {
  for (const auto& e : EventsOf(run, "message")) {
    if (e.value("text", "") == text) return true;
  }
  return false;
}

TEST(ProductionJson, AtmelProgramGivesProgressMessagesAndOneResult) {
  TempDir dir;
  const std::string flash = TestDataPath("atmel-sample.hex");
  const JsonRun run = RunJson(dir, "--simulate avr --high-speed --yes --json atmel program --flash " + flash +
                                       " --eeprom " + TestDataPath("atmel-sample.eep"));
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectEventOrder(run, "atmel program");
  EXPECT_TRUE(HasMessage(run, "Programming Successful!")) << run.out;
  const json& result = run.events.back();
  EXPECT_EQ(result.at("command"), "atmel program");
  EXPECT_EQ(result.at("outcome"), "done");
  EXPECT_EQ(result.at("boot_loader_version"), "1 2 3 4");
  EXPECT_TRUE(HasShape(result.at("checksum_inserted").get<std::string>(), "0xFFFFFFFF")) << result;

  // Each phase's progress: bytes of the whole memory, ending with its last step.
  // A phase is a run of events of one caption ("Verifying..." comes for flash
  // and then for EEPROM); the next one starts again near elapsed 0.
  std::vector<std::pair<std::string, std::vector<json>>> phases;
  for (const auto& e : EventsOf(run, "progress")) {
    const std::string phase = e.at("phase");
    if (phases.empty() || phases.back().first != phase ||
        e.at("elapsed_s").get<double>() < phases.back().second.back().at("elapsed_s").get<double>()) {
      phases.push_back({phase, {}});
    }
    phases.back().second.push_back(e);
  }
  const auto firmware = std::find_if(phases.begin(), phases.end(), [](const auto& p) {
    return p.first == "Programming Firmware";
  });
  ASSERT_NE(firmware, phases.end()) << run.out;
  EXPECT_EQ(firmware->second.back().at("unit"), "bytes");
  EXPECT_EQ(firmware->second.back().at("total").get<uint64_t>(), 480u * 256u);
  EXPECT_EQ(firmware->second.back().at("done").get<uint64_t>(), 480u * 256u * 99 / 100);
  for (const auto& [phase, events] : phases) {
    // At most ten a second, the first and the last aside (and the rounding of elapsed_s).
    const double span = events.back().at("elapsed_s").get<double>();
    EXPECT_LE(events.size(), static_cast<std::size_t>(span * 10) + 3) << phase;
  }
  // The human texts went to stderr.
  EXPECT_NE(run.err.find("Programming Successful!"), std::string::npos);
}

TEST(ProductionJson, FailingAndRefusedRunsEndWithTheirExitStatus) {
  TempDir dir;
  const struct {
    std::string args;
    int status;
    const char* outcome;
    const char* message;  // a message event expected, if any
  } cases[] = {
      {"--simulate avr --json atmel program --keep-eeprom --flash " + dir.File("missing.hex"), 1, "nothing_done",
       "Invalid Flash file!"},
      // No --yes: the question is answered No by default, and so reported.
      {"--simulate avr --high-speed --json atmel program --flash " + TestDataPath("atmel-sample.hex") + " --eeprom " +
           TestDataPath("atmel-sample.eep"),
       1, "cancelled", nullptr},
      {"--json atmel read-eeprom", 2, "usage", nullptr},
  };
  for (const auto& c : cases) {
    const JsonRun run = RunJson(dir, c.args);
    EXPECT_EQ(run.status, c.status) << c.args << "\n" << run.err;
    ExpectEventOrder(run, c.args);
    if (run.events.empty()) continue;
    EXPECT_EQ(run.events.back().at("outcome"), c.outcome) << c.args;
    if (c.message) {
      EXPECT_TRUE(HasMessage(run, c.message)) << c.args << "\n" << run.out;
    }
  }
  const JsonRun asked = RunJson(dir, cases[1].args);
  const auto questions = EventsOf(asked, "question");
  ASSERT_FALSE(questions.empty()) << asked.out;
  EXPECT_EQ(questions.front().at("answer"), "no");
  EXPECT_EQ(questions.front().at("by"), "default");
}

TEST(ProductionJson, SlowChainReadReportsFilesWrittenWithTheirFingerprints) {
  TempDir dir;
  const JsonRun run =
      RunJson(dir, "--simulate master --json chain read --equipment 1 --out " + dir.File("out") + " --prefix TX1");
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectEventOrder(run, "chain read");
  const json& result = run.events.back();
  EXPECT_EQ(result.at("command"), "chain read");
  EXPECT_TRUE(result.at("devices_absent").is_array());
  ASSERT_FALSE(result.at("files_written").empty());
  for (const auto& file : result.at("files_written")) {
    const std::string path = file.at("path");
    EXPECT_EQ(path.rfind(dir.File("out/TX1_"), 0), 0u) << path;  // the settings file is not among them
    const auto bytes = ReadBytes(path);
    EXPECT_EQ(file.at("sha256"), Sha256::HexOf(std::string(bytes.begin(), bytes.end()))) << path;
  }
  EXPECT_FALSE(EventsOf(run, "progress").empty());
}

TEST(ProductionJson, StdoutCarriesOnlyEventsWhateverTheCommandPrints) {
  TempDir dir;
  const JsonRun run = RunJson(dir, "--simulate avr --json atmel versions");
  ASSERT_EQ(run.status, 0) << run.err;
  ExpectEventOrder(run, "atmel versions");
  EXPECT_NE(run.err.find("Current Boot Loader Version: 1 2 3 4"), std::string::npos) << run.err;
  EXPECT_EQ(run.out.find("Current Boot Loader Version"), std::string::npos);
}

TEST(ProductionRecord, ALineHoldsTheResultPortVersionTimeAndInputs) {
  TempDir dir;
  const std::string flash = TestDataPath("atmel-sample.hex");
  const std::string record = dir.File("service.jsonl");
  const JsonRun run = RunJson(dir, "--simulate avr --high-speed --yes --json --record " + record +
                                       " atmel program --keep-eeprom --flash " + flash);
  ASSERT_EQ(run.status, 0) << run.err;
  const json line = json::parse(ReadText(record));
  EXPECT_EQ(line.at("event"), "result");
  EXPECT_EQ(line.at("command"), "atmel program");
  EXPECT_EQ(line.at("exit"), 0);
  EXPECT_EQ(line.at("port").get<std::string>().rfind("/dev/pts/", 0), 0u) << line;
  EXPECT_TRUE(line.at("program_version").is_string());
  EXPECT_TRUE(HasShape(line.at("started").get<std::string>(), "9999-99-99T99:99:99Z")) << line;
  const auto bytes = ReadBytes(flash);
  bool found = false;
  for (const auto& input : line.at("inputs")) {
    if (input.at("path") == flash) {
      found = true;
      EXPECT_EQ(input.at("sha256"), Sha256::HexOf(std::string(bytes.begin(), bytes.end())));
    }
    EXPECT_NE(input.at("path"), dir.File("corvel.ini"));
  }
  EXPECT_TRUE(found) << line;
}

TEST(ProductionRecord, WhatIsNotARegularFileIsRefusedBeforeTheRun) {
  TempDir dir;
  ASSERT_EQ(::mkfifo(dir.File("fifo").c_str(), 0600), 0);
  for (const std::string& path : {dir.File("fifo"), dir.Path()}) {
    const JsonRun run = RunJson(dir, "--record " + path + " hex checksum " + TestDataPath("atmel-sample.hex"));
    EXPECT_EQ(run.status, 2) << path;
    EXPECT_NE(run.err.find("it is not a regular file"), std::string::npos) << run.err;
    EXPECT_EQ(run.out.find("0x"), std::string::npos) << "the command ran: " << run.out;
  }
}

TEST(ProductionRecord, SlowTwoProcessesAppendingAHundredTimesEachLeaveWholeLines) {
  TempDir dir;
  const std::string record = dir.File("shared.jsonl");
  const std::string cli = std::string(CORVEL_BINARY_DIR) + "/src/cli/corvel-cli";
  const std::string one = cli + " --settings " + dir.File("s.ini") + " --record " + record + " hex checksum " +
                          TestDataPath("atmel-sample.hex") + " >/dev/null 2>&1 </dev/null";
  const std::string loop = "for i in $(seq 100); do " + one + " || echo failed; done";
  const std::string both = "(" + loop + ") & (" + loop + ") & wait";
  FILE* pipe = ::popen(both.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string failures;
  std::array<char, 256> buffer{};
  while (std::fgets(buffer.data(), buffer.size(), pipe)) failures += buffer.data();
  ::pclose(pipe);
  EXPECT_EQ(failures, "");

  std::istringstream lines(ReadText(record));
  std::string line;
  int whole = 0;
  while (std::getline(lines, line)) {
    const json parsed = json::parse(line, nullptr, false);
    ASSERT_FALSE(parsed.is_discarded()) << "torn line: " << line;
    EXPECT_EQ(parsed.value("command", ""), "hex checksum");
    ++whole;
  }
  EXPECT_EQ(whole, 200);
}

}  // namespace
}  // namespace corvel::test
