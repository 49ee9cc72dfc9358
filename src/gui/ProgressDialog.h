#pragma once
// The Qt face of a ProgressWindow: caption, bar, centred percentage line and
// Cancel. It disables its owner while it is up and hands events to the
// program only when the operation reports progress or polls for Cancel.
#include <QDialog>
#include <QPointer>

#include "core/ui/ProgressWindow.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvel::gui {

class ProgressDialog : public QDialog {
  Q_OBJECT
 public:
  ProgressDialog(QWidget* owner, const QString& caption, bool cancel_enabled, ProgressWindow& window);

  QProgressBar* Bar() const { return m_bar; }
  QLabel* PercentLine() const { return m_text; }
  QPushButton* CancelButton() const { return m_cancel; }

  // Escape and the close box ask for Cancel; the window stays until the
  // operation destroys it.
  void reject() override;

 protected:
  void keyPressEvent(QKeyEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private:
  ProgressWindow& m_window;
  QProgressBar* m_bar;
  QLabel* m_text;
  QPushButton* m_cancel;
};

class QtProgressDisplay : public ProgressDisplay {
 public:
  // owner: the window disabled while the progress window is up; may be null.
  explicit QtProgressDisplay(QWidget* owner);
  ~QtProgressDisplay() override;

  bool OwnerEnabled() const override;
  void SetOwnerEnabled(bool enabled) override;
  bool CreateWindow(const std::string& caption, bool cancel_enabled, ProgressWindow& window) override;
  void SetBar(int position) override;
  void SetText(const std::string& text) override;
  void PumpMessages() override;
  void DestroyWindow() override;

  ProgressDialog* Dialog() const { return m_dialog; }

 private:
  QPointer<QWidget> m_owner;
  QPointer<ProgressDialog> m_dialog;
};

// The window a progress window disables: the active modal window (the tool
// window, or the launcher), else the active window.
QWidget* ProgressOwner();

}  // namespace corvel::gui
