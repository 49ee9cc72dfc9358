#include "gui/ProgressDialog.h"

#include <algorithm>

#include <QApplication>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

namespace corvel::gui {

ProgressDialog::ProgressDialog(QWidget* owner, const QString& caption, bool cancel_enabled, ProgressWindow& window)
    : QDialog(owner), m_window(window) {
  setWindowTitle(caption);
  setModal(false);
  // 186 x 63 dialog units.
  setMinimumSize(280, 100);
  auto* layout = new QVBoxLayout(this);
  m_bar = new QProgressBar(this);
  m_bar->setRange(0, 100);
  m_bar->setTextVisible(false);
  layout->addWidget(m_bar);
  m_text = new QLabel(QStringLiteral(" 0 %"), this);
  m_text->setAlignment(Qt::AlignCenter);
  layout->addWidget(m_text);
  auto* row = new QHBoxLayout;
  row->addStretch();
  m_cancel = new QPushButton(QStringLiteral("Cancel"), this);
  // Enter must not press Cancel.
  m_cancel->setAutoDefault(false);
  m_cancel->setDefault(false);
  m_cancel->setEnabled(cancel_enabled);
  row->addWidget(m_cancel);
  row->addStretch();
  layout->addLayout(row);
  connect(m_cancel, &QPushButton::clicked, this, [this] { m_window.RequestCancel(); });
}

void ProgressDialog::reject() {
  if (m_cancel->isEnabled()) m_window.RequestCancel();
}

void ProgressDialog::keyPressEvent(QKeyEvent* event) {
  if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
    event->accept();
    return;
  }
  QDialog::keyPressEvent(event);
}

void ProgressDialog::closeEvent(QCloseEvent* event) {
  event->ignore();
  reject();
}

QtProgressDisplay::QtProgressDisplay(QWidget* owner) : m_owner(owner) {}

QtProgressDisplay::~QtProgressDisplay() { delete m_dialog.data(); }

bool QtProgressDisplay::OwnerEnabled() const { return m_owner && m_owner->isEnabled(); }

void QtProgressDisplay::SetOwnerEnabled(bool enabled) {
  if (m_owner) m_owner->setEnabled(enabled);
}

bool QtProgressDisplay::CreateWindow(const std::string& caption, bool cancel_enabled, ProgressWindow& window) {
  if (m_dialog) return false;
  // A child of the owner, so a modal owner does not block it. Enabled
  // explicitly: the owner is already disabled, and Cancel must still work.
  m_dialog = new ProgressDialog(m_owner, QString::fromStdString(caption), cancel_enabled, window);
  m_dialog->setEnabled(true);
  m_dialog->show();
  return m_dialog->isVisible();
}

void QtProgressDisplay::SetBar(int position) {
  if (m_dialog) m_dialog->Bar()->setValue(std::clamp(position, 0, 100));
}

void QtProgressDisplay::SetText(const std::string& text) {
  if (m_dialog) m_dialog->PercentLine()->setText(QString::fromStdString(text));
}

void QtProgressDisplay::PumpMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

void QtProgressDisplay::DestroyWindow() {
  delete m_dialog.data();
  m_dialog = nullptr;
}

QWidget* ProgressOwner() {
  if (QWidget* modal = QApplication::activeModalWidget()) return modal;
  return QApplication::activeWindow();
}

}  // namespace corvel::gui
