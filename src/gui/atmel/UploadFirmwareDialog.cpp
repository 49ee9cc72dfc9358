#include "gui/atmel/UploadFirmwareDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }

QLineEdit* ReadOnlyBox(QWidget* parent) {
  auto* box = new QLineEdit(parent);
  box->setReadOnly(true);
  return box;
}

}  // namespace

UploadFirmwareDialog::UploadFirmwareDialog(QWidget* parent, ToolEnv& env) : QDialog(parent), m_uploader(env) {
  setWindowTitle("Upload New Firmware");
  auto* layout = new QVBoxLayout(this);

  auto* connect_row = new QHBoxLayout;
  m_power_off = new QCheckBox("Connect using power off sequence", this);
  auto* connect = new QPushButton("Connect to Atmel", this);
  connect_row->addWidget(m_power_off);
  connect_row->addStretch();
  connect_row->addWidget(connect);
  layout->addLayout(connect_row);

  auto* flash_box = new QGroupBox(this);
  auto* flash = new QGridLayout(flash_box);
  flash->addWidget(new QLabel("Please select a flash file to upload:", flash_box), 0, 0, 1, 4);
  m_flash_path = new QLineEdit(flash_box);
  m_flash_path->setMinimumWidth(320);
  auto* browse_flash = new QPushButton("Browse", flash_box);
  m_view_flash = new QPushButton("View File", flash_box);
  auto* read_flash = new QPushButton("Read Flash", flash_box);
  flash->addWidget(m_flash_path, 1, 0);
  flash->addWidget(browse_flash, 1, 1);
  flash->addWidget(m_view_flash, 1, 2);
  flash->addWidget(read_flash, 1, 3);
  m_insert_checksum = new QCheckBox("Insert proper flash checksum", flash_box);
  m_erase_first = new QCheckBox("Erase all flash before programming", flash_box);
  flash->addWidget(m_insert_checksum, 2, 0, 1, 4);
  flash->addWidget(m_erase_first, 3, 0, 1, 4);
  layout->addWidget(flash_box);

  auto* eeprom_box = new QGroupBox(this);
  auto* eeprom = new QGridLayout(eeprom_box);
  m_keep_eeprom = new QCheckBox("Keep my current EEPROM file", eeprom_box);
  eeprom->addWidget(m_keep_eeprom, 0, 0, 1, 4);
  eeprom->addWidget(new QLabel("Please select an EEPROM file to upload:", eeprom_box), 1, 0, 1, 4);
  m_eeprom_path = new QLineEdit(eeprom_box);
  m_eeprom_path->setMinimumWidth(320);
  auto* browse_eeprom = new QPushButton("Browse", eeprom_box);
  m_view_eeprom = new QPushButton("View File", eeprom_box);
  auto* read_eeprom = new QPushButton("Read EEPROM", eeprom_box);
  eeprom->addWidget(m_eeprom_path, 2, 0);
  eeprom->addWidget(browse_eeprom, 2, 1);
  eeprom->addWidget(m_view_eeprom, 2, 2);
  eeprom->addWidget(read_eeprom, 2, 3);
  layout->addWidget(eeprom_box);

  m_verify = new QCheckBox("Perform full verification after programming", this);
  layout->addWidget(m_verify);
  auto* action_row = new QHBoxLayout;
  auto* program = new QPushButton("Program New Firmware", this);
  auto* start = new QPushButton("Start Application", this);
  action_row->addWidget(program);
  action_row->addWidget(start);
  layout->addLayout(action_row);

  auto* versions_box = new QGroupBox(this);
  auto* versions = new QGridLayout(versions_box);
  m_app_version = ReadOnlyBox(versions_box);
  m_description = ReadOnlyBox(versions_box);
  m_boot_version = ReadOnlyBox(versions_box);
  versions->addWidget(new QLabel("Current Application Version", versions_box), 0, 0);
  versions->addWidget(m_app_version, 0, 1);
  versions->addWidget(new QLabel("Description", versions_box), 1, 0);
  versions->addWidget(m_description, 1, 1);
  versions->addWidget(new QLabel("Current Boot Loader Version", versions_box), 2, 0);
  versions->addWidget(m_boot_version, 2, 1);
  auto* get_versions = new QPushButton("Get Versions", versions_box);
  versions->addWidget(get_versions, 3, 1, Qt::AlignRight);
  layout->addWidget(versions_box);

  auto* done = new QPushButton("Done", this);
  layout->addWidget(done, 0, Qt::AlignRight);

  FirmwareUploader& u = m_uploader;
  QObject::connect(connect, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ConnectToAtmel(); }); });
  QObject::connect(browse_flash, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.BrowseFlash(); }); });
  QObject::connect(browse_eeprom, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.BrowseEeprom(); }); });
  QObject::connect(m_view_flash, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ViewFlash(); }); });
  QObject::connect(m_view_eeprom, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ViewEeprom(); }); });
  QObject::connect(read_flash, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ReadFlash(); }); });
  QObject::connect(read_eeprom, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ReadEeprom(); }); });
  QObject::connect(program, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ProgramNewFirmware(); }); });
  QObject::connect(start, &QPushButton::clicked, this, [this, &u] { Click([&u] { (void)u.StartApplication(); /* the trace says how it went */ }); });
  QObject::connect(get_versions, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.GetVersions(); }); });
  QObject::connect(m_keep_eeprom, &QCheckBox::clicked, this, [this, &u] { Click([&u] { u.KeepEepromClicked(); }); });
  QObject::connect(done, &QPushButton::clicked, this, [this] {
    Finish(false);
    accept();
  });
  Render();
}

