#pragma once
// The person, through Qt: message boxes, file dialogs, the folder picker, the
// read-back chooser, the hex viewer and progress windows. Every window it
// opens belongs to the active modal window (the tool window, or the launcher).
#include <QStringList>

#include "core/tool/app/ToolEnv.h"
#include "core/ui/UserInterface.h"

class QWidget;

namespace corvel::gui {

class QtUserInterface : public UserInterface {
 public:
  Answer ShowMessage(const Message& message) override;
  std::optional<std::string> ChooseFile(const FileDialogRequest& request) override;
  std::optional<std::string> ChooseFolder(const std::string& title, const std::string& initial) override;
  ReadBackOption ChooseReadBackOption() override;
  void ShowHexViewer(const std::string& text) override;
  std::unique_ptr<ProgressWindow> MakeProgressWindow(unsigned caption_id, const std::string& status_text) override;
};

// Qt name filters from an MFC-style filter string: "Hex Files (*.hex)|*.hex||"
// gives "Hex Files (*.hex)"; a description without its patterns gets them
// appended, because Qt reads the patterns from the parentheses.
QStringList QtNameFilters(const std::string& filter);

// The window message boxes and dialogs belong to.
QWidget* DialogParent();

// The program's environment while the launcher runs; nullptr before and after.
ToolEnv* CurrentEnv();
void SetCurrentEnv(ToolEnv* env);

}  // namespace corvel::gui
