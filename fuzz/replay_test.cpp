// Replays the fuzz seeds and every input a fuzz run ever failed on
// (fuzz/regressions/) through the fuzz properties, in the normal tests.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "checks.h"

namespace dorvane::fuzz {
namespace {

namespace fs = std::filesystem;

fs::path FuzzFolder() {
    fs::path here = fs::path(__FILE__).parent_path();
#ifdef _WIN32
    // Cross-built and run under Wine: the source tree is seen on drive Z:.
    if (!fs::exists(here) && here.native().starts_with(L"/")) here = L"Z:" + here.native();
#endif
    return here;
}

using Check = std::string (*)(const std::uint8_t*, std::size_t);

// Runs check over every input under fuzz/<kind>/<target>; returns the count.
int Replay(const fs::path& folder, Check check) {
    int count = 0;
    if (!fs::is_directory(folder)) return 0;
    for (const auto& e : fs::directory_iterator(folder)) {
        const std::string name = e.path().filename().string();
        if (!e.is_regular_file() || name.starts_with(".") || name == "README.md") continue;
        std::ifstream in(e.path(), std::ios::binary);
        const std::string bytes{std::istreambuf_iterator<char>(in), {}};
        EXPECT_EQ(check(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), "")
            << e.path().string();
        ++count;
    }
    return count;
}

TEST(FuzzReplay, SeedsAndRegressionsPassThePageProperties) {
    EXPECT_GT(Replay(FuzzFolder() / "corpus" / "page", CheckPage), 0) << FuzzFolder();
    Replay(FuzzFolder() / "regressions" / "page", CheckPage);
}

TEST(FuzzReplay, SeedsAndRegressionsPassTheCodePageProperties) {
    EXPECT_GT(Replay(FuzzFolder() / "corpus" / "cp936", CheckCp936), 0) << FuzzFolder();
    Replay(FuzzFolder() / "regressions" / "cp936", CheckCp936);
}

}  // namespace
}  // namespace dorvane::fuzz