void UploadFirmwareDialog::OpenTool() {
  m_uploader.Open();
  Render();
}

void UploadFirmwareDialog::TakeControls() {
  auto& c = m_uploader.controls;
  c.flash_file = m_flash_path->text().toStdString();
  c.eeprom_file = m_eeprom_path->text().toStdString();
  c.keep_eeprom = m_keep_eeprom->isChecked();
  c.insert_checksum = m_insert_checksum->isChecked();
  c.power_off_connect = m_power_off->isChecked();
  c.erase_flash_first = m_erase_first->isChecked();
  c.verify_after_programming = m_verify->isChecked();
}

void UploadFirmwareDialog::Render() {
  const auto& c = m_uploader.controls;
  m_flash_path->setText(Q(c.flash_file));
  m_eeprom_path->setText(Q(c.eeprom_file));
  m_keep_eeprom->setChecked(c.keep_eeprom);
  m_insert_checksum->setChecked(c.insert_checksum);
  m_power_off->setChecked(c.power_off_connect);
  m_erase_first->setChecked(c.erase_flash_first);
  m_verify->setChecked(c.verify_after_programming);
  m_eeprom_path->setEnabled(m_uploader.EepromPathEnabled());
  m_view_flash->setEnabled(m_uploader.FlashViewEnabled());
  m_view_eeprom->setEnabled(m_uploader.EepromViewEnabled());
  m_app_version->setText(Q(m_uploader.ApplicationVersionText()));
  m_description->setText(Q(m_uploader.DescriptionText()));
  m_boot_version->setText(Q(m_uploader.BootLoaderVersionText()));
}

void UploadFirmwareDialog::Click(const std::function<void()>& action) {
  // The controller decides which buttons take the controls into its fields;
  // the view only keeps its copy of them current.
  TakeControls();
  action();
  Render();
}

void UploadFirmwareDialog::Finish(bool close_box) {
  if (m_finished) return;
  m_finished = true;
  m_uploader.Close(close_box);
}

void UploadFirmwareDialog::reject() {
  Finish(true);
  QDialog::reject();
}

QPushButton* UploadFirmwareDialog::Button(const QString& caption, int index) const {
  int seen = 0;
  for (auto* button : findChildren<QPushButton*>()) {
    if (button->text() == caption && seen++ == index) return button;
  }
  return nullptr;
}

QCheckBox* UploadFirmwareDialog::CheckBox(const QString& caption) const {
  for (auto* box : findChildren<QCheckBox*>()) {
    if (box->text() == caption) return box;
  }
  return nullptr;
}

}  // namespace corvel::gui

CORVEL_GUI_TOOL(UploadAtmelFirmware, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::UploadFirmwareDialog dialog(parent, env);
  // Versions and connecting run once the window is up, so their progress
  // windows have it as their owner.
  QTimer::singleShot(0, &dialog, [&dialog] { dialog.OpenTool(); });
  corvel::gui::ExecModal(dialog);
});
