#include "gui/CommonDialogs.h"

#include <QDialogButtonBox>
#include <QFontDatabase>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "core/tool/app/ToolLauncher.h"

namespace corvel::gui {

QString ToEditText(const std::string& text) {
  QString result = QString::fromStdString(text);
  result.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
  return result;
}

ReadBackOptionsDialog::ReadBackOptionsDialog(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Please select an option"));
  auto* layout = new QVBoxLayout(this);
  const char* labels[3] = {"Save file to disk", "View file in Hex Viewer", "Verify against existing file"};
  for (int i = 0; i < 3; ++i) {
    m_options[i] = new QRadioButton(QString::fromUtf8(labels[i]), this);
    layout->addWidget(m_options[i]);
  }
  m_options[0]->setChecked(true);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
}

ReadBackOption ReadBackOptionsDialog::Choice() const {
  if (m_options[1]->isChecked()) return ReadBackOption::View;
  if (m_options[2]->isChecked()) return ReadBackOption::Verify;
  return ReadBackOption::Save;
}

HexViewerDialog::HexViewerDialog(const std::string& text, QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("Hex File Contents"));
  auto* layout = new QVBoxLayout(this);
  m_edit = new QPlainTextEdit(this);
  m_edit->setReadOnly(true);
  m_edit->setLineWrapMode(QPlainTextEdit::NoWrap);
  m_edit->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  m_edit->setPlainText(ToEditText(text));
  layout->addWidget(m_edit);
  auto* done = new QPushButton(QStringLiteral("Done"), this);
  auto* row = new QHBoxLayout;
  row->addStretch();
  row->addWidget(done);
  layout->addLayout(row);
  connect(done, &QPushButton::clicked, this, &QDialog::accept);
  // Wide enough for a whole line of sixteen bytes.
  const int line_width = m_edit->fontMetrics().horizontalAdvance(QString(62, QLatin1Char('0')));
  resize(line_width + 60, 420);
}

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QStringLiteral("About Corvel"));
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(QString::fromStdString(AboutText()), this);
  layout->addWidget(text);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
  layout->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
}

}  // namespace corvel::gui
