// nmsettings' show and set on a frozen clock: the sample registry shown in
// the product's texts, and every text that show prints set back unchanged.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "hostwin/machine.h"
#include "report.h"
#include "setting_texts.h"
#include "support/settings_registry.h"
#include "support/stamps.h"

namespace {

using hostwin::Machine;

class NmSettingsTest : public testing::Test {
protected:
    void SetUp() override {
        Machine::Reset();
        Machine::SetLocalTime(nmtest::LocalTime(2003, 3, 17, 1, 10, 0));  // Monday 17 March 2003, 10 AM
        Machine::DriveSetup c;
        c.letter = 'C';
        Machine::AddDrive(c);
        std::ifstream in(NM_SAMPLE_REG, std::ios::binary);
        std::stringstream text;
        text << in.rdbuf();
        std::string error;
        ASSERT_TRUE(Machine::ImportRegistry(text.str(), &error)) << error;
    }
    void TearDown() override { Machine::Reset(); }

    static std::string Show() {
        std::ostringstream out;
        ShowSettings(out, 7);
        return out.str();
    }
};

TEST_F(NmSettingsTest, ShowPrintsEveryValueAndTheChecksWithoutWriting) {
    const std::string before = Machine::ExportRegistry("HKEY_LOCAL_MACHINE");
    EXPECT_EQ(Show(),
              "ADM = 0 2\n"
              "DCCDA = C: deep 03/07/03 9:05 PM, quick None, setting 1\n"
              "DCE = (missing)\n"
              "DCLC = 7 days, off\n"
              "DCG = (missing)\n"
              "DCO = (missing)\n"
              "DCSL = Mondays at 9:00 AM; Daily at 6:05 PM\n"
              "DCSI = 3 days, 0 seconds at 9:30 PM\n"
              "DCT = A:1\n"
              "DCU = 0\n"
              "DSL = C:5\n"
              "DSP = (missing)\n"
              "DSC = (missing)\n"
              "ECD = (missing)\n"
              "EFR = (missing)\n"
              "EGP = (missing)\n"
              "EGPL = (missing)\n"
              "EHU = (missing)\n"
              "ELCC = (missing)\n"
              "ENST = Fri Mar 7, 2003 9:05:09 PM\n"
              "Base Top = -2\n"
              "Base Left = (missing)\n"
              "Agent Top = (missing)\n"
              "Agent Left = (missing)\n"
              "PG = (missing)\n"
              "PP = 16909060\n"
              "PPH = C:\\pp\n"
              "LLC = (missing)\n"
              "next run = Mon Mar 17, 2003 6:05:00 PM\n"
              "deep clean due = no\n"
              "earliest deep clean = Fri Mar 7, 2003 9:05:09 PM\n"
              "deep clean overdue = yes (10 days)\n"
              "update check due = yes\n");
    EXPECT_EQ(Machine::ExportRegistry("HKEY_LOCAL_MACHINE"), before) << "show writes nothing";
}

// Every line that show prints is a value that set takes, and saving it
// changes neither the text nor the stored bytes.
TEST_F(NmSettingsTest, SetTakesBackEveryTextThatShowPrints) {
    const std::string shown = Show();
    std::istringstream lines(shown);
    for (std::string line; std::getline(lines, line);) {
        const size_t eq = line.find(" = ");
        const std::string name = line.substr(0, eq), text = line.substr(eq + 3);
        SettingId id;
        if (!FindSetting(name, &id) || text == "(missing)" || id == SettingId::DCT || id == SettingId::DCE)
            continue;
        SCOPED_TRACE(line);
        std::ostringstream out;
        std::string error;
        EXPECT_EQ(SetSetting(name, text, out, &error), 0) << error;
        EXPECT_EQ(out.str(), line + "\nstatus = 0\n");
    }
    EXPECT_EQ(Show(), shown);
}

TEST_F(NmSettingsTest, SetRefusesWhatItCannotTakeAndWritesNothing) {
    struct Case {
        const char* name;
        const char* value;
        const char* expected;  // in the error
    };
    const Case cases[] = {
        {"NOPE", "1", "unknown setting NOPE"},
        {"DCO", "256", "a number 0-255"},
        {"DCO", "-1", "a number 0-255"},
        {"DCO", " 1", "a number 0-255"},
        {"ELCC", "300", "a number 0-255"},
        {"ENST", "Mon Jan 5, 2003 9:07:03 AM", "a date like"},
        {"ENST", "Sun Jan 5, 2003 13:07:03 AM", "a date like"},
        {"LLC", "Tue Feb 29, 2003 9:07:03 AM", "a date like"},
        {"DCLC", "7 days", "\"N days, on\""},
        {"ADM", "32", "bit numbers"},
        {"DCSL", "Someday at 9:00 AM", "times like"},
        {"DCSI", "3 weeks at 9:30 PM", "an interval"},
        {"DSL", "C5", "letter:class"},
        {"DCCDA", "C: deep 02/30/03 9:05 PM, quick None, setting 1", "records like"},
        {"DCT", "A:1", "subkey list"},
        {"Base Top", "2147483648", "-2147483648 to 2147483647"},
    };
    const std::string before = Machine::ExportRegistry("HKEY_LOCAL_MACHINE");
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " " + c.value);
        std::ostringstream out;
        std::string error;
        EXPECT_EQ(SetSetting(c.name, c.value, out, &error), 2);
        EXPECT_NE(error.find(c.expected), std::string::npos) << error;
        EXPECT_EQ(error.find('\n'), std::string::npos) << "one line";
        EXPECT_EQ(out.str(), "");
    }
    EXPECT_EQ(Machine::ExportRegistry("HKEY_LOCAL_MACHINE"), before);
}

TEST_F(NmSettingsTest, SetSavesInTheRegistryForm) {
    std::ostringstream out;
    std::string error;
    ASSERT_EQ(SetSetting("dclc", "7 days, on", out, &error), 0) << error;
    ASSERT_EQ(SetSetting("DCCDA", "d: deep None, quick 01/02/03 1:02 AM, setting 0; C: deep None, quick None, setting 4",
                         out, &error),
              0)
        << error;
    EXPECT_EQ(nmtest::StoredSetting("DCLC"), nmtest::Bytes{0x0F});
    // d: has no stored record (flags 0); C: keeps the deep-clean flags of its own (1, 0).
    nmtest::Bytes records = {'d', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 4, 2, 0, 3, 'C', 4, 1, 0};
    records.resize(40, 0);
    EXPECT_EQ(nmtest::StoredSetting("DCCDA"), records);
}

}  // namespace
