#include "gui/kernel/KernelUploaderDialog.h"

#include <QEvent>
#include <QFocusEvent>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "core/tool/kernel/KernelMessages.h"
#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace text = kernel::text;

KernelUploaderDialog::KernelUploaderDialog(QWidget* parent, ToolEnv& env) : QDialog(parent), m_uploader(env) {
  setWindowTitle(text::kWindowTitle);
  auto* layout = new QVBoxLayout(this);

  auto* connect = new QPushButton(text::kConnectButton, this);
  layout->addWidget(connect, 0, Qt::AlignRight);

  auto* file = new QGridLayout;
  file->addWidget(new QLabel(text::kFileLabel, this), 0, 0, 1, 3);
  m_file_path = new QLineEdit(this);
  m_file_path->setMinimumWidth(320);
  auto* browse = new QPushButton(text::kBrowseButton, this);
  m_view = new QPushButton(text::kViewFileButton, this);
  file->addWidget(m_file_path, 1, 0);
  file->addWidget(browse, 1, 1);
  file->addWidget(m_view, 1, 2);
  layout->addLayout(file);

  auto* address_row = new QHBoxLayout;
  address_row->addWidget(new QLabel(text::kAddressLabel, this));
  m_address = new QLineEdit(this);
  m_address->installEventFilter(this);
  address_row->addWidget(m_address);
  layout->addLayout(address_row);

  auto* actions = new QHBoxLayout;
  m_program = new QPushButton(text::kProgramButton, this);
  auto* start = new QPushButton(text::kStartButton, this);
  auto* done = new QPushButton(text::kDoneButton, this);
  actions->addWidget(m_program);
  actions->addWidget(start);
  actions->addStretch();
  actions->addWidget(done);
  layout->addLayout(actions);

  KernelUploader& u = m_uploader;
  QObject::connect(connect, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.Connect(); }); });
  QObject::connect(browse, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.Browse(); }); });
  QObject::connect(m_view, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ViewFile(); }); });
  QObject::connect(m_program, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.Program(); }); });
  QObject::connect(start, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.Start(); }); });
  QObject::connect(done, &QPushButton::clicked, this, [this] {
    Finish();
    accept();
  });
  Render();
}

bool KernelUploaderDialog::eventFilter(QObject* watched, QEvent* event) {
  // The address is taken whenever its box loses focus.
  // Not while a button's action runs (its message boxes take the focus) and
  // not when another window is merely activated.
  if (watched == m_address && event->type() == QEvent::FocusOut && !m_finished && !m_busy &&
      static_cast<QFocusEvent*>(event)->reason() != Qt::ActiveWindowFocusReason) {
    Click([this] { m_uploader.AddressFieldLeft(); });
  }
  return QDialog::eventFilter(watched, event);
}

void KernelUploaderDialog::OpenTool() {
  m_busy = true;
  m_uploader.Open();
  m_busy = false;
  Render();
}

void KernelUploaderDialog::TakeControls() {
  m_uploader.controls.file_path = m_file_path->text().toStdString();
  m_uploader.controls.address_text = m_address->text().toStdString();
}

void KernelUploaderDialog::Render() {
  m_file_path->setText(QString::fromStdString(m_uploader.controls.file_path));
  m_address->setText(QString::fromStdString(m_uploader.controls.address_text));
  m_view->setEnabled(m_uploader.ViewEnabled());
  m_program->setEnabled(m_uploader.ProgramEnabled());
}

void KernelUploaderDialog::Click(const std::function<void()>& action) {
  TakeControls();
  m_busy = true;
  action();
  m_busy = false;
  Render();
}

void KernelUploaderDialog::Finish() {
  if (m_finished) return;
  m_finished = true;
  m_uploader.Close();
}

void KernelUploaderDialog::reject() {
  Finish();
  QDialog::reject();
}

QPushButton* KernelUploaderDialog::Button(const QString& caption) const {
  for (auto* button : findChildren<QPushButton*>()) {
    if (button->text() == caption) return button;
  }
  return nullptr;
}

}  // namespace corvel::gui

CORVEL_GUI_TOOL(UploadPyrelKernel, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::KernelUploaderDialog dialog(parent, env);
  // Connecting runs once the window is up, so its messages have it as owner.
  QTimer::singleShot(0, &dialog, [&dialog] { dialog.OpenTool(); });
  corvel::gui::ExecModal(dialog);
});
