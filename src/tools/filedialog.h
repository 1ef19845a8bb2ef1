#pragma once
// The Open and Save file dialogs behind one seam, so tests can answer them.
#include <string>
#include <vector>

namespace anodix {

struct FileDialogRequest {
    std::string action;          // "Open" or "Save"
    std::string title;
    std::string initialDirectory;
    std::string proposedName;    // e.g. "*.tdf"
    // Pairs of description and pattern, e.g. {"Tous fichiers (*.*)", "*.*"}.
    std::vector<std::pair<std::string, std::string>> filters;
    int filterIndex = 1;         // preselected filter, counted from 1
};

// The dialog control. Answers a request with the chosen path, or "" on cancel.
class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    virtual std::string Run(const FileDialogRequest& request) = 0;
};

// Runs the dialog with the program's filter rule: "Tous fichiers (*.*)" always, plus
// "Fichiers <program> (*.<ext>)" preselected when the proposed name has an extension.
// Returns the chosen path, or "" when cancelled or when the action is neither
// "Open" nor "Save".
std::string FileDialog(FileDialogService& dialog, const std::string& initialDirectory,
                       const std::string& proposedName, const std::string& title,
                       const std::string& action);

// The real dialog, on Qt's QFileDialog. The Save form asks before replacing a file.
class QtFileDialogService : public FileDialogService {
public:
    std::string Run(const FileDialogRequest& request) override;
};

}  // namespace anodix
