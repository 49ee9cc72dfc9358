#include "gui/DebugWindow.h"

#include "gui/CommonDialogs.h"

#include <QFontDatabase>
#include <QMouseEvent>
#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTimer>
#include <QVBoxLayout>

namespace corvel::gui {

DebugWindow::DebugWindow(QWidget* parent) : QDialog(parent), m_previous_log(ActiveDebugLog()) {
  setWindowTitle(QStringLiteral("Debugging Information"));
  setModal(false);
  // 324 x 201 dialog units.
  resize(490, 330);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(8, 8, 8, 8);
  m_edit = new QPlainTextEdit(this);
  m_edit->setReadOnly(true);
  m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(m_edit);
  m_log.SetSink([this](const std::string&) { LineAppended(); });
  SetActiveDebugLog(&m_log);
}

DebugWindow::~DebugWindow() {
  if (ActiveDebugLog() == &m_log) SetActiveDebugLog(m_previous_log);
  m_log.SetSink(nullptr);
}

void DebugWindow::LineAppended() {
  if (m_refresh_pending) return;
  m_refresh_pending = true;
  QTimer::singleShot(0, this, [this] {
    if (m_refresh_pending) Refresh();
  });
}

void DebugWindow::Refresh() {
  m_refresh_pending = false;
  m_edit->setPlainText(ToEditText(m_log.Text()));
  // The newest lines in view.
  m_edit->verticalScrollBar()->setValue(m_edit->verticalScrollBar()->maximum());
}

void DebugWindow::mousePressEvent(QMouseEvent* event) {
  // Clicks the edit field does not take reach here too; only the window's own
  // area counts.
  if (event->button() == Qt::RightButton && childAt(event->position().toPoint()) == nullptr) {
    m_log.AppendStringEntry();
    event->accept();
    return;
  }
  QDialog::mousePressEvent(event);
}

}  // namespace corvel::gui
