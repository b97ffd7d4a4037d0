// Throughput of page generation on large messages, beside two baselines on
// the same bytes: memcpy, and glibc iconv converting code page 936 to UTF-8.
//
//   page_bench [Google Benchmark flags]
//
// Without flags each case runs 3 times and the medians are shown. After the
// run a summary gives MiB/s per size, the ratio of the whole Generate to
// iconv, and how the time grows from 16 MiB to 64 MiB, by wall-clock time and
// by CPU time. The Generate case writes the page to a file in a folder of its
// own under the temporary folder ($TMPDIR or /tmp), which it removes at exit.
#include <benchmark/benchmark.h>
#include <iconv.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "message.h"
#include "page.h"

namespace {

using bench::Composition;
using bench::MakeMessage;
using dorvane::Text;

constexpr std::size_t kKiB = 1024;
constexpr std::size_t kMiB = 1024 * kKiB;
constexpr std::size_t kSizes[] = {1 * kKiB, 64 * kKiB, 1 * kMiB, 16 * kMiB, 64 * kMiB};

std::string SizeName(std::size_t size) {
    return size >= kMiB ? std::to_string(size / kMiB) + "MiB" : std::to_string(size / kKiB) + "KiB";
}

const std::string& Message(std::size_t size) {
    static std::map<std::size_t, std::string> messages;
    auto [it, made] = messages.try_emplace(size);
    if (made) it->second = MakeMessage(size);
    return it->second;
}

const Text& Title() {
    static const Text title = dorvane::Utf16ToCp936(u"性能测试 benchmark");
    return title;
}

// A folder of our own under the system's temporary folder, removed at exit.
class TempFolder {
public:
    TempFolder() {
        std::string pattern = (std::filesystem::temp_directory_path() / "page_bench.XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::perror("page_bench: mkdtemp");
            std::exit(1);
        }
        path_ = pattern;
    }
    ~TempFolder() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    const std::string& path() const { return path_; }

private:
    std::string path_;
};

TempFolder* gTemp = nullptr;

void Finish(benchmark::State& state, std::size_t size) {
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(size));
}

void BM_Memcpy(benchmark::State& state, std::size_t size) {
    const std::string& message = Message(size);
    std::vector<char> copy(size, 1);
    for (auto _ : state) {
        std::memcpy(copy.data(), message.data(), size);
        benchmark::DoNotOptimize(copy.data());
        benchmark::ClobberMemory();
    }
    Finish(state, size);
}

void BM_Iconv(benchmark::State& state, std::size_t size) {
    const std::string& message = Message(size);
    const iconv_t cd = iconv_open("UTF-8", "CP936");
    if (cd == reinterpret_cast<iconv_t>(-1)) {
        state.SkipWithError("iconv_open(UTF-8, CP936) failed");
        return;
    }
    std::vector<char> out(size / 2 * 3 + 16, 1);  // 2 bytes never make more than 3
    for (auto _ : state) {
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* in = const_cast<char*>(message.data());
        std::size_t inLeft = size;
        char* to = out.data();
        std::size_t outLeft = out.size();
        const std::size_t result = iconv(cd, &in, &inLeft, &to, &outLeft);
        if (result == static_cast<std::size_t>(-1) || inLeft != 0) {
            state.SkipWithError("iconv stopped before the end of the message");
            break;
        }
        benchmark::DoNotOptimize(to);
        benchmark::ClobberMemory();
    }
    iconv_close(cd);
    Finish(state, size);
}

void BM_BuildAndConvert(benchmark::State& state, std::size_t size) {
    const std::string& message = Message(size);
    for (auto _ : state) {
        const dorvane::Bytes utf8 = dorvane::AnsiToUtf8(dorvane::BuildPage(Title(), message));
        benchmark::DoNotOptimize(utf8.data());
    }
    Finish(state, size);
}

void BM_Generate(benchmark::State& state, std::size_t size) {
    const std::string& message = Message(size);
    const std::string path = gTemp->path() + "/page.html";
    for (auto _ : state) {
        const dorvane::GenerateResult result = dorvane::Generate(Title(), message, path);
        if (result.outcome != dorvane::GenerateOutcome::Written) {
            state.SkipWithError("Generate did not write the page");
            break;
        }
    }
    Finish(state, size);
}

// The kinds in the order of the summary's columns.
enum Kind { kMemcpy, kIconv, kBuildConvert, kGenerate, kKinds };
constexpr const char* kKindNames[kKinds] = {"memcpy", "iconv_cp936_utf8", "BuildPage+AnsiToUtf8",
                                            "Generate"};

struct Figure {
    double seconds = 0;     // real time per iteration
    double cpuSeconds = 0;  // CPU time of the process per iteration
    bool median = false;
};
std::map<std::string, std::pair<Kind, std::size_t>> gCases;  // benchmark name -> kind, size
std::map<std::pair<Kind, std::size_t>, Figure> gFigures;

