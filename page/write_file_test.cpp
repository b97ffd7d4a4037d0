// WriteWholeFile: the page replaces the target in one step or not at all.
// Every test compares the whole folder before and after, so a changed file or
// a leftover temporary file shows up wherever it happens.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "page.h"
#include "test_paths.h"
#include "write_file_seam.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <csignal>
#include <unistd.h>
#endif

namespace dorvane {
namespace {

namespace fs = std::filesystem;
using write_file_seam::Step;

#ifdef _WIN32
std::wstring Wide(const fs::path& p) { return p.wstring(); }
std::wstring Literal(const fs::path& p) {
    return L"\\\\?\\" + fs::absolute(p).make_preferred().wstring();
}
std::string ToUtf8(const std::wstring& w) { return Utf16ToUtf8(std::u16string(w.begin(), w.end())); }
#endif

Bytes Pattern(std::size_t n, unsigned seed) {
    Bytes b(n);
    std::minstd_rand gen(seed);
    for (auto& x : b) x = static_cast<std::uint8_t>(gen());
    return b;
}

std::string AsString(const Bytes& b) { return std::string(b.begin(), b.end()); }

// ---- The folder as it is: every entry, its kind, attributes and content ----

struct Entry {
    std::string kind;     // "file", "dir", "link -> target", "fifo", "device"
    std::string content;  // files only; "<unreadable>" when another program holds it
    unsigned attributes;  // Windows: read-only, hidden, system; POSIX: mode bits
    bool operator==(const Entry&) const = default;
};
using Snapshot = std::map<std::string, Entry>;

std::ostream& operator<<(std::ostream& os, const Entry& e) {
    return os << e.kind << " attributes " << e.attributes << " content[" << e.content.size()
              << "] " << e.content.substr(0, 40);
}

#ifdef _WIN32
// The folder functions of the C++ library stop at MAX_PATH here; the tests
// walk and clean their folders through \\?\ paths of their own.
std::string ReadAll(const std::wstring& literal) {
    HANDLE h = CreateFileW(literal.c_str(), GENERIC_READ,
                           FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<unreadable>";
    std::string out;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
    CloseHandle(h);
    return out;
}

template <typename Visit>
void Walk(const std::wstring& literal, const std::string& relative, Visit visit) {
    WIN32_FIND_DATAW fd;
    HANDLE find = FindFirstFileW((literal + L"\\*").c_str(), &fd);
    if (find == INVALID_HANDLE_VALUE) return;
    do {
        const std::wstring name = fd.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = literal + L"\\" + name;
        const std::string rel = relative + (relative.empty() ? "" : "/") + ToUtf8(name);
        const bool dir = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        if (dir) Walk(child, rel, visit);
        visit(child, rel, fd.dwFileAttributes);
    } while (FindNextFileW(find, &fd));
    FindClose(find);
}

Snapshot Take(const fs::path& dir) {
    Snapshot s;
    Walk(Literal(dir), "", [&](const std::wstring& child, const std::string& rel, DWORD a) {
        const unsigned kept = a & (FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_SYSTEM);
        if (a & FILE_ATTRIBUTE_DIRECTORY)
            s[rel] = {"dir", "", kept};
        else
            s[rel] = {"file", ReadAll(child), kept};
    });
    return s;
}

void RemoveAll(const fs::path& dir) {
    const std::wstring root = Literal(dir);
    Walk(root, "", [](const std::wstring& child, const std::string&, DWORD a) {
        SetFileAttributesW(child.c_str(), FILE_ATTRIBUTE_NORMAL);
        if (a & FILE_ATTRIBUTE_DIRECTORY)
            RemoveDirectoryW(child.c_str());
        else
            DeleteFileW(child.c_str());
    });
    RemoveDirectoryW(root.c_str());
}

void MakeDir(const fs::path& p) { CreateDirectoryW(Literal(p).c_str(), nullptr); }
void Put(const fs::path& p, const std::string& data) {
    HANDLE h = CreateFileW(Literal(p).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD n = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
    CloseHandle(h);
}
void MakeReadOnly(const fs::path& p) {
    SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY);
}
#else
std::string ReadAll(const fs::path& p) {
    std::string out;
    if (FILE* f = std::fopen(p.c_str(), "rb")) {
        char buf[65536];
        std::size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

Snapshot Take(const fs::path& dir) {
    Snapshot s;
    for (const auto& e : fs::recursive_directory_iterator(dir)) {
        const std::string rel = e.path().string().substr(dir.string().size() + 1);
        struct stat st {};
        lstat(e.path().c_str(), &st);
        const unsigned mode = st.st_mode & 07777;
        if (S_ISLNK(st.st_mode))
            s[rel] = {"link -> " + fs::read_symlink(e.path()).string(), "", 0};
        else if (S_ISDIR(st.st_mode))
            s[rel] = {"dir", "", mode};
        else if (S_ISREG(st.st_mode))
            s[rel] = {"file", ReadAll(e.path()), mode};
        else if (S_ISFIFO(st.st_mode))
            s[rel] = {"fifo", "", mode};
        else
            s[rel] = {"device", "", mode};
    }
    return s;
}

void RemoveAll(const fs::path& dir) {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir, ec))
        if (!e.is_symlink()) chmod(e.path().c_str(), e.is_directory() ? 0755 : 0644);
    fs::remove_all(dir, ec);
}

void MakeDir(const fs::path& p) { fs::create_directory(p); }
void Put(const fs::path& p, const std::string& data) {
    FILE* f = std::fopen(p.c_str(), "wb");
    std::fwrite(data.data(), 1, data.size(), f);
    std::fclose(f);
}
void MakeReadOnly(const fs::path& p) { chmod(p.c_str(), 0444); }
#endif

class WriteFileTest : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("dorvane-write-" + std::to_string(rd()));
        MakeDir(dir_);
    }
    void TearDown() override {
        write_file_seam::failHook = nullptr;
        RemoveAll(dir_);
    }

