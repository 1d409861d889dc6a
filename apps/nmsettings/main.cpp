// nmsettings — what a machine's Nullmark settings say, for support staff.
//
//   nmsettings show [--overdue-days N]
//   nmsettings set NAME VALUE
//   nmsettings save-all
#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "report.h"
#include "settings/product_settings.h"

namespace {

constexpr char kUsage[] =
    "usage: nmsettings show [--overdue-days N]\n"
    "       nmsettings set NAME VALUE\n"
    "       nmsettings save-all\n"
    "  show      print every stored setting as NAME = TEXT, then the next run and the due checks\n"
    "            (a deep clean is overdue after N days, default 7); writes nothing\n"
    "  set       set one setting from the text that show prints for it, save it, print the status\n"
    "  save-all  load the settings and save them all back\n";

int UsageError(const std::string& problem) {
    std::fprintf(stderr, "nmsettings: %s (nmsettings --help)\n", problem.c_str());
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.empty())
        return UsageError("expected show, set or save-all");
    const std::string& verb = args[0];
    if (verb == "show") {
        int days = 7;
        if (args.size() == 3 && args[1] == "--overdue-days") {
            try {
                size_t used = 0;
                days = std::stoi(args[2], &used);
                if (used != args[2].size() || days < 0)
                    return UsageError("--overdue-days takes a number of days, 0 or more");
            } catch (...) {
                return UsageError("--overdue-days takes a number of days, 0 or more");
            }
        } else if (args.size() != 1) {
            return UsageError("show takes only --overdue-days N");
        }
        ShowSettings(std::cout, days);
        return 0;
    }
    if (verb == "set") {
        if (args.size() != 3)
            return UsageError("set takes a NAME and a VALUE");
        std::string error;
        const int status = SetSetting(args[1], args[2], std::cout, &error);
        if (status == 2)
            return UsageError(error);
        return status;
    }
    if (verb == "save-all") {
        if (args.size() != 1)
            return UsageError("save-all takes no arguments");
        ProductSettings s;
        s.LoadAll();
        s.SaveAll();
        std::cout << "saved\n";
        return 0;
    }
    return UsageError("unknown command " + verb + ": expected show, set or save-all");
}
