// SettingId: the number by which the code names each of the product's
// settings, and the registry name under HKEY_LOCAL_MACHINE
// "software\Greyfell\VI4\Settings" that holds it.
#pragma once

enum class SettingId : int {
    ADM = 0,
    DCCDA = 1,
    DCE = 2,  // a subkey
    DCLC = 3,
    DCG = 4,
    DCO = 5,
    DCSL = 6,
    DCSI = 7,
    DCT = 8,  // a subkey
    DCU = 9,
    DSL = 10,
    DSP = 11,
    DSC = 12,
    ECD = 13,
    EFR = 14,
    EGP = 15,
    EGPL = 16,
    EHU = 17,
    ELCC = 18,
    ENST = 19,
    BaseTop = 20,
    BaseLeft = 21,
    AgentTop = 22,
    AgentLeft = 23,
    PG = 24,
    PP = 25,
    PPH = 26,
    Unused27 = 27,  // no setting: loading and saving it do nothing
    LLC = 28,
};

// The registry name of a setting; null for 27 and anything above 28.
constexpr const char* SettingName(SettingId id) {
    constexpr const char* kNames[] = {
        "ADM",  "DCCDA", "DCE",      "DCLC",      "DCG",       "DCO",        "DCSL", "DCSI", "DCT", "DCU",
        "DSL",  "DSP",   "DSC",      "ECD",       "EFR",       "EGP",        "EGPL", "EHU",  "ELCC", "ENST",
        "Base Top", "Base Left", "Agent Top", "Agent Left", "PG", "PP", "PPH", nullptr, "LLC",
    };
    const int i = static_cast<int>(id);
    return i >= 0 && i < static_cast<int>(sizeof kNames / sizeof kNames[0]) ? kNames[i] : nullptr;
}
