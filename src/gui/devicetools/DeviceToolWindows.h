#pragma once
// The device tools' windows: "Send Packet Testing", "Meridel Modem Init" and
// "Send or Receive Calibration Data". Each renders its controller and forwards
// the person's edits and clicks to it.
#include <QDialog>

#include "core/tool/devicetools/CalibrationTransfer.h"
#include "core/tool/devicetools/ModemInit.h"
#include "core/tool/devicetools/PacketTester.h"

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;

namespace corvel::gui {

class PacketTestWindow : public QDialog {
  Q_OBJECT
 public:
  PacketTestWindow(ToolEnv& env, QWidget* parent = nullptr);

  PacketTester& Controller() { return m_tester; }
  QLineEdit* ReceiverEdit() const { return m_receiver; }
  QLineEdit* SenderEdit() const { return m_sender; }
  QLineEdit* TypeEdit() const { return m_type; }
  QPlainTextEdit* DataEdit() const { return m_data; }
  QPlainTextEdit* ResponseBox() const { return m_response; }
  QPushButton* SendButton() const { return m_send; }

 private:
  void Send();

  PacketTester m_tester;
  QLineEdit* m_receiver;
  QLineEdit* m_sender;
  QLineEdit* m_type;
  QPlainTextEdit* m_data;
  QPlainTextEdit* m_response;
  QPushButton* m_send;
};

class ModemInitWindow : public QDialog {
  Q_OBJECT
 public:
  ModemInitWindow(ToolEnv& env, QWidget* parent = nullptr);

  ModemInit& Controller() { return m_modem; }
  QLineEdit* DialInitEdit() const { return m_dial_init; }
  QLineEdit* LeasedInitEdit() const { return m_leased_init; }
  QLineEdit* DialCommandEdit() const { return m_dial_command; }
  QPlainTextEdit* ReportBox() const { return m_report; }
  QPushButton* RetrieveButton() const { return m_retrieve; }
  QPushButton* SendButton() const { return m_send; }

  void done(int result) override;

 private:
  void Render();

  ModemInit m_modem;
  bool m_closed = false;
  QLineEdit* m_dial_init;
  QLineEdit* m_leased_init;
  QLineEdit* m_dial_command;
  QPlainTextEdit* m_report;
  QPushButton* m_retrieve;
  QPushButton* m_send;
};

class CalibrationWindow : public QDialog {
  Q_OBJECT
 public:
  CalibrationWindow(ToolEnv& env, QWidget* parent = nullptr);

  CalibrationTransfer& Controller() { return m_cal; }
  QPlainTextEdit* ScaleFactorBox() const { return m_scale_factors; }
  QPlainTextEdit* ThresholdBox() const { return m_thresholds; }
  QComboBox* EquipmentBox() const { return m_equipment; }
  QComboBox* PositionBox() const { return m_position; }
  QCheckBox* RelayCheck() const { return m_relay; }
  QPushButton* Button(const char* caption) const;

 private:
  void Render();

  CalibrationTransfer m_cal;
  QPlainTextEdit* m_scale_factors;
  QPlainTextEdit* m_thresholds;
  QComboBox* m_equipment;
  QComboBox* m_position;
  QCheckBox* m_relay;
};

}  // namespace corvel::gui
