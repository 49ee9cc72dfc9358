#include "gui/chain/ReadDeviceChainWindow.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

void SetTextIfChanged(QLineEdit* edit, const std::string& text) {
  const QString value = Q(text);
  if (edit->text() != value) {
    const QSignalBlocker block(edit);
    edit->setText(value);
  }
}

}  // namespace

ReadDeviceChainWindow::ReadDeviceChainWindow(ToolEnv& env, QWidget* parent) : QDialog(parent), m_reader(env) {
  setWindowTitle(kChainWindowTitle);
  auto* layout = new QVBoxLayout(this);

  layout->addWidget(new QLabel(kChainEquipmentLabel, this));
  m_equipment = new QComboBox(this);
  for (const auto& entry : ChainEquipmentList()) m_equipment->addItem(Q(entry));
  layout->addWidget(m_equipment);

  auto* names = new QGridLayout();
  names->addWidget(new QLabel(kChainPrefixLabel, this), 0, 0);
  m_prefix = new QLineEdit(this);
  names->addWidget(m_prefix, 0, 1);
  names->addWidget(new QLabel(kChainSuffixLabel, this), 1, 0);
  m_suffix = new QLineEdit(this);
  names->addWidget(m_suffix, 1, 1);
  layout->addLayout(names);

  auto* serial_box = new QGroupBox(tr("Serial number file"), this);
  auto* serial_layout = new QVBoxLayout(serial_box);
  auto* serial_row = new QHBoxLayout();
  m_serial_file = new QLineEdit(serial_box);
  m_browse_serial = new QPushButton(tr("Browse"), serial_box);
  serial_row->addWidget(m_serial_file);
  serial_row->addWidget(m_browse_serial);
  serial_layout->addLayout(serial_row);
  auto* position_row = new QHBoxLayout();
  auto* positions = new QButtonGroup(this);
  const char* position_texts[3] = {kChainSerialDisable, kChainSerialStart, kChainSerialEnd};
  for (int i = 0; i < 3; ++i) {
    m_position[i] = new QRadioButton(position_texts[i], serial_box);
    positions->addButton(m_position[i], i);
    position_row->addWidget(m_position[i]);
  }
  serial_layout->addLayout(position_row);
  layout->addWidget(serial_box);

  layout->addWidget(new QLabel(kChainPreviewLabel, this));
  m_preview = new QLineEdit(this);
  m_preview->setReadOnly(true);
  layout->addWidget(m_preview);

  layout->addWidget(new QLabel(kChainOutputDirLabel, this));
  auto* output_row = new QHBoxLayout();
  m_output_dir = new QLineEdit(this);
  m_browse_output = new QPushButton(tr("Browse"), this);
  output_row->addWidget(m_output_dir);
  output_row->addWidget(m_browse_output);
  layout->addLayout(output_row);

  auto* buttons = new QDialogButtonBox(this);
  m_get_files = buttons->addButton(kChainGetFilesButton, QDialogButtonBox::ActionRole);
  buttons->addButton(QDialogButtonBox::Close);
  layout->addWidget(buttons);
  for (auto* button : buttons->buttons()) {
    if (auto* push = qobject_cast<QPushButton*>(button)) push->setAutoDefault(false);
  }

  m_reader.Open();
  Render();

  connect(m_equipment, &QComboBox::currentIndexChanged, this, [this](int index) {
    m_reader.SetEquipment(index);
    Render();
  });
  connect(m_prefix, &QLineEdit::textEdited, this, [this](const QString& text) {
    m_reader.SetPrefix(S(text));
    Render();
  });
  connect(m_suffix, &QLineEdit::textEdited, this, [this](const QString& text) {
    m_reader.SetSuffix(S(text));
    Render();
  });
  connect(m_serial_file, &QLineEdit::textEdited, this, [this](const QString& text) {
    m_reader.SetSerialFile(S(text));
    Render();
  });
  connect(m_output_dir, &QLineEdit::textEdited, this, [this](const QString& text) {
    m_reader.SetOutputDirectory(S(text));
    Render();
  });
  connect(positions, &QButtonGroup::idClicked, this, [this](int id) {
    m_reader.SetSerialPosition(id);
    Render();
  });
  connect(m_browse_serial, &QPushButton::clicked, this, [this] {
    m_reader.BrowseSerialFile();
    Render();
  });
  connect(m_browse_output, &QPushButton::clicked, this, [this] {
    m_reader.BrowseOutputFolder();
    Render();
  });
  connect(m_get_files, &QPushButton::clicked, this, [this] {
    m_reader.GetEepromFiles();
    Render();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ReadDeviceChainWindow::~ReadDeviceChainWindow() = default;

void ReadDeviceChainWindow::Render() {
  if (m_equipment->currentIndex() != m_reader.Equipment()) {
    const QSignalBlocker block(m_equipment);
    m_equipment->setCurrentIndex(m_reader.Equipment());
  }
  SetTextIfChanged(m_prefix, m_reader.Prefix());
  SetTextIfChanged(m_suffix, m_reader.Suffix());
  SetTextIfChanged(m_serial_file, m_reader.SerialFile());
  SetTextIfChanged(m_output_dir, m_reader.OutputDirectory());
  SetTextIfChanged(m_preview, m_reader.Preview());
  const int position = m_reader.SerialPosition();
  for (int i = 0; i < 3; ++i) m_position[i]->setChecked(i == position);
}

void ReadDeviceChainWindow::done(int result) {
  if (!m_closed) {
    m_closed = true;
    m_reader.Close();
  }
  QDialog::done(result);
}

}  // namespace corvel::gui

CORVEL_GUI_TOOL(ReadDeviceChain, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::ReadDeviceChainWindow window(env, parent);
  corvel::gui::ExecModal(window);
});
