// Arbitrary bytes as the values of the settings key: load them all, save them
// all back, load again.  The second load must give the record as it was
// saved, which is the first load with only the recomputed next run (and the
// "ELCC" that the recomputation clears) changed.
//
// Input: the values as registry_input.h reads them.
#include <cstddef>
#include <cstdint>

#include "hostwin/machine.h"
#include "registry_input.h"
#include "settings/product_settings.h"
#include "support/settings_difference.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    hostwin::Machine::Reset();
    hostwin::Machine::DriveSetup c;
    c.letter = 'C';
    hostwin::Machine::AddDrive(c);
    hostwin::Machine::SetLocalTime(SYSTEMTIME{2003, 3, 5, 7, 21, 5, 9, 0});
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    nmfuzz::Input in(data, size);
    hostwin::Machine::ClearRegistry();
    nmfuzz::StoreSettingsValues(&in);

    ProductSettings first;
    first.LoadAll();
    ProductSettings saved = first;
    saved.SaveAll();
    ProductSettings second;
    second.LoadAll();

    if (!nmtest::SettingsDifference(second, saved).empty())
        __builtin_trap();
    first.enstStamp = saved.enstStamp;
    first.elcc = saved.elcc;
    if (!nmtest::SettingsDifference(second, first).empty())
        __builtin_trap();
    return 0;
}
