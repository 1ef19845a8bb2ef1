#pragma once
// What the window needs from the outside world, passed in by main() or by a test.
namespace anodix {

class WaveApi;
class FileDialogService;
class MessageService;

struct Services {
    WaveApi* wave = nullptr;
    FileDialogService* dialogs = nullptr;
    MessageService* messages = nullptr;
};

}  // namespace anodix
