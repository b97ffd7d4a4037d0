// libFuzzer entry point: the input must pass CheckPage (checks.h).
#include <cstdio>
#include <cstdlib>

#include "checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string fault = dorvane::fuzz::CheckPage(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "CheckPage: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
