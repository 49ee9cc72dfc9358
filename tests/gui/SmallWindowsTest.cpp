// The progress window, the debug window and the Qt user interface's pieces,
// offscreen.
#include <gtest/gtest.h>

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>

#include "core/base/DebugLog.h"
#include "gui/CommonDialogs.h"
#include "gui/DebugWindow.h"
#include "gui/ProgressDialog.h"
#include "gui/QtUserInterface.h"
#include "gui/ToolWindows.h"

namespace corvel::gui {
namespace {

struct ProgressUnderTest {
  QWidget owner;
  QtProgressDisplay* display;
  std::unique_ptr<ProgressWindow> window;

  explicit ProgressUnderTest(unsigned caption = kCaptionErasingFlash, const std::string& status = "") {
    owner.show();
    auto d = std::make_unique<QtProgressDisplay>(&owner);
    display = d.get();
    window = std::make_unique<ProgressWindow>(caption, status, std::move(d));
  }
};

TEST(ProgressDisplayWindow, OwnerIsDisabledWhileUpAndEnabledAgainOnEveryPath) {
  const struct {
    const char* path;
    bool owner_enabled_before;
  } cases[] = {{"finished", true}, {"destroyed with the object", true}, {"owner already disabled", false}};
  for (const auto& c : cases) {
    ProgressUnderTest t;
    t.owner.setEnabled(c.owner_enabled_before);
    ASSERT_TRUE(t.window->Create()) << c.path;
    QPointer<ProgressDialog> dialog = t.display->Dialog();
    ASSERT_NE(dialog, nullptr);
    EXPECT_FALSE(t.owner.isEnabled()) << c.path;
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_TRUE(dialog->isEnabled()) << "the Cancel button must work while the owner is disabled";
    EXPECT_TRUE(dialog->CancelButton()->isEnabled());
    EXPECT_EQ(dialog->windowTitle(), "Erasing Flash");
    EXPECT_EQ(dialog->PercentLine()->text(), " 0 %");
    EXPECT_EQ(dialog->PercentLine()->alignment() & Qt::AlignHCenter, Qt::AlignHCenter);
    if (std::string(c.path) == "destroyed with the object") {
      t.window.reset();
    } else {
      t.window->DestroyWindow();
    }
    EXPECT_TRUE(dialog.isNull()) << c.path << ": the window is gone";
    EXPECT_EQ(t.owner.isEnabled(), c.owner_enabled_before) << c.path;
  }
}

TEST(ProgressDisplayWindow, PercentLineAndBarFollowSetPos) {
  ProgressUnderTest t(kCaptionReadingEepromFromDevice, "S");
  ASSERT_TRUE(t.window->Create());
  const struct {
    int position;
    const char* text;
    int bar;
  } cases[] = {{40, "S: 40% complete", 40}, {100, "S: 100% complete", 100}, {150, "S: 50% complete", 100}};
  for (const auto& c : cases) {
    t.window->SetPos(c.position);
    EXPECT_EQ(t.display->Dialog()->PercentLine()->text(), c.text);
    EXPECT_EQ(t.display->Dialog()->Bar()->value(), c.bar);
  }
}

TEST(ProgressDisplayWindow, EscapeAndCancelAreReportedOnceEnterDoesNothing) {
  ProgressUnderTest t;
  ASSERT_TRUE(t.window->Create());
  ProgressDialog* dialog = t.display->Dialog();

  QTest::keyClick(dialog, Qt::Key_Escape);
  QTest::keyClick(dialog, Qt::Key_Escape);
  EXPECT_TRUE(dialog->isVisible()) << "Escape only asks; the operation ends the window";
  EXPECT_TRUE(t.window->CheckCancelButton());
  EXPECT_FALSE(t.window->CheckCancelButton());

  QTest::keyClick(dialog, Qt::Key_Return);
  QTest::keyClick(dialog, Qt::Key_Enter);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_FALSE(t.window->CheckCancelButton());

  // A press that is still waiting in the event queue is seen by the next poll,
  // because polling hands the queue to the program.
  QMetaObject::invokeMethod(dialog->CancelButton(), "click", Qt::QueuedConnection);
  EXPECT_TRUE(t.window->CheckCancelButton());
  EXPECT_FALSE(t.window->CheckCancelButton());
  t.window->DestroyWindow();
}

TEST(ProgressDisplayWindow, ProgressOfAToolDisablesTheToolWindowNotItsParent) {
  QWidget launcher;
  launcher.show();
  QDialog tool(&launcher);
  QtUserInterface qt_ui;
  bool tool_disabled_during = false;
  bool launcher_enabled_during = false;
  bool tool_enabled_after = false;
  QTimer::singleShot(0, [&] {
    auto progress = qt_ui.MakeProgressWindow(kCaptionConnecting, "");
    const bool created = progress->Create();
    tool_disabled_during = created && !tool.isEnabled();
    launcher_enabled_during = launcher.isEnabled();
    progress.reset();
    tool_enabled_after = tool.isEnabled();
    tool.accept();
  });
  ExecModal(tool);
  EXPECT_TRUE(tool_disabled_during);
  EXPECT_TRUE(launcher_enabled_during) << "only the owner is disabled by the progress window";
  EXPECT_TRUE(tool_enabled_after);
}

TEST(DebugInformationWindow, ShowsTheRingScrolledToTheNewestAndRightClickAppends) {
  DebugLog* before = ActiveDebugLog();
  {
    DebugWindow window;
    window.resize(490, 330);
    window.show();
    ASSERT_EQ(ActiveDebugLog(), &window.Log());
    EXPECT_TRUE(window.Edit()->isReadOnly());
    for (int i = 0; i < 250; ++i) DebugPrintf("line %d", i);
    QApplication::processEvents();
    QString expected = QString::fromStdString(window.Log().Text());
    expected.replace("\r\n", "\n");
    EXPECT_EQ(window.Edit()->toPlainText(), expected);
    EXPECT_TRUE(window.Edit()->toPlainText().startsWith("line 50\n"));
    EXPECT_TRUE(window.Edit()->toPlainText().endsWith("line 249"));
    QScrollBar* bar = window.Edit()->verticalScrollBar();
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    // On the window's margin: appended. On the edit field: not.
    QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(2, 2));
    QTest::mouseClick(window.Edit()->viewport(), Qt::RightButton, {}, QPoint(20, 20));
    QTest::mouseClick(&window, Qt::RightButton, {}, QPoint(2, 2));
    QApplication::processEvents();
    const auto lines = window.Log().Lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[lines.size() - 2], "String Entry 0");
    EXPECT_EQ(lines.back(), "String Entry 1");
    EXPECT_TRUE(window.Edit()->toPlainText().endsWith("String Entry 0\nString Entry 1"));
  }
  EXPECT_EQ(ActiveDebugLog(), before);
  EXPECT_EQ(DebugPrintf("after"), before ? 5 : 0);
}

