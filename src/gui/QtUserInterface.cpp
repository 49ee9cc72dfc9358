#include "gui/QtUserInterface.h"

#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include "gui/CommonDialogs.h"
#include "gui/ProgressDialog.h"
#include "gui/ToolWindows.h"

namespace corvel::gui {

namespace {

ToolEnv* g_env = nullptr;

QMessageBox::Icon ToQtIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::None: return QMessageBox::NoIcon;
    case MessageIcon::Information: return QMessageBox::Information;
    case MessageIcon::Question: return QMessageBox::Question;
    case MessageIcon::Exclamation: return QMessageBox::Warning;
    case MessageIcon::Error: return QMessageBox::Critical;
  }
  return QMessageBox::NoIcon;
}

QMessageBox::StandardButtons ToQtButtons(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return QMessageBox::Ok;
    case MessageButtons::OkCancel: return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::YesNo: return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel: return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    case MessageButtons::RetryCancel: return QMessageBox::Retry | QMessageBox::Cancel;
    case MessageButtons::AbortRetryIgnore: return QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore;
  }
  return QMessageBox::Ok;
}

// What closing the box without a button means: the safe answer of its set.
Answer EscapeAnswer(MessageButtons buttons) {
  switch (buttons) {
    case MessageButtons::Ok: return Answer::Ok;
    case MessageButtons::YesNo: return Answer::No;
    case MessageButtons::AbortRetryIgnore: return Answer::Abort;
    default: return Answer::Cancel;
  }
}

Answer FromQt(int button, MessageButtons buttons) {
  switch (button) {
    case QMessageBox::Ok: return Answer::Ok;
    case QMessageBox::Cancel: return Answer::Cancel;
    case QMessageBox::Yes: return Answer::Yes;
    case QMessageBox::No: return Answer::No;
    case QMessageBox::Retry: return Answer::Retry;
    case QMessageBox::Abort: return Answer::Abort;
    case QMessageBox::Ignore: return Answer::Ignore;
    default: return EscapeAnswer(buttons);
  }
}

}  // namespace

ToolEnv* CurrentEnv() { return g_env; }
void SetCurrentEnv(ToolEnv* env) { g_env = env; }

QWidget* DialogParent() { return ProgressOwner(); }

QStringList QtNameFilters(const std::string& filter) {
  QStringList result;
  for (const FileFilter& f : ParseFileFilter(filter)) {
    QString description = QString::fromStdString(f.description).trimmed();
    QString patterns = QString::fromStdString(f.patterns);
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    patterns = patterns.simplified();
    // "*.*" is every file where these filters come from; Qt would match only
    // names with a dot in them and hide a kernel file called "vmlinux".
    QStringList matching = patterns.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString& pattern : matching) {
      if (pattern == QStringLiteral("*.*")) pattern = QStringLiteral("*");
    }
    matching.removeDuplicates();
    // Qt takes the patterns from the last parenthesised list of the filter.
    const QString listed = QStringLiteral("(") + patterns + QStringLiteral(")");
    QString listed_with_semicolons = listed;
    listed_with_semicolons.replace(QLatin1Char(' '), QLatin1Char(';'));
    if (description.endsWith(listed)) {
      description.chop(listed.size());
    } else if (description.endsWith(listed_with_semicolons)) {
      description.chop(listed_with_semicolons.size());
    }
    description = description.trimmed();
    const QString shown = QStringLiteral("(") + matching.join(QLatin1Char(' ')) + QStringLiteral(")");
    result << (description.isEmpty() ? shown : description + QStringLiteral(" ") + shown);
  }
  return result;
}

Answer QtUserInterface::ShowMessage(const Message& message) {
  QMessageBox box(ToQtIcon(message.icon), QStringLiteral("Corvel"), QString::fromStdString(message.text),
                  ToQtButtons(message.buttons), DialogParent());
  return FromQt(ExecModal(box), message.buttons);
}

std::optional<std::string> QtUserInterface::ChooseFile(const FileDialogRequest& request) {
  QFileDialog dialog(DialogParent(), QString::fromStdString(request.title));
  dialog.setAcceptMode(request.open ? QFileDialog::AcceptOpen : QFileDialog::AcceptSave);
  dialog.setFileMode(request.open && request.must_exist ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
  if (!request.open && !request.overwrite_prompt) dialog.setOption(QFileDialog::DontConfirmOverwrite, true);
  const QStringList filters = QtNameFilters(request.filter);
  if (!filters.isEmpty()) dialog.setNameFilters(filters);
  if (!request.default_extension.empty()) dialog.setDefaultSuffix(QString::fromStdString(request.default_extension));
  if (!request.initial_name.empty()) {
    const QFileInfo initial(QString::fromStdString(request.initial_name));
    if (initial.isDir()) {
      dialog.setDirectory(initial.absoluteFilePath());
    } else {
      if (initial.absoluteDir().exists()) dialog.setDirectory(initial.absolutePath());
      dialog.selectFile(initial.fileName());
    }
  }
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

std::optional<std::string> QtUserInterface::ChooseFolder(const std::string& title, const std::string& initial) {
  QFileDialog dialog(DialogParent(), QString::fromStdString(title), QString::fromStdString(initial));
  dialog.setFileMode(QFileDialog::Directory);
  dialog.setOption(QFileDialog::ShowDirsOnly, true);
  if (ExecModal(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().first().toStdString();
}

ReadBackOption QtUserInterface::ChooseReadBackOption() {
  ReadBackOptionsDialog dialog(DialogParent());
  if (ExecModal(dialog) != QDialog::Accepted) return ReadBackOption::Cancel;
  return dialog.Choice();
}

void QtUserInterface::ShowHexViewer(const std::string& text) {
  HexViewerDialog dialog(text, DialogParent());
  ExecModal(dialog);
}

std::unique_ptr<ProgressWindow> QtUserInterface::MakeProgressWindow(unsigned caption_id,
                                                                    const std::string& status_text) {
  return std::make_unique<ProgressWindow>(caption_id, status_text,
                                          std::make_unique<QtProgressDisplay>(ProgressOwner()));
}

}  // namespace corvel::gui
