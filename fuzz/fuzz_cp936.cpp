// libFuzzer entry point: the input must pass CheckCp936 (checks.h).
#include <cstdio>
#include <cstdlib>

#include "checks.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string fault = dorvane::fuzz::CheckCp936(data, size);
    if (!fault.empty()) {
        std::fprintf(stderr, "CheckCp936: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
