// Saves the settings file of generation N, N+1, N+2, ... until killed. On
// standard output it announces each save ("saving N") and reports it done
// ("N"), one line each.
//   settings_save_loop <path> <first generation>
#include "settings/classQMSettings.h"
#include "tests/settings/helper/SaveLoopContent.h"

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char** argv) {
    if (argc != 3)
        return 2;
    const std::string path = argv[1];
    for (long long g = std::atoll(argv[2]);; ++g) {
        TQMSettings s;
        s.Lines = save_loop::Lines(g);
        std::printf("saving %lld\n", g);
        std::fflush(stdout);
        s.SaveToFile(path);
        std::printf("%lld\n", g);
        std::fflush(stdout);
    }
}
