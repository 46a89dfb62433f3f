// Writes the fixture disks into a folder, as the fuzzers' seed corpus.

#include "fixtures/SampleDisks.h"

#include <cstdio>
#include <string>

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_fuzz_seeds FOLDER\n");
        return 2;
    }
    const std::string folder = argv[1];
    const bool ok = twl::fixtures::MixedDisk().SaveTo(folder + "/mixed.img") &&
                    twl::fixtures::LoopingChainDisk().SaveTo(folder + "/looping.img");
    return ok ? 0 : 1;
}
