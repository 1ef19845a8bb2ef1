// Scales fitted to the families shown, the wheel over the plot, and the Help menu.
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>
#include <algorithm>

#include "app/base.h"
#include "tools/appdir.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// The scales a list offers, in its order.
std::vector<float> ListScales(const QComboBox& list) {
    std::vector<float> scales;
    scales.reserve(static_cast<std::size_t>(list.count()));
    for (int i = 0; i < list.count(); ++i)
        scales.push_back(static_cast<float>(LeadingNumber(list.itemText(i).toStdString())));
    return scales;
}

}  // namespace

bool Base::FitToFamilies() {
    const std::optional<Scales> fit = FitScales(Scene(), ListScales(*CbVdiv), ListScales(*CbMaDiv));
    if (!fit) return false;
    CbVdiv->setCurrentText(QString::fromStdString(GeneralNumber(fit->voltsPerDiv)));
    CbMaDiv->setCurrentText(QString::fromStdString(GeneralNumber(fit->milliampsPerDiv)));
    return true;
}

void Base::Mnu_FitFamilies_Click() {
    if (!FitToFamilies()) {
        Status("Fit to families: no family is shown");
        return;
    }
    RedrawPlot();
}

void Base::Scope_MouseWheel(int steps, int shift) {
    QComboBox* list = (shift & 1) != 0 ? CbMaDiv : CbVdiv;
    const float inForce = list == CbMaDiv ? state_.MilliampsPerDiv : state_.VoltsPerDiv;
    std::vector<float> scales = ListScales(*list);
    std::sort(scales.begin(), scales.end());
    if (scales.empty()) return;
    // From a typed scale between two entries, the first step goes to the neighbour.
    float next = inForce;
    for (int n = 0; n < std::abs(steps); ++n) {
        if (steps > 0) {
            const auto below =
                std::find_if(scales.rbegin(), scales.rend(), [next](float v) { return v < next; });
            next = below != scales.rend() ? *below : scales.front();
        } else {
            const auto above =
                std::find_if(scales.begin(), scales.end(), [next](float v) { return v > next; });
            next = above != scales.end() ? *above : scales.back();
        }
    }
    if (next == inForce) return;
    list->setCurrentText(QString::fromStdString(GeneralNumber(next)));
    RedrawPlot();
}

void Base::Mnu_Manual_Click() {
    const auto open = [this](const QUrl& url) {
        return openDocument ? openDocument(url) : QDesktopServices::openUrl(url);
    };
    // The installed manual page, shown by the desktop's help viewer; else the README of the
    // source tree the program was built from.
    const QString installed =
        QCoreApplication::applicationDirPath() + "/../share/man/man1/anodix.1.gz";
    if (QFileInfo::exists(installed) && open(QUrl("man:anodix(1)"))) return;
    const QString readme = QStringLiteral(ANODIX_README);
    if (QFileInfo::exists(readme) && open(QUrl::fromLocalFile(readme))) return;
    Message(QFileInfo::exists(installed)
                ? "Can't open the manual: the desktop has no viewer for manual pages; "
                  "type \"man anodix\" in a terminal."
                : "Can't open the manual: neither it nor the README was found.");
}

void Base::Mnu_About_Click() {
    Message(std::string("Anodix ") + ANODIX_VERSION +
                "\nTube curve families, load lines and a sound-card curve tracer.\n"
                "Licence: proprietary; all rights reserved by the Anodix developers.\n"
                "Data folder (examples, the last configuration): " +
                ProgramDirectory(),
            "About Anodix");
}

}  // namespace anodix
