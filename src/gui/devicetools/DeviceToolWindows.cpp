#include "gui/devicetools/DeviceToolWindows.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace {

QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QString& text) { return text.toStdString(); }

// The boxes keep CR LF in the controller; a text widget shows plain breaks.
QString BoxText(const std::string& text) { return Q(text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")); }

QPlainTextEdit* ReadOnlyBox(QWidget* parent) {
  auto* box = new QPlainTextEdit(parent);
  box->setReadOnly(true);
  box->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  box->setLineWrapMode(QPlainTextEdit::NoWrap);
  return box;
}

void SetText(QLineEdit* edit, const std::string& text) {
  if (edit->text() != Q(text)) {
    const QSignalBlocker block(edit);
    edit->setText(Q(text));
  }
}

}  // namespace

// --- Send Packet Testing ---

PacketTestWindow::PacketTestWindow(ToolEnv& env, QWidget* parent) : QDialog(parent), m_tester(env) {
  setWindowTitle(kPacketWindowTitle);
  auto* layout = new QGridLayout(this);
  auto add_edit = [&](const char* caption, int row) {
    layout->addWidget(new QLabel(caption, this), row, 0);
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(kPacketAddressEditLimit);
    layout->addWidget(edit, row, 1);
    return edit;
  };
  m_receiver = add_edit(kPacketReceiverLabel, 0);
  m_sender = add_edit(kPacketSenderLabel, 1);
  m_type = add_edit(kPacketTypeLabel, 2);
  layout->addWidget(new QLabel(kPacketDataLabel, this), 3, 0, 1, 2);
  m_data = new QPlainTextEdit(this);
  layout->addWidget(m_data, 4, 0, 1, 2);
  layout->addWidget(new QLabel(kPacketResponseLabel, this), 5, 0, 1, 2);
  m_response = ReadOnlyBox(this);
  layout->addWidget(m_response, 6, 0, 1, 2);
  m_send = new QPushButton(kPacketSendButton, this);
  layout->addWidget(m_send, 7, 1);
  connect(m_send, &QPushButton::clicked, this, [this] { Send(); });
}

void PacketTestWindow::Send() {
  m_tester.receiver_text = S(m_receiver->text());
  m_tester.sender_text = S(m_sender->text());
  m_tester.type_text = S(m_type->text());
  m_tester.data_text = S(m_data->toPlainText());
  (void)m_tester.Send();
  m_receiver->setText(Q(m_tester.receiver_text));
  m_sender->setText(Q(m_tester.sender_text));
  m_type->setText(Q(m_tester.type_text));
  m_data->setPlainText(BoxText(m_tester.data_text));
  m_response->setPlainText(BoxText(m_tester.Response()));
}

// --- Meridel Modem Init ---

ModemInitWindow::ModemInitWindow(ToolEnv& env, QWidget* parent) : QDialog(parent), m_modem(env) {
  setWindowTitle(kModemWindowTitle);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(kModemHeading, this), 0, 0, 1, 2);
  auto add_edit = [&](const char* caption, int row, int limit) {
    layout->addWidget(new QLabel(caption, this), row, 0);
    auto* edit = new QLineEdit(this);
    edit->setMaxLength(limit);
    layout->addWidget(edit, row, 1);
    return edit;
  };
  m_dial_init = add_edit(kModemDialInitLabel, 1, kModemInitEditLimit);
  m_leased_init = add_edit(kModemLeasedInitLabel, 2, kModemInitEditLimit);
  m_dial_command = add_edit(kModemDialCommandLabel, 3, kModemCommandEditLimit);
  layout->addWidget(new QLabel(kModemReportLabel, this), 4, 0, 1, 2);
  m_report = ReadOnlyBox(this);
  layout->addWidget(m_report, 5, 0, 1, 2);
  auto* row = new QHBoxLayout();
  m_retrieve = new QPushButton(kModemRetrieveButton, this);
  m_send = new QPushButton(kModemSendButton, this);
  row->addWidget(m_retrieve);
  row->addWidget(m_send);
  layout->addLayout(row, 6, 0, 1, 2);

  connect(m_dial_init, &QLineEdit::textEdited, this, [this](const QString& t) { m_modem.SetDialUpInit(S(t)); });
  connect(m_leased_init, &QLineEdit::textEdited, this, [this](const QString& t) { m_modem.SetLeasedLineInit(S(t)); });
  connect(m_dial_command, &QLineEdit::textEdited, this, [this](const QString& t) { m_modem.SetDialUpCommand(S(t)); });
  connect(m_retrieve, &QPushButton::clicked, this, [this] {
    (void)m_modem.Retrieve();
    Render();
  });
  connect(m_send, &QPushButton::clicked, this, [this] {
    (void)m_modem.Send();
    Render();
  });
  (void)m_modem.Open();
  Render();
}