TEST(QtDialogPieces, FileFiltersBecomeQtNameFilters) {
  const struct {
    const char* mfc;
    QStringList qt;
  } cases[] = {
      {"Hex Files (*.hex)|*.hex|All Files (*.*)|*.*||", {"Hex Files (*.hex)", "All Files (*)"}},
      {"EEPROM Files|*.eep||", {"EEPROM Files (*.eep)"}},
      {"Images (*.hex;*.eep)|*.hex;*.eep||", {"Images (*.hex *.eep)"}},
      {"Kernel (*.ldr)|*.*||", {"Kernel (*.ldr) (*)"}},
      {"Some (*.ldr;*.*)|*.ldr;*.*||", {"Some (*.ldr *)"}},
      {"", {}},
  };
  for (const auto& c : cases) EXPECT_EQ(QtNameFilters(c.mfc), c.qt) << c.mfc;
}

TEST(QtDialogPieces, AllFilesFilterShowsNamesWithoutADot) {
  // "*.*" means every file on the equipment's home platform; Qt's own
  // matching would hide a kernel or boot loader file named without a dot.
  const struct {
    const char* name;
    bool shown;
  } cases[] = {{"vmlinux", true}, {"fw.hex", true}, {"bootloader.", true}};
  const QStringList filters = QtNameFilters("Flash Files (*.hex)|*.hex|All Files (*.*)|*.*||");
  ASSERT_EQ(filters.size(), 2);
  const QString all = filters[1];
  const QString patterns = all.mid(all.lastIndexOf('(') + 1).chopped(1);
  for (const auto& c : cases) {
    EXPECT_EQ(QDir::match(patterns, QString::fromUtf8(c.name)), c.shown) << c.name;
  }
  EXPECT_FALSE(QDir::match(QStringLiteral("*.hex"), QStringLiteral("vmlinux")));
}

TEST(QtDialogPieces, ReadBackChooserAndHexViewer) {
  ReadBackOptionsDialog chooser;
  EXPECT_EQ(chooser.windowTitle(), "Please select an option");
  const struct {
    int index;
    const char* text;
    ReadBackOption choice;
  } options[] = {{0, "Save file to disk", ReadBackOption::Save},
                 {1, "View file in Hex Viewer", ReadBackOption::View},
                 {2, "Verify against existing file", ReadBackOption::Verify}};
  EXPECT_TRUE(chooser.Option(0)->isChecked()) << "saving is preselected";
  EXPECT_EQ(chooser.Choice(), ReadBackOption::Save);
  for (const auto& o : options) {
    EXPECT_EQ(chooser.Option(o.index)->text(), o.text);
    chooser.Option(o.index)->setChecked(true);
    EXPECT_EQ(chooser.Choice(), o.choice);
  }

  HexViewerDialog viewer("0x000000: 01 02 \r\n0x000010: FF ");
  EXPECT_EQ(viewer.windowTitle(), "Hex File Contents");
  EXPECT_TRUE(viewer.Edit()->isReadOnly());
  EXPECT_TRUE(QFontInfo(viewer.Edit()->font()).fixedPitch());
  EXPECT_EQ(viewer.Edit()->toPlainText(), "0x000000: 01 02 \n0x000010: FF ");
}

}  // namespace
}  // namespace corvel::gui
