// The registry load: being written with the context menu.
#include "settings/product_settings.h"

void ProductSettings::LoadAll() {}
bool ProductSettings::LoadValue(int, const char*) { return false; }
bool ProductSettings::LoadSetting(int) { return false; }
void ProductSettings::CheckDriveSpaceList(bool) {}
