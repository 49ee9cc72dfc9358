// corvel: the tool launcher and its tool windows.
//
//   corvel [--simulate DEVICE]
//
// --simulate runs the named virtual equipment in-process and uses its port for
// this run only. --screenshot-launcher FILE, --screenshot-settings FILE and
// --screenshot-eeprom-compare FILE (not advertised) save pictures of the
// launcher, the Settings sheet and the EEPROM File Utilities window comparing
// the two sample controller files, and end, without needing a window manager.
#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QPainter>
#include <QPixmap>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "gui/LauncherDialog.h"
#include "gui/ProgramShell.h"
#include "gui/SettingsSheet.h"
#include "gui/eeprom/EepromUtilitiesWindow.h"
#include "core/base/SettingsKeys.h"
#include "qtstore/QSettingsStore.h"
#include "sim/Models.h"

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
  std::string simulate;
  std::string screenshot_launcher;
  std::string screenshot_settings;
  std::string screenshot_eeprom_compare;
};

std::string DeviceNames() {
  std::string names;
  for (const auto& name : corvel::sim::DeviceModelNames()) names += (names.empty() ? "" : ", ") + name;
  return names;
}

// Our own options; everything else is left for Qt (-platform and the like).
bool ParseOptions(int argc, char** argv, Options& options) {
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    std::string* value = nullptr;
    if (std::strcmp(arg, "--simulate") == 0) value = &options.simulate;
    if (std::strcmp(arg, "--screenshot-launcher") == 0) value = &options.screenshot_launcher;
    if (std::strcmp(arg, "--screenshot-settings") == 0) value = &options.screenshot_settings;
    if (std::strcmp(arg, "--screenshot-eeprom-compare") == 0) value = &options.screenshot_eeprom_compare;
    if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
      std::printf("Usage: corvel [--simulate DEVICE]\n  --simulate DEVICE  run against virtual equipment: %s\n",
                  DeviceNames().c_str());
      std::exit(kExitOk);
    }
    if (value == nullptr) continue;
    if (i + 1 >= argc || argv[i + 1][0] == '\0') {
      std::fprintf(stderr, "corvel: %s needs a value\n", arg);
      return false;
    }
    *value = argv[++i];
  }
  return true;
}

// The widget as it shows, under a plain title bar with its window title: with
// no window manager there is no frame to photograph.
bool SaveGrab(QWidget& widget, const std::string& path) {
  widget.show();
  QApplication::processEvents();
  const QPixmap body = widget.grab();
  QFont font = widget.font();
  font.setBold(true);
  const int bar = QFontMetrics(font).height() + 12;
  QPixmap picture(body.width(), body.height() + bar);
  picture.fill(widget.palette().color(QPalette::Window));
  QPainter painter(&picture);
  painter.fillRect(0, 0, body.width(), bar, QColor(0x2b, 0x4a, 0x7a));
  painter.setPen(Qt::white);
  painter.setFont(font);
  painter.drawText(QRect(8, 0, body.width() - 16, bar), Qt::AlignVCenter | Qt::AlignLeft, widget.windowTitle());
  painter.drawPixmap(0, bar, body);
  painter.end();
  if (!picture.save(QString::fromStdString(path), "PNG")) {
    std::fprintf(stderr, "corvel: cannot write %s\n", path.c_str());
    return false;
  }
  return true;
}

// A picture is taken with nobody at the screen: the boxes a window would
// show go to stderr and take the answer that changes nothing.
class UnattendedUserInterface : public corvel::UserInterface {
 public:
  explicit UnattendedUserInterface(corvel::UserInterface& windows) : m_windows(windows) {}
  corvel::Answer ShowMessage(const corvel::Message& message) override {
    std::fprintf(stderr, "corvel: %s\n", message.text.c_str());
    return corvel::SafeAnswer(message.buttons);
  }
  std::optional<std::string> ChooseFile(const corvel::FileDialogRequest&) override { return std::nullopt; }
  std::optional<std::string> ChooseFolder(const std::string&, const std::string&) override { return std::nullopt; }
  corvel::ReadBackOption ChooseReadBackOption() override { return corvel::ReadBackOption::Cancel; }
  void ShowHexViewer(const std::string&) override {}
  std::unique_ptr<corvel::ProgressWindow> MakeProgressWindow(unsigned caption_id,
                                                             const std::string& status_text) override {
    return m_windows.MakeProgressWindow(caption_id, status_text);
  }

