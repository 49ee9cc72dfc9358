#pragma once
// The small shared windows: the read-back chooser, the hex viewer, the about box.
#include <QDialog>

#include "core/ui/UserInterface.h"

class QPlainTextEdit;
class QRadioButton;

namespace corvel::gui {

// "Please select an option": save, view or verify what was just read back.
class ReadBackOptionsDialog : public QDialog {
  Q_OBJECT
 public:
  explicit ReadBackOptionsDialog(QWidget* parent = nullptr);
  // The checked choice; meaningful after OK.
  ReadBackOption Choice() const;
  QRadioButton* Option(int index) const { return m_options[index]; }

 private:
  QRadioButton* m_options[3];
};

// "Hex File Contents": the dump text, fixed-width, read-only, and "Done".
class HexViewerDialog : public QDialog {
  Q_OBJECT
 public:
  HexViewerDialog(const std::string& text, QWidget* parent = nullptr);
  QPlainTextEdit* Edit() const { return m_edit; }

 private:
  QPlainTextEdit* m_edit;
};

class AboutBox : public QDialog {
  Q_OBJECT
 public:
  explicit AboutBox(QWidget* parent = nullptr);
};

// Lines in the dump and trace texts are CR LF separated; Qt's edits want LF.
QString ToEditText(const std::string& text);

}  // namespace corvel::gui
