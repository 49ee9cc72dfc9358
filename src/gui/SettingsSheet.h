#pragma once
// The "Settings" property sheet with its "Serial Settings" page. It renders a
// SerialSettingsSheet and forwards every edit to it.
#include <QDialog>

#include "core/tool/app/ToolLauncher.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QTabWidget;

namespace corvel::gui {

class SettingsSheetDialog : public QDialog {
  Q_OBJECT
 public:
  SettingsSheetDialog(ToolEnv& env, QWidget* parent = nullptr);

  QComboBox* PortBox() const { return m_port; }
  QComboBox* BaudList() const { return m_baud; }
  QLineEdit* TimeoutEdit() const { return m_timeout; }
  QCheckBox* HighSpeedBox() const { return m_high_speed; }
  QCheckBox* DebugWindowBox() const { return m_debug_window; }
  QPushButton* OkButton() const { return m_ok; }
  QPushButton* ApplyButton() const { return m_apply; }
  QPushButton* CancelButton() const { return m_cancel; }
  QTabWidget* Tabs() const { return m_tabs; }

 private:
  void Ok();
  void Apply();
  void ShowApplyState();

  SerialSettingsSheet m_sheet;
  QTabWidget* m_tabs;
  QComboBox* m_port;
  QLabel* m_baud_label;
  QComboBox* m_baud;
  QLineEdit* m_timeout;
  QCheckBox* m_high_speed;
  QCheckBox* m_debug_window;
  QPushButton* m_ok;
  QPushButton* m_cancel;
  QPushButton* m_apply;
};

}  // namespace corvel::gui
