#pragma once
// The two dialogs the program talks to the user through, each behind a seam so that
// tests can answer them: the Open and Save file dialog, and the message box. The
// window's real ones, on Qt Widgets, are in app/qtdialogs.h.
#include <string>
#include <utility>
#include <vector>

namespace anodix {

struct FileDialogRequest {
    std::string action;  // "Open" or "Save"
    std::string title;
    std::string initialDirectory;
    std::string proposedName;  // e.g. "*.tdf"
    // Pairs of description and pattern, e.g. {"Tous fichiers (*.*)", "*.*"}.
    std::vector<std::pair<std::string, std::string>> filters;
    int filterIndex = 1;  // preselected filter, counted from 1
};

// The file dialog. Answers a request with the chosen path, or "" on cancel.
class FileDialogService {
public:
    virtual ~FileDialogService() = default;
    virtual std::string Run(const FileDialogRequest& request) = 0;
};

enum class MessageIcon { None, Critical };

// The message box: a text, an optional icon, one OK button and a title.
class MessageService {
public:
    virtual ~MessageService() = default;
    virtual void Show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
};

// Runs the file dialog with the program's filter rule: "Tous fichiers (*.*)" always,
// plus "Fichiers <program> (*.<ext>)" preselected when the proposed name has an
// extension. Returns the chosen path, or "" when cancelled or when the action is
// neither "Open" nor "Save".
// `more` filters, when given, follow those two and the last of them is preselected.
std::string FileDialog(FileDialogService& dialog, const std::string& initialDirectory,
                       const std::string& proposedName, const std::string& title,
                       const std::string& action,
                       const std::vector<std::pair<std::string, std::string>>& more = {});

}  // namespace anodix
