// What the X11 clipboard test cannot do from the X11 side, done as a Windows
// program under the same Wine: write ZARL's stored settings before a start,
// and choose a command of its system menu.
//
//   zarl_x11_helper store [NAME=VALUE...]   the stored settings, as FreshStore
//                                           writes them (none: the defaults)
//   zarl_x11_helper syscommand ID           posts WM_SYSCOMMAND ID to the
//                                           window of class "ZARL"
#include "harness.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

int main(int argc, char** argv) {
    std::string verb = argc > 1 ? argv[1] : "";
    if (verb == "store") {
        std::vector<e2e::Setting> settings;
        for (int i = 2; i < argc; ++i) {
            const char* equals = std::strchr(argv[i], '=');
            if (!equals) {
                std::fprintf(stderr, "zarl_x11_helper: %s is not NAME=VALUE\n", argv[i]);
                return 2;
            }
            settings.push_back(e2e::Text(std::string(argv[i], equals - argv[i]), equals + 1));
        }
        testing::AssertionResult stored = e2e::FreshStore(settings);
        if (!stored) std::fprintf(stderr, "zarl_x11_helper: %s\n", stored.message());
        return stored ? 0 : 1;
    }
    if (verb == "syscommand" && argc == 3) {
        HWND zarl = FindWindowA("ZARL", nullptr);
        if (!zarl) std::fprintf(stderr, "zarl_x11_helper: no window of class ZARL\n");
        return zarl && e2e::ChooseSystemMenu(zarl, std::strtoul(argv[2], nullptr, 10)) ? 0 : 1;
    }
    std::fprintf(stderr, "usage: zarl_x11_helper store [NAME=VALUE...] | syscommand ID\n");
    return 2;
}
