#include "plot/surface.h"

#include <algorithm>
#include <cstddef>

#include "tools/numtext.h"

namespace anodix {

void PlotSurface::KeepForeColor() { Tag = std::to_string(ForeColor()); }

void PlotSurface::RestoreForeColor() { SetForeColor(static_cast<Rgb>(LeadingNumber(Tag))); }

float PlotSurface::TextWidth(std::string_view text) const {
    std::size_t longest = 0;
    for (std::size_t begin = 0;;) {
        const std::size_t end = std::min(text.find('\n', begin), text.size());
        longest = std::max(longest, end - begin);
        if (end >= text.size()) break;
        begin = end + 1;
    }
    return 0.6f * TextHeight("1") * static_cast<float>(longest);
}

}  // namespace anodix
