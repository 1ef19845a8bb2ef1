#pragma once
// The number of import slots: the families a plot overlays at once, each in a colour of
// its own, saved with a configuration and named on a command line.
namespace anodix {

inline constexpr int kSlotCount = 5;

}  // namespace anodix
