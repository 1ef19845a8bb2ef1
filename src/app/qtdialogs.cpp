// The window's real dialogs: Qt's file dialog with the program's filters, and its
// message box.
#include "app/qtdialogs.h"

#include <QApplication>
#include <QFileDialog>
#include <QMessageBox>
#include <QStringList>

namespace anodix {

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

void QtMessageService::Show(const std::string& text, const std::string& title, MessageIcon icon) {
    QMessageBox box(icon == MessageIcon::Critical ? QMessageBox::Critical : QMessageBox::NoIcon,
                    QString::fromStdString(title), QString::fromStdString(text), QMessageBox::Ok,
                    QApplication::activeWindow());
    box.exec();
}

}  // namespace anodix