// The console output as usual, and a note of each case's time per iteration:
// the median when there are repetitions, else the single run.
class Reporter : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override {
        ConsoleReporter::ReportRuns(runs);
        for (const Run& run : runs) {
            const auto c = gCases.find(run.run_name.function_name);
            if (c == gCases.end() || run.error_occurred) continue;
            const bool median = run.run_type == Run::RT_Aggregate && run.aggregate_name == "median";
            if (run.run_type == Run::RT_Aggregate && !median) continue;
            Figure& f = gFigures[c->second];
            if (f.median && !median) continue;
            f.seconds = run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            f.cpuSeconds = run.GetAdjustedCPUTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
            f.median = median;
        }
    }
};

double MiBPerSecond(Kind kind, std::size_t size, bool cpu) {
    const auto f = gFigures.find({kind, size});
    if (f == gFigures.end()) return 0;
    const double seconds = cpu ? f->second.cpuSeconds : f->second.seconds;
    return seconds <= 0 ? 0 : size / seconds / kMiB;
}

// MiB of message per second for each case and size, then the ratio of the
// whole Generate to iconv; by wall-clock time, or by CPU time, which leaves
// out waiting for the disk and for other processes.
void PrintTable(bool cpu) {
    std::printf("\nMiB of message per second, %s%s\n", cpu ? "CPU time" : "real time",
                gFigures.empty() || gFigures.begin()->second.median ? " (medians)" : "");
    std::printf("%-8s", "size");
    for (const char* name : kKindNames) std::printf(" %21s", name);
    std::printf(" %15s\n", "Generate/iconv");
    for (const std::size_t size : kSizes) {
        std::printf("%-8s", SizeName(size).c_str());
        for (int k = 0; k < kKinds; ++k) {
            const double v = MiBPerSecond(static_cast<Kind>(k), size, cpu);
            if (v > 0) std::printf(" %21.0f", v); else std::printf(" %21s", "-");
        }
        const double g = MiBPerSecond(kGenerate, size, cpu), i = MiBPerSecond(kIconv, size, cpu);
        if (g > 0 && i > 0) std::printf(" %14.2fx\n", g / i); else std::printf(" %15s\n", "-");
    }
}

void PrintSummary() {
    PrintTable(false);
    PrintTable(true);
    std::printf("\nTime of 64 MiB / time of 16 MiB (linear: 4.00)    real    CPU\n");
    for (int k = 0; k < kKinds; ++k) {
        const auto a = gFigures.find({static_cast<Kind>(k), 16 * kMiB});
        const auto b = gFigures.find({static_cast<Kind>(k), 64 * kMiB});
        if (a == gFigures.end() || b == gFigures.end()) continue;
        std::printf("  %-45s %5.2f  %5.2f\n", kKindNames[k], b->second.seconds / a->second.seconds,
                    b->second.cpuSeconds / a->second.cpuSeconds);
    }
}

void PrintMessage() {
    Composition c;
    const std::string sample = MakeMessage(16 * kMiB, &c);
    const double chars = static_cast<double>(c.chinese + c.ascii);
    std::printf(
        "Message: code page 936, %.1f %% Chinese characters (%.1f %% of the bytes), "
        "%.1f %% ASCII, one CR LF per %.0f characters\n",
        100.0 * c.chinese / chars, 200.0 * c.chinese / sample.size(), 100.0 * c.ascii / chars,
        chars / c.lineBreaks);
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<char*> args(argv, argv + argc);
    bool repetitionsGiven = false;
    for (int i = 1; i < argc; ++i)
        repetitionsGiven |= std::string_view(argv[i]).starts_with("--benchmark_repetitions");
    std::string repetitions = "--benchmark_repetitions=3";
    std::string aggregatesOnly = "--benchmark_display_aggregates_only=true";
    if (!repetitionsGiven) {
        args.push_back(repetitions.data());
        args.push_back(aggregatesOnly.data());
    }
    int count = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&count, args.data());
    if (benchmark::ReportUnrecognizedArguments(count, args.data())) return 1;

    TempFolder temp;
    gTemp = &temp;
    using Fn = void (*)(benchmark::State&, std::size_t);
    const Fn fns[kKinds] = {BM_Memcpy, BM_Iconv, BM_BuildAndConvert, BM_Generate};
    for (int k = 0; k < kKinds; ++k) {
        for (const std::size_t size : kSizes) {
            const std::string name = std::string(kKindNames[k]) + "/" + SizeName(size);
            gCases[name] = {static_cast<Kind>(k), size};
            benchmark::RegisterBenchmark(name.c_str(), fns[k], size)
                ->UseRealTime()
                ->Unit(benchmark::kMillisecond);
        }
    }
    PrintMessage();
    Reporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    PrintSummary();
    benchmark::Shutdown();
    return 0;
}
