#pragma once
// "Debugging Information": the trace ring in a read-only edit. The window owns
// the log and makes it the one DebugPrintf writes to while it lives.
#include <QDialog>

#include "core/base/DebugLog.h"

class QPlainTextEdit;

namespace corvel::gui {

class DebugWindow : public QDialog {
  Q_OBJECT
 public:
  explicit DebugWindow(QWidget* parent = nullptr);
  ~DebugWindow() override;

  DebugLog& Log() { return m_log; }
  QPlainTextEdit* Edit() const { return m_edit; }
  // Shows the ring's text now; appends otherwise show it the next time the
  // program handles events, so a burst of trace lines rebuilds the text once.
  void Refresh();

 protected:
  // A right-click on the window itself, not on its edit field.
  void mousePressEvent(QMouseEvent* event) override;

 private:
  void LineAppended();

  DebugLog m_log;
  DebugLog* m_previous_log;
  QPlainTextEdit* m_edit;
  bool m_refresh_pending = false;
};

}  // namespace corvel::gui