void ModemInitWindow::Render() {
  SetText(m_dial_init, m_modem.DialUpInit());
  SetText(m_leased_init, m_modem.LeasedLineInit());
  SetText(m_dial_command, m_modem.DialUpCommand());
  m_report->setPlainText(BoxText(m_modem.Report()));
}

void ModemInitWindow::done(int result) {
  if (!m_closed) {
    m_closed = true;
    m_modem.Close();
  }
  QDialog::done(result);
}

// --- Send or Receive Calibration Data ---

CalibrationWindow::CalibrationWindow(ToolEnv& env, QWidget* parent) : QDialog(parent), m_cal(env) {
  setWindowTitle(kCalWindowTitle);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(kCalScaleFactorsLabel, this), 0, 0);
  layout->addWidget(new QLabel(kCalThresholdsLabel, this), 0, 1);
  m_scale_factors = ReadOnlyBox(this);
  m_thresholds = ReadOnlyBox(this);
  layout->addWidget(m_scale_factors, 1, 0);
  layout->addWidget(m_thresholds, 1, 1);

  layout->addWidget(new QLabel(kCalEquipmentLabel, this), 2, 0, 1, 2);
  m_equipment = new QComboBox(this);
  for (const auto& entry : CalibrationEquipmentList()) m_equipment->addItem(Q(entry));
  layout->addWidget(m_equipment, 3, 0, 1, 2);
  m_relay = new QCheckBox(kCalRelayCheck, this);
  layout->addWidget(m_relay, 4, 0);
  auto* position_row = new QHBoxLayout();
  position_row->addWidget(new QLabel(kCalPositionLabel, this));
  m_position = new QComboBox(this);
  for (char c = 'A'; c < 'A' + kCalPositionCount; ++c) m_position->addItem(QString(QChar(c)));
  position_row->addWidget(m_position);
  layout->addLayout(position_row, 4, 1);

  auto* buttons = new QHBoxLayout();
  for (const char* caption : {kCalLoadButton, kCalRetrieveButton, kCalSaveButton, kCalSaveTextButton,
                              kCalSendButton, kCalCloseButton}) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(caption);
    button->setAutoDefault(false);
    buttons->addWidget(button);
  }
  layout->addLayout(buttons, 5, 0, 1, 2);

  auto on_click = [this](const char* caption, auto action) {
    connect(Button(caption), &QPushButton::clicked, this, [this, action] {
      action();
      Render();
    });
  };
  on_click(kCalLoadButton, [this] { (void)m_cal.LoadFromFile(); });
  on_click(kCalRetrieveButton, [this] { (void)m_cal.RetrieveFromDevice(); });
  on_click(kCalSaveButton, [this] { (void)m_cal.SaveToFile(); });
  on_click(kCalSaveTextButton, [this] { (void)m_cal.SaveAsTextFile(); });
  on_click(kCalSendButton, [this] { (void)m_cal.SendToDevice(); });
  connect(Button(kCalCloseButton), &QPushButton::clicked, this, &QDialog::accept);
  connect(m_equipment, &QComboBox::currentIndexChanged, this, [this](int index) {
    m_cal.SetEquipment(index);
    Render();
  });
  connect(m_position, &QComboBox::currentIndexChanged, this, [this](int index) { m_cal.SetPosition(index); });
  connect(m_relay, &QCheckBox::toggled, this, [this](bool on) { m_cal.SetRelay(on); });

  m_cal.Open();
  Render();
}

QPushButton* CalibrationWindow::Button(const char* caption) const {
  return findChild<QPushButton*>(QString::fromUtf8(caption));
}

void CalibrationWindow::Render() {
  const QSignalBlocker block_equipment(m_equipment);
  const QSignalBlocker block_position(m_position);
  const QSignalBlocker block_relay(m_relay);
  m_equipment->setCurrentIndex(m_cal.Equipment());
  m_position->setCurrentIndex(m_cal.Position());
  m_relay->setChecked(m_cal.Relay());
  m_scale_factors->setPlainText(BoxText(m_cal.ScaleFactorBox()));
  m_thresholds->setPlainText(BoxText(m_cal.ThresholdBox()));
}

}  // namespace corvel::gui

CORVEL_GUI_TOOL(TestSerialPackets, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::PacketTestWindow window(env, parent);
  corvel::gui::ExecModal(window);
});

CORVEL_GUI_TOOL(MeridelModemInit, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::ModemInitWindow window(env, parent);
  corvel::gui::ExecModal(window);
});

CORVEL_GUI_TOOL(SendReceiveCalibration, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::CalibrationWindow window(env, parent);
  corvel::gui::ExecModal(window);
});
