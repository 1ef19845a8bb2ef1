#pragma once
// What the window needs from the outside world, passed in by main() or by a test.
#include <string>

namespace anodix {

class WaveApi;
class FileDialogService;

enum class MessageIcon { None, Critical };

// Message boxes: a text, an optional icon, one OK button and a title.
class MessageService {
public:
    virtual ~MessageService() = default;
    virtual void Show(const std::string& text, const std::string& title, MessageIcon icon) = 0;
};

// The real message box (QMessageBox, modal to the main window).
class QtMessageService : public MessageService {
public:
    void Show(const std::string& text, const std::string& title, MessageIcon icon) override;
};

struct Services {
    WaveApi* wave = nullptr;
    FileDialogService* dialogs = nullptr;
    MessageService* messages = nullptr;
};

}  // namespace anodix
