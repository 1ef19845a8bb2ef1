// The Open and Save file dialogs with the program's filter rule.
#include "tools/filedialog.h"

#include <QApplication>
#include <QFileDialog>
#include <QStringList>

#include "tools/appdir.h"
#include "tools/fields.h"

namespace anodix {

std::string FileDialog(FileDialogService& dialog, const std::string& initialDirectory,
                       const std::string& proposedName, const std::string& title,
                       const std::string& action) {
    if (action != "Open" && action != "Save") return {};
    FileDialogRequest request;
    request.action = action;
    request.title = title;
    request.initialDirectory = initialDirectory;
    request.proposedName = proposedName;
    request.filters.emplace_back("Tous fichiers (*.*)", "*.*");
    request.filterIndex = 1;
    const std::string ext = GetExtension(proposedName);
    if (!ext.empty()) {
        request.filters.emplace_back("Fichiers " + ProgramName() + " (*." + ext + ")", "*." + ext);
        request.filterIndex = 2;
    }
    return dialog.Run(request);
}

namespace {

// Qt reads a filter's patterns from the parentheses at the end of its text. The
// description already shows the pattern; the dialog is told to hide the details,
// so the user sees the description as it stands. "*.*" means every file here,
// also those without an extension.
QString QtFilter(const std::pair<std::string, std::string>& filter) {
    QString pattern = QString::fromStdString(filter.second);
    if (pattern == "*.*") pattern = "*";
    return QString::fromStdString(filter.first) + " (" + pattern + ")";
}

}  // namespace

std::string QtFileDialogService::Run(const FileDialogRequest& request) {
    QFileDialog dialog(QApplication::activeWindow(), QString::fromStdString(request.title),
                       QString::fromStdString(request.initialDirectory));
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    dialog.setOption(QFileDialog::ReadOnly, false);
    QStringList filters;
    for (const auto& filter : request.filters) filters << QtFilter(filter);
    dialog.setNameFilters(filters);
    if (request.filterIndex >= 1 && request.filterIndex <= filters.size()) {
        dialog.selectNameFilter(filters[request.filterIndex - 1]);
    }
    if (request.action == "Save") {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    // A pattern such as "*.vyr" is what the filter already says; only a real name
    // is proposed in the name box.
    const QString proposed = QString::fromStdString(request.proposedName);
    if (!proposed.isEmpty() && !proposed.contains('*') && !proposed.contains('?')) {
        dialog.selectFile(proposed);
    }
    if (dialog.exec() != QDialog::Accepted) return {};
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty()) return {};
    return chosen.first().toStdString();
}

}  // namespace anodix
