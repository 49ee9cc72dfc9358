#include "gui/hex/HexToolDialogs.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "core/tool/hex/HexToolTexts.h"
#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace {
QString Q(const std::string& text) { return QString::fromStdString(text); }
std::string S(const QLineEdit* edit) { return edit->text().toStdString(); }
}  // namespace

ChecksumGeneratorDialog::ChecksumGeneratorDialog(ToolEnv& env, QWidget* parent)
    : QDialog(parent), m_tool(env) {
  setWindowTitle(kChecksumGeneratorTitle);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(kSelectFlashFileLabel), 0, 0, 1, 2);
  m_flash = new QLineEdit;
  m_flash_browse = new QPushButton(kBrowseButton);
  layout->addWidget(m_flash, 1, 0);
  layout->addWidget(m_flash_browse, 1, 1);
  layout->addWidget(new QLabel(kGeneratedChecksumLabel), 2, 0, 1, 2);
  m_checksum = new QLineEdit;
  m_checksum->setReadOnly(true);
  m_checksum->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
  layout->addWidget(m_checksum, 3, 0, 1, 2);
  m_merge = new QCheckBox(kMergeBootLoaderLabel);
  layout->addWidget(m_merge, 4, 0, 1, 2);
  m_boot_loader = new QLineEdit;
  m_boot_loader_browse = new QPushButton(kBrowseButton);
  layout->addWidget(m_boot_loader, 5, 0);
  layout->addWidget(m_boot_loader_browse, 5, 1);
  auto* buttons = new QHBoxLayout;
  m_generate = new QPushButton(kGenerateButton);
  m_apply = new QPushButton(kApplyButton);
  m_close = new QPushButton(kCloseButton);
  buttons->addWidget(m_generate);
  buttons->addWidget(m_apply);
  buttons->addStretch();
  buttons->addWidget(m_close);
  layout->addLayout(buttons, 6, 0, 1, 2);
  m_flash->setMinimumWidth(360);

  connect(m_flash_browse, &QPushButton::clicked, this, [this] { Run([this] { m_tool.BrowseFlashFile(); }); });
  connect(m_boot_loader_browse, &QPushButton::clicked, this,
          [this] { Run([this] { m_tool.BrowseBootLoaderFile(); }); });
  connect(m_merge, &QCheckBox::toggled, this, [this] { Run([] {}); });
  connect(m_generate, &QPushButton::clicked, this, [this] { Run([this] { m_tool.Generate(); }); });
  connect(m_apply, &QPushButton::clicked, this, [this] { Run([this] { m_tool.Apply(); }); });
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
  Push();
}

ChecksumGeneratorDialog::~ChecksumGeneratorDialog() {
  Pull();
  m_tool.Close();
}

void ChecksumGeneratorDialog::Pull() {
  m_tool.m_flash_file = S(m_flash);
  m_tool.m_merge_boot_loader = m_merge->isChecked();
  m_tool.m_boot_loader_file = S(m_boot_loader);
}

void ChecksumGeneratorDialog::Push() {
  const QSignalBlocker block(m_merge);
  m_flash->setText(Q(m_tool.m_flash_file));
  m_checksum->setText(Q(m_tool.m_generated_checksum));
  m_merge->setChecked(m_tool.m_merge_boot_loader);
  m_boot_loader->setText(Q(m_tool.m_boot_loader_file));
  m_boot_loader->setEnabled(m_tool.BootLoaderControlsEnabled());
  m_boot_loader_browse->setEnabled(m_tool.BootLoaderControlsEnabled());
}

template <typename Action>
void ChecksumGeneratorDialog::Run(Action action) {
  Pull();
  action();
  Push();
}

MergeHexFilesDialog::MergeHexFilesDialog(ToolEnv& env, QWidget* parent) : QDialog(parent), m_tool(env) {
  setWindowTitle(kMergeHexFilesTitle);
  auto* layout = new QGridLayout(this);
  layout->addWidget(new QLabel(kSelectFirstHexFileLabel), 0, 0, 1, 2);
  m_first = new QLineEdit;
  m_first_browse = new QPushButton(kBrowseButton);
  layout->addWidget(m_first, 1, 0);
  layout->addWidget(m_first_browse, 1, 1);
  layout->addWidget(new QLabel(kSelectSecondHexFileLabel), 2, 0, 1, 2);
  m_second = new QLineEdit;
  m_second_browse = new QPushButton(kBrowseButton);
  layout->addWidget(m_second, 3, 0);
  layout->addWidget(m_second_browse, 3, 1);
  auto* buttons = new QHBoxLayout;
  m_merge = new QPushButton(kMergeButton);
  m_close = new QPushButton(kCloseButton);
  buttons->addWidget(m_merge);
  buttons->addStretch();
  buttons->addWidget(m_close);
  layout->addLayout(buttons, 4, 0, 1, 2);
  m_first->setMinimumWidth(360);

  connect(m_first_browse, &QPushButton::clicked, this, [this] { Run([this] { m_tool.BrowseFirstFile(); }); });
  connect(m_second_browse, &QPushButton::clicked, this, [this] { Run([this] { m_tool.BrowseSecondFile(); }); });
  connect(m_merge, &QPushButton::clicked, this, [this] { Run([this] { m_tool.Merge(); }); });
  connect(m_close, &QPushButton::clicked, this, &QDialog::accept);
  Push();
}

void MergeHexFilesDialog::Pull() {
  m_tool.m_first_file = S(m_first);
  m_tool.m_second_file = S(m_second);
}

void MergeHexFilesDialog::Push() {
  m_first->setText(Q(m_tool.m_first_file));
  m_second->setText(Q(m_tool.m_second_file));
}

template <typename Action>
void MergeHexFilesDialog::Run(Action action) {
  Pull();
  action();
  Push();
}

}  // namespace corvel::gui

CORVEL_GUI_TOOL(GenerateChecksum, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::ChecksumGeneratorDialog dialog(env, parent);
  corvel::gui::ExecModal(dialog);
});
CORVEL_GUI_TOOL(MergeHexFiles, [](QWidget* parent, corvel::ToolEnv& env) {
  corvel::gui::MergeHexFilesDialog dialog(env, parent);
  corvel::gui::ExecModal(dialog);
});
