// Conversion of external data tables into TDF files.
#include "app/base.h"

namespace anodix {

void Base::MnuConvertion_Click() { ConvertExternalData(); }
void Base::ConvertExternalData() {}

}  // namespace anodix
