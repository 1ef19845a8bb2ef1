// Arrow-key stepping of the numeric fields TxPwr, RLoad, TxVg1 and TxVg2: Up raises
// the value by a step, Down lowers it, and the field's own change handling runs on
// the new text exactly as if it had been typed.
#include <QLineEdit>

#include "app/base.h"
#include "tools/numtext.h"

namespace anodix {

namespace {

// The step chosen from the value before the change when a field has no step of its
// own; the bounds are compared as 32-bit floats, a value on a bound takes the larger step.
double AutomaticStep(float v) {
    if (v < 0.1f) return 0.001;
    if (v < 1.0f) return 0.01;
    if (v < 10.0f) return 0.1;
    if (v < 100.0f) return 1.0;
    if (v < 1000.0f) return 10.0;
    return 100.0;
}

}  // namespace

bool Base::StepNumericField(QLineEdit* field, int keyCode, float step) {
    const std::string text = field->text().toStdString();
    const int caret = field->cursorPosition();
    if (text.empty()) return false;
    const float v = static_cast<float>(LeadingNumber(text));
    if (keyCode != kKeyUp && keyCode != kKeyDown) return false;
    // A text that is not a number as a whole (12x) is left to the user.
    const std::optional<double> old = WholeNumber(text);
    if (!old) return false;

    // A given step keeps its 32-bit value in the sum (0.525 adds 0.52499997615814).
    const double s = step != 0.0f ? static_cast<double>(step) : AutomaticStep(v);
    const bool up = keyCode == kKeyUp;
    const double next = up ? *old + s : *old - s;
    field->setText(QString::fromStdString(GeneralNumber(next)));

    // The change handling may have rewritten the text (a clamp); judge what stands.
    const std::optional<double> r = WholeNumber(field->text().toStdString());
    const bool stands = r && (up ? *r > 0.0 : *r >= 0.0);
    if (stands) {
        field->setCursorPosition(0);
    } else {
        // Back to the value before the step, normalised (1.50 comes back as 1.5).
        field->setText(QString::fromStdString(GeneralNumber(v)));
        field->setCursorPosition(caret);
    }
    return stands;
}

void Base::TxPwr_KeyDown(int keyCode, int) { StepNumericField(TxPwr, keyCode, 0.0f); }

void Base::RLoad_KeyDown(int keyCode, int) {
    // Five per cent of the value in force, rounded through its decimal text to a 32-bit float.
    const std::optional<double> value = WholeNumber(RLoad->text().toStdString());
    if (!value) return;
    const auto step = static_cast<float>(LeadingNumber(GeneralNumber(*value / 20.0)));
    StepNumericField(RLoad, keyCode, step);
}

void Base::TxVin_KeyDown(int keyCode, int) { StepNumericField(TxVin, keyCode, 0.0f); }

void Base::TxVg1_KeyDown(int keyCode, int) { StepNumericField(TxVg1, keyCode, 5.0f); }

void Base::TxVg2_KeyDown(int keyCode, int) { StepNumericField(TxVg2, keyCode, 10.0f); }

}  // namespace anodix
