#include "settings/product_settings.h"

ProductSettings::ProductSettings() {
    // The strings and lists start empty and every stamp starts at the clock's
    // time; the two schedule stamps are then cleared.
    dcsiStamp.Reset();
    enstStamp.Reset();

    elcc = 0;
    dsp = 0;
    dsc = 0;
    egp = 4;
    egpl = 4;
    ehu = 1;
    dclc = 14;  // 7 days, off
    efr = 1;
    driveRecordCount = 0;
    dco = 1;
    dcu = 0;
    pp = 0;
    baseTop = -1;
    baseLeft = -1;
    agentTop = -1;
    agentLeft = -1;

    dcgOptions.UnpackOptions(kDefaultDcgMask);
    pgOptions.UnpackOptions(kDefaultPgMask);
    admOptions.UnpackOptions(kDefaultAdmMask);
    driveSpaceList.words[0] = 0;
}
