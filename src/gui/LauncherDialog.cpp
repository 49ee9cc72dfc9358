#include "gui/LauncherDialog.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "gui/CommonDialogs.h"
#include "gui/DebugWindow.h"
#include "gui/SettingsSheet.h"
#include "gui/ToolWindows.h"

namespace corvel::gui {

LauncherDialog::LauncherDialog(ToolEnv& env, QWidget* parent) : QDialog(parent), m_env(env) {
  setWindowTitle(QString::fromStdString(LauncherTitle()));

  std::map<std::string, QGroupBox*> boxes;
  std::map<std::string, QGridLayout*> grids;
  for (const char* group : {kGroupAtmel, kGroupDsp, kGroupPowerPc}) {
    auto* box = new QGroupBox(QString::fromUtf8(group), this);
    boxes[group] = box;
    grids[group] = new QGridLayout(box);
  }
  auto* bottom = new QHBoxLayout;
  bottom->addStretch();
  for (const ToolInfo& tool : LauncherTools()) {
    const std::string group = tool.group;
    QWidget* owner = group.empty() ? static_cast<QWidget*>(this) : boxes.at(group);
    auto* button = new QPushButton(QString::fromUtf8(tool.button), owner);
    button->setAutoDefault(false);
    button->setEnabled(LauncherButtonEnabled(tool.id, FindToolWindow(tool.id) != nullptr));
    m_buttons[tool.id] = button;
    if (group.empty()) {
      bottom->addWidget(button);
    } else {
      m_groups[tool.id] = boxes.at(group);
      QGridLayout* grid = grids.at(group);
      // The Atmel group's eight buttons in two columns.
      const int count = grid->count();
      const int columns = group == kGroupAtmel ? 2 : 1;
      grid->addWidget(button, count / columns, count % columns);
    }
    const ToolId id = tool.id;
    connect(button, &QPushButton::clicked, this, [this, id] { Press(id); });
  }

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(boxes.at(kGroupAtmel));
  auto* row = new QHBoxLayout;
  row->addWidget(boxes.at(kGroupDsp));
  row->addWidget(boxes.at(kGroupPowerPc));
  layout->addLayout(row);
  layout->addLayout(bottom);

  if (WantsDebugWindow(env.app)) {
    m_debug = std::make_unique<DebugWindow>();
    m_debug->show();
  }
}

LauncherDialog::~LauncherDialog() = default;

std::unique_ptr<DebugWindow> LauncherDialog::TakeDebugWindow() { return std::move(m_debug); }

QPushButton* LauncherDialog::Button(ToolId id) const {
  auto it = m_buttons.find(id);
  return it == m_buttons.end() ? nullptr : it->second;
}

QGroupBox* LauncherDialog::GroupOf(ToolId id) const {
  auto it = m_groups.find(id);
  return it == m_groups.end() ? nullptr : it->second;
}

void LauncherDialog::Press(ToolId id) {
  switch (id) {
    case ToolId::Settings: {
      SettingsSheetDialog sheet(m_env, this);
      ExecModal(sheet);
      return;
    }
    case ToolId::About: {
      AboutBox about(this);
      ExecModal(about);
      return;
    }
    case ToolId::Exit:
      accept();
      return;
    default: break;
  }
  const ToolWindowFactory* factory = FindToolWindow(id);
  if (factory == nullptr) return;
  const ToolWindowFactory window = *factory;
  RunToolWithPort(m_env, id, [&] { window(this, m_env); });
}

}  // namespace corvel::gui
