#include "CliMain.h"

#include <cstdlib>
#include <iostream>
#include <string>
#include <unistd.h>
#include <vector>

int main(int argc, char** argv) {
    std::ios::sync_with_stdio(false);
    std::vector<std::string> words(argv + 1, argv + argc);
    const char* drives = std::getenv("TWL_DRIVES");
    twl::cli::CliContext context{std::cout, std::cerr, &std::cin, {}, ::isatty(STDERR_FILENO) == 1,
                                 {}};
    if (drives != nullptr)
        context.twlDrives = drives;
    const int status = twl::cli::CliMain(words, context);
    std::cout.flush();
    return status;
}
