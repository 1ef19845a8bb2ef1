#pragma once
// What a command-line program of ours sets up before Qt starts: drawing without a display
// (the offscreen platform, unless the caller chose one), and Qt's own notes kept out of
// its output, so that only failures reach the error stream, after the program's name.
namespace anodix {

// program: the name its messages begin with ("anodix-stage"); must outlive the program.
void PrepareProgramQt(const char* program);

}  // namespace anodix
