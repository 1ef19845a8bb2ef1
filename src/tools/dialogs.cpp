// The file dialog's filter rule.
#include "tools/dialogs.h"

#include "tools/appdir.h"
#include "tools/fields.h"

namespace anodix {

std::string FileDialog(FileDialogService& dialog, const std::string& initialDirectory,
                       const std::string& proposedName, const std::string& title,
                       const std::string& action,
                       const std::vector<std::pair<std::string, std::string>>& more) {
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
    for (const auto& filter : more) request.filters.push_back(filter);
    if (!more.empty()) request.filterIndex = static_cast<int>(request.filters.size());
    return dialog.Run(request);
}

}  // namespace anodix
