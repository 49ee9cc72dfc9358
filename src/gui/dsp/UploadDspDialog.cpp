#include "gui/dsp/UploadDspDialog.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>

#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace {
QString Q(const std::string& text) { return QString::fromStdString(text); }
}  // namespace

UploadDspDialog::UploadDspDialog(QWidget* parent, ToolEnv& env) : QDialog(parent), m_uploader(env) {
  auto* layout = new QVBoxLayout(this);
  auto* grid = new QGridLayout;
  for (int k = 0; k < DspUploader::kRows; ++k) {
    RowControls& r = m_rows[k];
    r.label = new QLabel(this);
    r.path = new QLineEdit(this);
    r.path->setMinimumWidth(320);
    r.browse = new QPushButton("Browse", this);
    r.view = new QPushButton("View File", this);
    r.read = new QPushButton(this);
    r.program = new QCheckBox(this);
    r.binary = new QCheckBox("Binary File", this);
    const int row = 3 * k;
    grid->addWidget(r.label, row, 0, 1, 4);
    grid->addWidget(r.path, row + 1, 0);
    grid->addWidget(r.browse, row + 1, 1);
    grid->addWidget(r.view, row + 1, 2);
    grid->addWidget(r.read, row + 1, 3);
    grid->addWidget(r.program, row + 2, 0);
    grid->addWidget(r.binary, row + 2, 1, 1, 3);

    DspUploader& u = m_uploader;
    QObject::connect(r.browse, &QPushButton::clicked, this, [this, &u, k] { Click([&u, k] { u.Browse(k); }); });
    QObject::connect(r.view, &QPushButton::clicked, this, [this, &u, k] { Click([&u, k] { u.ViewFile(k); }); });
    QObject::connect(r.read, &QPushButton::clicked, this, [this, &u, k] { Click([&u, k] { u.Read(k); }); });
    QObject::connect(r.program, &QCheckBox::clicked, this,
                     [this, &u, k](bool on) { Click([&u, k, on] { u.ProgramToggled(k, on); }); });
    QObject::connect(r.binary, &QCheckBox::clicked, this,
                     [this, &u, k](bool on) { Click([&u, k, on] { u.BinaryToggled(k, on); }); });
  }
  layout->addLayout(grid);

  auto* actions = new QHBoxLayout;
  m_connect = new QPushButton("Connect", this);
  m_program = new QPushButton("Program New Firmware", this);
  m_start = new QPushButton("Start Application", this);
  m_close = new QPushButton("Close", this);
  actions->addWidget(m_connect);
  actions->addWidget(m_program);
  actions->addWidget(m_start);
  actions->addStretch();
  actions->addWidget(m_close);
  layout->addLayout(actions);

  DspUploader& u = m_uploader;
  QObject::connect(m_connect, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.Connect(); }); });
  QObject::connect(m_program, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.ProgramNewFirmware(); }); });
  QObject::connect(m_start, &QPushButton::clicked, this, [this, &u] { Click([&u] { u.StartApplication(); }); });
  QObject::connect(m_close, &QPushButton::clicked, this, [this] {
    Finish();
    accept();
  });
  Render();
}

void UploadDspDialog::OpenTool() {
  m_uploader.Open();
  Render();
}

void UploadDspDialog::Render() {
  setWindowTitle(Q(m_uploader.Title()));
  for (int k = 0; k < DspUploader::kRows; ++k) {
    const DspUploader::Row& row = m_uploader.GetRow(k);
    RowControls& r = m_rows[k];
    r.label->setText(Q(row.label));
    r.path->setText(Q(row.path));
    r.read->setText(Q(row.read_caption));
    r.program->setText(Q(row.program_caption));
    r.program->setChecked(row.program);
    r.binary->setChecked(row.binary);
    for (QWidget* w : {static_cast<QWidget*>(r.path), static_cast<QWidget*>(r.browse), static_cast<QWidget*>(r.view),
                       static_cast<QWidget*>(r.read), static_cast<QWidget*>(r.program),
                       static_cast<QWidget*>(r.binary)}) {
      w->setVisible(row.visible);
      w->setEnabled(row.enabled);
    }
    r.view->setEnabled(row.enabled && row.view_enabled);
  }
  m_program->setEnabled(m_uploader.ProgramEnabled());
}

void UploadDspDialog::Click(const std::function<void()>& action) {
  for (int k = 0; k < DspUploader::kRows; ++k) m_uploader.SetPath(k, m_rows[k].path->text().toStdString());
  action();
  Render();
}

void UploadDspDialog::Finish() {
  if (m_finished) return;
  m_finished = true;
  for (int k = 0; k < DspUploader::kRows; ++k) m_uploader.SetPath(k, m_rows[k].path->text().toStdString());
  m_uploader.Close();
}

void UploadDspDialog::reject() {
  Finish();
  QDialog::reject();
}

}  // namespace corvel::gui

CORVEL_GUI_TOOL(UploadDspFirmware, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::UploadDspDialog dialog(parent, env);
  // Connecting runs once the window is up, so its messages have it as owner.
  QTimer::singleShot(0, &dialog, [&dialog] { dialog.OpenTool(); });
  corvel::gui::ExecModal(dialog);
});
