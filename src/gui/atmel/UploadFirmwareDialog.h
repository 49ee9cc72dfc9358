#pragma once
// "Upload New Firmware": a thin view over FirmwareUploader. It mirrors the
// controls into the controller, forwards each click, and renders the
// controller's state afterwards.
#include <QDialog>

#include "core/tool/atmel/FirmwareUploader.h"

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace corvel::gui {

class UploadFirmwareDialog : public QDialog {
  Q_OBJECT

 public:
  UploadFirmwareDialog(QWidget* parent, ToolEnv& env);
  // What the dialog does as it opens: versions, connecting, the last files.
  void OpenTool();
  FirmwareUploader& Controller() { return m_uploader; }
  QPushButton* Button(const QString& caption, int index = 0) const;
  QCheckBox* CheckBox(const QString& caption) const;
  QLineEdit* FlashPath() const { return m_flash_path; }
  QLineEdit* EepromPath() const { return m_eeprom_path; }
  QLineEdit* ApplicationVersion() const { return m_app_version; }
  QLineEdit* Description() const { return m_description; }
  QLineEdit* BootLoaderVersion() const { return m_boot_version; }

 public slots:
  // The window's close box and Escape end here.
  void reject() override;

 private:
  void Render();
  void TakeControls();
  // Runs a controller action with the controls mirrored first and the
  // state rendered afterwards.
  void Click(const std::function<void()>& action);
  void Finish(bool close_box);

  FirmwareUploader m_uploader;
  QCheckBox* m_power_off;
  QCheckBox* m_insert_checksum;
  QCheckBox* m_erase_first;
  QCheckBox* m_keep_eeprom;
  QCheckBox* m_verify;
  QLineEdit* m_flash_path;
  QLineEdit* m_eeprom_path;
  QLineEdit* m_app_version;
  QLineEdit* m_description;
  QLineEdit* m_boot_version;
  QPushButton* m_view_flash;
  QPushButton* m_view_eeprom;
  bool m_finished = false;
};

}  // namespace corvel::gui
