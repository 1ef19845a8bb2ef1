#pragma once
// The window's real dialogs on Qt Widgets, modal to the active window.
#include "tools/dialogs.h"

namespace anodix {

// QFileDialog. The Save form asks before replacing a file.
class QtFileDialogService : public FileDialogService {
public:
    std::string Run(const FileDialogRequest& request) override;
};

// QMessageBox.
class QtMessageService : public MessageService {
public:
    void Show(const std::string& text, const std::string& title, MessageIcon icon) override;
};

}  // namespace anodix
