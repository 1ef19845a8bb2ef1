// Configuration files: Save, Recall, and the recall of the one saved last at start-up.
#include "app/base.h"

namespace anodix {

void Base::Mnu_Export_Pref_Click() {}
void Base::Mnu_Import_Pref_Click() {}
void Base::LoadConfiguration(const std::string&) {}
void Base::RecallMostRecent() {}

}  // namespace anodix
