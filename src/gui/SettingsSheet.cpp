#include "gui/SettingsSheet.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QTabWidget>
#include <QVBoxLayout>

namespace corvel::gui {

SettingsSheetDialog::SettingsSheetDialog(ToolEnv& env, QWidget* parent) : QDialog(parent), m_sheet(env) {
  setWindowTitle(QStringLiteral("Settings"));
  auto* layout = new QVBoxLayout(this);
  m_tabs = new QTabWidget(this);
  layout->addWidget(m_tabs);

  auto* page = new QWidget(m_tabs);
  auto* form = new QFormLayout(page);
  m_port = new QComboBox(page);
  m_port->setEditable(true);
  m_port->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& name : SerialPortChoices()) m_port->addItem(QString::fromStdString(name));
  form->addRow(QStringLiteral("Serial Port"), m_port);

  // The speed is the program's business (19200, 115200 for transfers); the
  // list is kept but never shown.
  m_baud_label = new QLabel(QStringLiteral("Baud Rate"), page);
  m_baud = new QComboBox(page);
  for (uint32_t rate : SerialBaudRates()) m_baud->addItem(QString::number(rate));
  m_baud->setEnabled(false);
  form->addRow(m_baud_label, m_baud);
  m_baud_label->setVisible(false);
  m_baud->setVisible(false);

  m_timeout = new QLineEdit(page);
  m_timeout->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), m_timeout));
  form->addRow(QStringLiteral("Additional time out (ms)"), m_timeout);
  m_high_speed = new QCheckBox(QStringLiteral("Attempt high speed programming"), page);
  form->addRow(m_high_speed);
  m_debug_window = new QCheckBox(QStringLiteral("Use debugging dialog"), page);
  form->addRow(m_debug_window);
  m_tabs->addTab(page, QStringLiteral("Serial Settings"));

  auto* buttons =
      new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel | QDialogButtonBox::Apply, this);
  layout->addWidget(buttons);
  m_ok = buttons->button(QDialogButtonBox::Ok);
  m_cancel = buttons->button(QDialogButtonBox::Cancel);
  m_apply = buttons->button(QDialogButtonBox::Apply);

  // The page as it opens; the edits are connected afterwards so showing the
  // values does not count as a change.
  const SerialSettingsPage& values = m_sheet.Page();
  m_port->setCurrentIndex(-1);
  m_port->setEditText(QString::fromStdString(values.port_name));
  m_baud->setCurrentIndex(values.baud_index);
  m_timeout->setText(QString::fromStdString(values.timeout_text));
  m_high_speed->setChecked(values.high_speed);
  m_debug_window->setChecked(values.debug_window);

  connect(m_port, &QComboBox::editTextChanged, this, [this](const QString& text) {
    m_sheet.SetPortName(text.toStdString());
    ShowApplyState();
  });
  connect(m_port, &QComboBox::currentIndexChanged, this, [this](int) {
    m_sheet.SetPortName(m_port->currentText().toStdString());
    ShowApplyState();
  });
  connect(m_baud, &QComboBox::currentIndexChanged, this, [this](int index) {
    m_sheet.SetBaudIndex(index);
    ShowApplyState();
  });
  connect(m_timeout, &QLineEdit::textChanged, this,
          [this](const QString& text) { m_sheet.SetTimeoutText(text.toStdString()); });
  connect(m_high_speed, &QCheckBox::toggled, this, [this](bool on) { m_sheet.SetHighSpeed(on); });
  connect(m_debug_window, &QCheckBox::toggled, this, [this](bool on) { m_sheet.SetDebugWindow(on); });
  connect(m_ok, &QPushButton::clicked, this, &SettingsSheetDialog::Ok);
  connect(m_apply, &QPushButton::clicked, this, &SettingsSheetDialog::Apply);
  connect(m_cancel, &QPushButton::clicked, this, &QDialog::reject);
  ShowApplyState();
}

void SettingsSheetDialog::ShowApplyState() { m_apply->setEnabled(m_sheet.ApplyEnabled()); }

void SettingsSheetDialog::Ok() {
  if (!m_sheet.Apply()) {
    m_timeout->setFocus();
    m_timeout->selectAll();
    return;
  }
  accept();
}

void SettingsSheetDialog::Apply() {
  if (!m_sheet.Apply()) {
    m_timeout->setFocus();
    m_timeout->selectAll();
  }
  ShowApplyState();
}

}  // namespace corvel::gui
