// The "EEPROM File Utilities" window, offscreen, over its controller.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTreeWidget>

#include "core/base/SettingsKeys.h"
#include "gui/ToolWindows.h"
#include "gui/eeprom/EepromUtilitiesWindow.h"
#include "support/TestSupport.h"

namespace corvel::gui {
namespace {

const std::string kSamples = std::string(CORVEL_SOURCE_DIR) + "/data/eeprom/";

class ScriptedEditor : public ItemEditor {
 public:
  std::optional<std::string> EditItem(const EditItemRequest&) override { return entry; }
  std::optional<std::string> entry;
};

class EepromWindowTest : public ::testing::Test {
 protected:
  EepromWindowTest() : env{ui, port, app, store, kSamples} {}
  test::ScriptedUserInterface ui;
  SerialPort port;
  AppSettings app;
  MemorySettings store;
  ToolEnv env;
  ScriptedEditor editor;
};

QStringList Entries(const QComboBox* box) {
  QStringList list;
  for (int i = 0; i < box->count(); ++i) list << box->itemText(i);
  return list;
}

TEST_F(EepromWindowTest, RegisteredWithSortedListsAndTheSizes) {
  EXPECT_NE(FindToolWindow(ToolId::EepromFileUtilities), nullptr);
  EepromUtilitiesWindow window(env, nullptr, &editor);
  EXPECT_EQ(window.windowTitle(), "EEPROM File Utilities");
  const auto& left = window.Widgets(Pane::Left);
  EXPECT_EQ(Entries(left.type), (QStringList{"CONTROLLER_V1", "CONTROLLER_V2", "INTERFACE_BOARD"}));
  EXPECT_EQ(Entries(left.equipment), (QStringList{"TX CONTROLLER", "TX INTERFACE"}));
  EXPECT_EQ(left.size->count(), 7);
  EXPECT_EQ(left.size->itemText(0), "512 B (Atmega8/168)");
  EXPECT_TRUE(left.type->isEditable());
  EXPECT_EQ(window.Widgets(Pane::Right).save->text(), "Save File 2");
  window.done(0);
}

TEST_F(EepromWindowTest, TwoFilesComparedMarkTheDifferencesAndTheBlankBoxDisablesThePath) {
  keys::kEepType1EepromDlg.Put(store, "CONTROLLER_V1");
  keys::kEepType2EepromDlg.Put(store, "CONTROLLER_V2");
  keys::kEepFile1EepromDlg.Put(store, kSamples + "controller_v1.eep");
  keys::kEepFile2EepromDlg.Put(store, kSamples + "controller_v2.eep");
  keys::kFile1SizeStringEepromDlg.Put(store, "4096 B (Atmega128)");
  keys::kFile2SizeStringEepromDlg.Put(store, "4096 B (Atmega128)");
  EepromUtilitiesWindow window(env, nullptr, &editor);
  const auto& left = window.Widgets(Pane::Left);
  ASSERT_GT(left.tree->topLevelItemCount(), 0);
  EXPECT_TRUE(left.tree->topLevelItem(0)->text(0).startsWith("CONTROLLER_V1"));
  EXPECT_TRUE(left.tree->topLevelItem(0)->text(0).contains("[stored checksum good]"));
  EXPECT_FALSE(window.NextDifferenceButton()->isEnabled());
  window.CompareBox()->setChecked(true);
  EXPECT_TRUE(window.NextDifferenceButton()->isEnabled());
  const auto diffs = window.Tool().Differences();
  ASSERT_FALSE(diffs.empty());
  window.NextDifferenceButton()->click();
  const Pane side = diffs[0].left ? Pane::Left : Pane::Right;
  const EepromTreeNode* selected = window.Tool().At(side).selected;
  ASSERT_NE(selected, nullptr);
  EXPECT_EQ(selected->item, side == Pane::Left ? diffs[0].left : diffs[0].right);
  QTreeWidgetItem* shown = window.ItemOf(side, selected);
  ASSERT_NE(shown, nullptr);
  EXPECT_EQ(window.Widgets(side).tree->currentItem(), shown);
  EXPECT_NE(shown->background(0), QBrush()) << "a differing item is marked";

  left.blank->click();
  EXPECT_FALSE(left.path->isEnabled());
  EXPECT_FALSE(left.browse->isEnabled());
  EXPECT_EQ(left.path->text(), "");
  window.done(0);
  EXPECT_EQ(store.GetInt("m_blank_file1_EEPROM_Dlg", -1), 1);
}

}  // namespace
}  // namespace corvel::gui