    // Runs fn with the current folder set to dir_.
    template <typename Fn>
    auto InDir(Fn fn) {
        const fs::path previous = fs::current_path();
        fs::current_path(dir_);
        auto result = fn();
        fs::current_path(previous);
        return result;
    }

    fs::path dir_;
};

// ---- Writing -------------------------------------------------------------

TEST_F(WriteFileTest, WritesExactlyTheBytesAndNothingElse) {
    const std::vector<Bytes> cases = {
        {},                          // an empty page is an empty file
        {0x00},                      // a zero byte is data, not an end
        {'<', 0x00, 0xFF, '\r', '\n'},  // binary: no text translation
        Pattern(3 * 1024 * 1024 + 7, 1),
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const fs::path file = dir_ / ("page" + std::to_string(i));
        ASSERT_TRUE(WriteWholeFile(PathText(file), cases[i])) << i;
        ASSERT_TRUE(WriteWholeFile(PathText(file), cases[i])) << i << " over itself";
    }
    const Snapshot s = Take(dir_);
    ASSERT_EQ(s.size(), cases.size()) << "a temporary file was left behind";
    for (std::size_t i = 0; i < cases.size(); ++i)
        EXPECT_EQ(s.at("page" + std::to_string(i)).content, AsString(cases[i])) << i;
}

TEST_F(WriteFileTest, ConcurrentWritersEachReplaceTheWholeFile) {
    const fs::path file = dir_ / "p.html";
    const Text location = PathText(file);
    std::vector<Bytes> pages;
    for (unsigned i = 0; i < 4; ++i) pages.push_back(Pattern(200000 + i * 1000, i));
    std::vector<std::thread> writers;
    for (const Bytes& page : pages)
        writers.emplace_back([&] {
            for (int k = 0; k < 10; ++k) WriteWholeFile(location, page);
        });
    for (auto& w : writers) w.join();

    const Snapshot s = Take(dir_);
    ASSERT_EQ(s.size(), 1u) << "a temporary file was left behind: " << testing::PrintToString(s).substr(0, 400);
    const std::string& content = s.at("p.html").content;
    EXPECT_TRUE(std::any_of(pages.begin(), pages.end(),
                            [&](const Bytes& p) { return AsString(p) == content; }))
        << "the file mixes two pages";
}

#ifndef _WIN32
TEST_F(WriteFileTest, KeepsTheModeBitsOfTheFileItReplaces) {
    for (const mode_t mode : {0600, 0640, 0604, 0755, 0200}) {
        const fs::path file = dir_ / "p.html";
        Put(file, "old");
        chmod(file.c_str(), mode);
        ASSERT_TRUE(WriteWholeFile(PathText(file), {'n', 'e', 'w'})) << std::oct << mode;
        struct stat st {};
        stat(file.c_str(), &st);
        EXPECT_EQ(st.st_mode & 07777, mode) << std::oct << mode;
        chmod(file.c_str(), 0644);
    }
}

TEST_F(WriteFileTest, ANewFileGetsTheUsualModeForTheUmask) {
    const mode_t previous = umask(027);
    const bool ok = WriteWholeFile(PathText(dir_ / "new.html"), {'x'});
    umask(previous);
    ASSERT_TRUE(ok);
    struct stat st {};
    stat((dir_ / "new.html").c_str(), &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}
#endif

// ---- Failures part-way: the old page survives byte for byte ---------------

Step g_failingStep;
bool FailTheChosenStep(Step step) { return step == g_failingStep; }

TEST_F(WriteFileTest, AFailingStepLeavesTheOldPageAndNoTemporaryFile) {
    const std::string oldPage = AsString(Pattern(70000, 7));
    const Bytes newPage = Pattern(1 << 20, 8);
    const struct {
        Step step;
        const char* name;
    } steps[] = {{Step::Write, "write fails half-way"},
                 {Step::Flush, "flush fails"},
                 {Step::Replace, "final replace fails"}};
    for (const auto& [step, name] : steps) {
        Put(dir_ / "old.html", oldPage);
        const Snapshot before = Take(dir_);
        g_failingStep = step;
        write_file_seam::failHook = FailTheChosenStep;
        EXPECT_FALSE(WriteWholeFile(PathText(dir_ / "old.html"), newPage)) << name;
        EXPECT_FALSE(WriteWholeFile(PathText(dir_ / "new.html"), newPage)) << name;
        write_file_seam::failHook = nullptr;
        EXPECT_EQ(Take(dir_), before) << name;
    }
    // The same writes go through once nothing fails.
    EXPECT_TRUE(WriteWholeFile(PathText(dir_ / "old.html"), newPage));
    EXPECT_EQ(Take(dir_).at("old.html").content, AsString(newPage));
}

#ifndef _WIN32
// A real full disk: the child process may not grow any file beyond limit, so
// the kernel cuts the write short (SIGXFSZ ignored: write reports EFBIG).
bool WriteInChildWithSizeLimit(const Text& location, const Bytes& data, rlim_t limit) {
    const pid_t pid = fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit lim{limit, limit};
        if (setrlimit(RLIMIT_FSIZE, &lim) != 0) _exit(2);
        _exit(WriteWholeFile(location, data) ? 0 : 1);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 2) << "setrlimit failed";
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST_F(WriteFileTest, AWriteCutShortByTheFileSizeLimitLeavesTheOldPage) {
    const std::string oldPage = AsString(Pattern(1000, 3));
    const Bytes newPage = Pattern(1 << 20, 4);
    Put(dir_ / "old.html", oldPage);
    const Snapshot before = Take(dir_);

    EXPECT_FALSE(WriteInChildWithSizeLimit(PathText(dir_ / "old.html"), newPage, 64 * 1024));
    EXPECT_FALSE(WriteInChildWithSizeLimit(PathText(dir_ / "new.html"), newPage, 64 * 1024));
    EXPECT_EQ(Take(dir_), before);

    // With room for the page the same child succeeds: the limit was the fault.
    EXPECT_TRUE(WriteInChildWithSizeLimit(PathText(dir_ / "old.html"), newPage, 2 << 20));
    EXPECT_EQ(Take(dir_).at("old.html").content, AsString(newPage));
}
#endif

// ---- Locations ---------------------------------------------------------------

const char* OutcomeName(GenerateOutcome o) {
    switch (o) {
        case GenerateOutcome::MissingLocation: return "MissingLocation";
        case GenerateOutcome::Written: return "Written";
        case GenerateOutcome::WriteFailed: return "WriteFailed";
    }
    return "?";
}

struct LocationCase {
    std::string label;
    Text location;
    GenerateOutcome expected;
    std::string written;   // the entry that receives the page ("" for none)
    bool inDir = false;    // a relative location, taken from the fixture folder
};

// The folder every location case runs against; see SetUp.
class LocationTest : public WriteFileTest {
  protected:
    void SetUp() override {
        WriteFileTest::SetUp();
        Put(dir_ / "old.html", "old page");
        Put(dir_ / "ro.html", "read-only page");
        MakeReadOnly(dir_ / "ro.html");
        Put(dir_ / "file.txt", "a file, not a folder");
        MakeDir(dir_ / "sub");
        Put(dir_ / "sub" / "inner.html", "inner page");

        // A path of exactly 300 characters in folders that exist.
        fs::path deep = dir_;
        while (300 - deep.native().size() > 110) {
            deep /= std::string(100, 'd');
            MakeDir(deep);
        }
        longPath_ = deep / (std::string(300 - deep.native().size() - 1 - 5, 'p') + ".html");
    }

    void Run(const std::vector<LocationCase>& cases) {
        const std::string page = [] {
            const Bytes b = AnsiToUtf8(BuildPage("T", "m"));
            return std::string(b.begin(), b.end() - 1);
        }();
        std::printf("  %-44s %-16s %s\n", "location", "expected", "actual");
        for (const LocationCase& c : cases) {
            const Snapshot before = Take(dir_);
            const GenerateOutcome actual =
                c.inDir ? InDir([&] { return Generate("T", "m", c.location).outcome; })
                        : Generate("T", "m", c.location).outcome;
            std::printf("  %-44s %-16s %s\n", c.label.c_str(), OutcomeName(c.expected),
                        OutcomeName(actual));
            EXPECT_EQ(OutcomeName(actual), std::string(OutcomeName(c.expected))) << c.label;

            Snapshot after = Take(dir_);
            Snapshot expected = before;
            if (!c.written.empty()) {
                EXPECT_EQ(after[c.written].content, page) << c.label;
                after.erase(c.written);
                expected.erase(c.written);
            }
            EXPECT_EQ(after, expected) << c.label;
            // Leave the folder as it was for the next case.
            if (!c.written.empty() && before.count(c.written) == 0) {
#ifdef _WIN32
                DeleteFileW(Literal(dir_ / fs::path(c.written)).c_str());
#else
                fs::remove(dir_ / c.written);
#endif
            }
        }
    }

    fs::path longPath_;
};

TEST_F(LocationTest, BadAndOddLocations) {
    const auto W = GenerateOutcome::Written;
    const auto F = GenerateOutcome::WriteFailed;
    const std::string longRel = fs::relative(longPath_, dir_).generic_string();
    std::vector<LocationCase> cases = {
        {"empty", "", GenerateOutcome::MissingLocation, ""},
#ifdef _WIN32
        {"spaces only", "   ", F, "", true},
#else
        {"spaces only", "   ", W, "   ", true},
#endif
        {"missing folder", PathText(dir_ / "missing" / "p.html"), F, ""},
        {"a folder", PathText(dir_ / "sub"), F, ""},
        {"a folder with a separator after it", PathText(dir_ / "sub") + "/", F, ""},
        {"a new name with a separator after it", PathText(dir_ / "new.html") + "/", F, ""},
        {"read-only file", PathText(dir_ / "ro.html"), F, ""},
        {"a file used as a folder", PathText(dir_ / "file.txt" / "p.html"), F, ""},
        {"a zero byte inside the name", Text("cut\0off.html", 12), F, "", true},
        {"existing page", PathText(dir_ / "old.html"), W, "old.html"},
        {"relative name", "rel.html", W, "rel.html", true},
        {"relative with ..", "sub/../dots.html", W, "dots.html", true},
        {"300 characters", PathText(longPath_), W, longRel},
    };
#ifndef _WIN32
    mkfifo((dir_ / "fifo").c_str(), 0666);
    symlink("old.html", (dir_ / "link.html").c_str());
    symlink("sub/../link.html", (dir_ / "link2.html").c_str());
    symlink("sub", (dir_ / "link-dir").c_str());
    symlink("absent.html", (dir_ / "dangling.html").c_str());
    symlink("loop2", (dir_ / "loop1").c_str());
    symlink("loop1", (dir_ / "loop2").c_str());
    cases.insert(cases.end(), {
        {"FIFO (must not block)", PathText(dir_ / "fifo"), F, ""},
        {"link to a page", PathText(dir_ / "link.html"), W, "old.html"},
        {"link to a link to a page", PathText(dir_ / "link2.html"), W, "old.html"},
        {"link to a folder", PathText(dir_ / "link-dir"), F, ""},
        {"dangling link", PathText(dir_ / "dangling.html"), W, "absent.html"},
        {"link loop", PathText(dir_ / "loop1"), F, ""},
    });
    // A device node of our own, where renaming over it would be possible.
    if (mknod((dir_ / "null-device").c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0)
        cases.push_back({"device node", PathText(dir_ / "null-device"), F, ""});
    else
        std::printf("  (device node: mknod not permitted, case not run)\n");
    alarm(60);  // opening the FIFO for writing would block: fail loudly instead
#else
    Put(dir_ / "hidden.html", "hidden page");
    SetFileAttributesW(Wide(dir_ / "hidden.html").c_str(), FILE_ATTRIBUTE_HIDDEN);
    Put(dir_ / "system.html", "system page");
    SetFileAttributesW(Wide(dir_ / "system.html").c_str(), FILE_ATTRIBUTE_SYSTEM);
    Put(dir_ / "locked.html", "locked page");
    Put(dir_ / "reading.html", "page another program reads");
    // Another program holds one file open without sharing, and reads another
    // while letting others read only.
    HANDLE locked = CreateFileW(Wide(dir_ / "locked.html").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE reading = CreateFileW(Wide(dir_ / "reading.html").c_str(), GENERIC_READ,
                                 FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                                 nullptr);
    ASSERT_NE(locked, INVALID_HANDLE_VALUE);
    ASSERT_NE(reading, INVALID_HANDLE_VALUE);
    const Text d = PathText(dir_);
    cases.insert(cases.end(), {
        {"hidden file", d + "\\hidden.html", F, ""},
        {"system file", d + "\\system.html", F, ""},
        {"held open without sharing", d + "\\locked.html", F, ""},
        {"held open, sharing reads only", d + "\\reading.html", F, ""},
        {"NUL", "NUL", F, "", true},
        {"CON", "CON", F, "", true},
        {"COM1", "COM1", F, "", true},
        {"\\\\.\\NUL", "\\\\.\\NUL", F, ""},
        {"//./NUL", "//./NUL", F, ""},
        {"folder\\NUL", d + "\\NUL", F, ""},
        {"folder\\nul.html", d + "\\nul.html", F, ""},
        {"folder\\LPT1 .txt", d + "\\LPT1 .txt", F, ""},
        {"alternate data stream old.html:s", d + "\\old.html:s", F, ""},
        {"trailing dot", d + "\\dot.html.", W, "dot.html"},
        {"trailing space", d + "\\space.html ", W, "space.html"},
        {"forward slashes", PathText(dir_.generic_wstring()) + "/fwd.html", W, "fwd.html"},
        {"\\\\?\\ prefix", PathText(Literal(dir_ / "lit.html")), W, "lit.html"},
        {"relative with backslashes", "sub\\..\\back.html", W, "back.html", true},
    });
    for (const char c : {'?', '*', '<', '>', '|', '"'})
        cases.push_back({std::string("name with ") + c, d + "\\a" + c + "b.html", F, ""});
#endif

    Run(cases);

#ifndef _WIN32
    alarm(0);
#else
    CloseHandle(locked);
    CloseHandle(reading);
#endif
}

#ifdef _WIN32
TEST_F(WriteFileTest, ASymbolicLinkKeepsBeingALinkToTheNewPage) {
    Put(dir_ / "target.html", "old page");
    const std::wstring link = Wide(dir_ / "link.html");
    // Wine's CreateSymbolicLinkW reports success and makes nothing.
    if (!CreateSymbolicLinkW(link.c_str(), L"target.html",
                             SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE) ||
        GetFileAttributesW(link.c_str()) == INVALID_FILE_ATTRIBUTES)
        GTEST_SKIP() << "no symbolic links here";
    ASSERT_TRUE(WriteWholeFile(PathText(link), {'n', 'e', 'w'}));
    EXPECT_TRUE(GetFileAttributesW(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT);
    EXPECT_EQ(ReadAll(Literal(dir_ / "target.html")), "new");
}
#endif

}  // namespace
}  // namespace dorvane
