#pragma once
// "Read Device Chain EEPROM Files": renders the DeviceChainReader and forwards
// the person's edits and clicks to it.
#include <QDialog>

#include "core/tool/chain/DeviceChainReader.h"

class QComboBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace corvel::gui {

class ReadDeviceChainWindow : public QDialog {
  Q_OBJECT
 public:
  ReadDeviceChainWindow(ToolEnv& env, QWidget* parent = nullptr);
  ~ReadDeviceChainWindow() override;

  DeviceChainReader& Controller() { return m_reader; }
  QComboBox* EquipmentBox() const { return m_equipment; }
  QLineEdit* PrefixEdit() const { return m_prefix; }
  QLineEdit* SuffixEdit() const { return m_suffix; }
  QLineEdit* SerialFileEdit() const { return m_serial_file; }
  QRadioButton* PositionButton(int position) const { return m_position[position]; }
  QLineEdit* PreviewEdit() const { return m_preview; }
  QLineEdit* OutputDirEdit() const { return m_output_dir; }
  QPushButton* OutputBrowseButton() const { return m_browse_output; }
  QPushButton* SerialBrowseButton() const { return m_browse_serial; }
  QPushButton* GetFilesButton() const { return m_get_files; }

  void done(int result) override;

 private:
  // Shows the controller's fields; edits the person is typing in keep their
  // cursor because only changed texts are set.
  void Render();

  DeviceChainReader m_reader;
  bool m_closed = false;
  QComboBox* m_equipment;
  QLineEdit* m_prefix;
  QLineEdit* m_suffix;
  QLineEdit* m_serial_file;
  QRadioButton* m_position[3];
  QLineEdit* m_preview;
  QLineEdit* m_output_dir;
  QPushButton* m_browse_output;
  QPushButton* m_browse_serial;
  QPushButton* m_get_files;
};

}  // namespace corvel::gui
