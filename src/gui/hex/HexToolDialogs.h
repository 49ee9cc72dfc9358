#pragma once
// The "Checksum Generator" and "Select Hex Files to Merge" windows: views of
// their controllers. Edits are read into the controller before a button's
// action and written back after it.
#include <QDialog>

#include "core/tool/hex/ChecksumGenerator.h"
#include "core/tool/hex/MergeHexFiles.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace corvel::gui {

class ChecksumGeneratorDialog : public QDialog {
  Q_OBJECT
 public:
  ChecksumGeneratorDialog(ToolEnv& env, QWidget* parent = nullptr);
  ~ChecksumGeneratorDialog() override;

  ChecksumGenerator& Controller() { return m_tool; }
  QLineEdit* FlashEdit() const { return m_flash; }
  QLineEdit* ChecksumEdit() const { return m_checksum; }
  QCheckBox* MergeCheck() const { return m_merge; }
  QLineEdit* BootLoaderEdit() const { return m_boot_loader; }
  QPushButton* FlashBrowse() const { return m_flash_browse; }
  QPushButton* BootLoaderBrowse() const { return m_boot_loader_browse; }
  QPushButton* GenerateButton() const { return m_generate; }
  QPushButton* ApplyButton() const { return m_apply; }
  QPushButton* CloseButton() const { return m_close; }

 private:
  void Pull();
  void Push();
  template <typename Action>
  void Run(Action action);

  ChecksumGenerator m_tool;
  QLineEdit* m_flash;
  QPushButton* m_flash_browse;
  QLineEdit* m_checksum;
  QCheckBox* m_merge;
  QLineEdit* m_boot_loader;
  QPushButton* m_boot_loader_browse;
  QPushButton* m_generate;
  QPushButton* m_apply;
  QPushButton* m_close;
};

class MergeHexFilesDialog : public QDialog {
  Q_OBJECT
 public:
  MergeHexFilesDialog(ToolEnv& env, QWidget* parent = nullptr);

  MergeHexFiles& Controller() { return m_tool; }
  QLineEdit* FirstEdit() const { return m_first; }
  QLineEdit* SecondEdit() const { return m_second; }
  QPushButton* FirstBrowse() const { return m_first_browse; }
  QPushButton* SecondBrowse() const { return m_second_browse; }
  QPushButton* MergeButton() const { return m_merge; }
  QPushButton* CloseButton() const { return m_close; }

 private:
  void Pull();
  void Push();
  template <typename Action>
  void Run(Action action);

  MergeHexFiles m_tool;
  QLineEdit* m_first;
  QPushButton* m_first_browse;
  QLineEdit* m_second;
  QPushButton* m_second_browse;
  QPushButton* m_merge;
  QPushButton* m_close;
};

}  // namespace corvel::gui
