// Runs sharing one INI settings file: a value one run wrote is not lost by
// another that only put back what it had read, or the default it was given.
#include <gtest/gtest.h>

#include "core/base/Settings.h"
#include "support/TestSupport.h"

namespace corvel::test {
namespace {

TEST(SettingsMerge, ADefaultPutBackUnchangedDoesNotOverwriteAnotherRunsValue) {
  const struct {
    const char* before;  // the file when both runs start
  } cases[] = {{""}, {"[Serial Settings]\nTimeout Setting=0\n"}, {"[Other]\nx=1\n"}};
  for (const auto& c : cases) {
    TempDir dir;
    const std::string path = dir.File("shared.ini");
    if (*c.before) WriteText(path, c.before);
    IniFileSettings station(path);  // a programming run: reads every value, changes one
    IniFileSettings change(path);   // a settings run: changes the time-out
    const int timeout = station.GetInt("Timeout Setting", 0);
    const std::string last = station.GetText("Last FW File", "");
    change.PutInt("Timeout Setting", change.GetInt("Timeout Setting", 0) + 1234);
    ASSERT_TRUE(change.Flush());
    station.PutInt("Timeout Setting", timeout);
    station.PutText("Last FW File", last + "app.hex");
    ASSERT_TRUE(station.Flush());

    IniFileSettings after(path);
    EXPECT_EQ(after.GetInt("Timeout Setting", -1), 1234) << c.before;
    EXPECT_EQ(after.GetText("Last FW File", ""), "app.hex") << c.before;
  }
}

TEST(SettingsMerge, AValueSetOnAFreshFileIsWrittenEvenWhenItEqualsNoDefault) {
  TempDir dir;
  const std::string path = dir.File("fresh.ini");
  IniFileSettings first(path);
  first.PutInt("Timeout Setting", 0);  // put without being read: written as given
  ASSERT_TRUE(first.Flush());
  IniFileSettings after(path);
  EXPECT_TRUE(after.Has("Timeout Setting"));
}

}  // namespace
}  // namespace corvel::test