 private:
  corvel::UserInterface& m_windows;
};

// The EEPROM File Utilities window with the two sample controller files of
// the bundled library side by side, compared, the first difference selected.
bool SaveEepromComparison(corvel::ToolEnv& shell_env, const std::string& path) {
  using namespace corvel;
  UnattendedUserInterface ui(shell_env.ui);
  ToolEnv env{ui, shell_env.port, shell_env.app, shell_env.store, shell_env.program_folder};
  const std::string samples = env.program_folder;
  const std::string size = "4096 B (Atmega128)";
  keys::kEepType1EepromDlg.Put(env.store, "CONTROLLER_V1");
  keys::kEepType2EepromDlg.Put(env.store, "CONTROLLER_V2");
  keys::kEepFile1EepromDlg.Put(env.store, samples + "controller_v1.eep");
  keys::kEepFile2EepromDlg.Put(env.store, samples + "controller_v2.eep");
  keys::kFile1SizeStringEepromDlg.Put(env.store, size);
  keys::kFile2SizeStringEepromDlg.Put(env.store, size);
  gui::EepromUtilitiesWindow window(env);
  window.resize(1000, 640);
  window.CompareBox()->setChecked(true);
  if (window.Tool().Differences().empty()) {
    std::fprintf(stderr, "corvel: the sample files show no difference to picture\n");
    return false;
  }
  window.NextDifferenceButton()->click();
  const bool saved = SaveGrab(window, path);
  window.done(0);
  return saved;
}

}  // namespace

int main(int argc, char** argv) {
  using namespace corvel;
  Options options;
  if (!ParseOptions(argc, argv, options)) return kExitUsage;
  // A wrong name is reported before any window exists, so also without a display.
  if (!options.simulate.empty() && !sim::MakeDeviceModel(options.simulate)) {
    std::fprintf(stderr, "corvel: unknown device '%s' for --simulate (known: %s)\n", options.simulate.c_str(),
                 DeviceNames().c_str());
    return kExitUsage;
  }

  QApplication application(argc, argv);
  QSettingsStore store;
  gui::ProgramShell shell(store, QCoreApplication::applicationDirPath().toStdString() + "/");
  if (!options.simulate.empty()) {
    std::string error;
    if (!shell.Simulate(options.simulate, &error)) {
      std::fprintf(stderr, "corvel: cannot start the virtual equipment: %s\n", error.c_str());
      return kExitFailed;
    }
    std::fprintf(stderr, "corvel: virtual %s on %s\n", options.simulate.c_str(), shell.SimulatedPort().c_str());
  }

  if (!options.screenshot_launcher.empty() || !options.screenshot_settings.empty() ||
      !options.screenshot_eeprom_compare.empty()) {
    bool ok = true;
    gui::LauncherDialog launcher(shell.Env());
    if (!options.screenshot_launcher.empty()) ok = SaveGrab(launcher, options.screenshot_launcher) && ok;
    if (!options.screenshot_settings.empty()) {
      gui::SettingsSheetDialog sheet(shell.Env(), &launcher);
      ok = SaveGrab(sheet, options.screenshot_settings) && ok;
    }
    if (!options.screenshot_eeprom_compare.empty())
      ok = SaveEepromComparison(shell.Env(), options.screenshot_eeprom_compare) && ok;
    return ok ? kExitOk : kExitFailed;
  }

  shell.RunLauncher();
  if (!shell.ShutDown()) {
    std::fprintf(stderr, "corvel: the settings could not be saved\n");
    return kExitFailed;
  }
  return kExitOk;
}
