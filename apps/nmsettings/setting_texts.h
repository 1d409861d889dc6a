// The text of each stored setting as nmsettings prints it and reads it back:
// stamps as their long text, schedule entries as schedule texts, the interval
// as a duration and a time, option sets as the numbers of their set bits,
// drive records as the letter, two short dates and the drive setting, the
// drive-space list as letter:class pairs.
#pragma once

#include <string>

#include "settings/product_settings.h"

// The setting's text from the record's fields.
std::string FormatSetting(const ProductSettings& s, SettingId id);

// Reads `text` into the setting's field.  False (and *expected names the form
// wanted) when the text is not one that FormatSetting gives for that setting.
bool ParseSetting(ProductSettings* s, SettingId id, const std::string& text, std::string* expected);

// The setting of that registry name (case ignored); false for unknown names.
bool FindSetting(const std::string& name, SettingId* id);
