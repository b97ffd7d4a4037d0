#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#include "page.h"
#include "test_paths.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace dorvane {
namespace {

namespace fs = std::filesystem;

Text Cp936(std::u16string_view s) { return Utf16ToCp936(s); }

std::string ReadFile(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

void WriteFile(const fs::path& p, const std::string& data) {
    std::ofstream(p, std::ios::binary) << data;
}

std::string Utf8Page(std::string_view title, std::string_view message) {
    const Bytes b = AnsiToUtf8(BuildPage(title, message));
    return std::string(b.begin(), b.end() - 1);
}

class GenerateTest : public testing::Test {
  protected:
    void SetUp() override {
        std::random_device rd;
        dir_ = fs::temp_directory_path() / ("dorvane-test-" + std::to_string(rd()));
        fs::create_directories(dir_);
    }
    void TearDown() override {
        std::error_code ec;
        for (const auto& e : fs::recursive_directory_iterator(dir_, ec)) MakeWritable(e.path());
        fs::remove_all(dir_, ec);
    }
    static void MakeWritable(const fs::path& p) {
#ifdef _WIN32
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_NORMAL);
#else
        chmod(p.c_str(), 0755);
#endif
    }
    static void MakeReadOnly(const fs::path& p) {
#ifdef _WIN32
        SetFileAttributesW(p.c_str(), FILE_ATTRIBUTE_READONLY);
#else
        chmod(p.c_str(), 0444);
#endif
    }
    bool DirIsEmpty() const { return fs::is_empty(dir_); }

    fs::path dir_;
};

TEST_F(GenerateTest, EmptyLocationIsRefusedWithoutTouchingAnything) {
    const GenerateResult r = Generate("T", "Hi", "");
    EXPECT_EQ(r.outcome, GenerateOutcome::MissingLocation);
    EXPECT_EQ(r.message, Cp936(u"请选择文件保存位置."));
    EXPECT_EQ(r.kind, MessageKind::Warning);
    EXPECT_TRUE(DirIsEmpty());
}

TEST_F(GenerateTest, WritesTheUtf8PageAndReportsTheLocationAsTyped) {
    const fs::path file = dir_ / "p.html";
    const Text location = PathText(file);
    const GenerateResult r = Generate("T", "Hi", location);
    EXPECT_EQ(r.outcome, GenerateOutcome::Written);
    EXPECT_EQ(r.kind, MessageKind::Information);
    EXPECT_EQ(r.message, Cp936(u"文件写出成功.\r\n位置:") + location);

    const std::string bytes = ReadFile(file);
    EXPECT_EQ(bytes, Utf8Page("T", "Hi"));
    EXPECT_TRUE(bytes.starts_with("<!DOCTYPE html>\r\n"));
    EXPECT_TRUE(bytes.ends_with("-->"));  // no terminating zero byte in the file
    EXPECT_EQ(bytes.find('\0'), std::string::npos);
}

TEST_F(GenerateTest, ChineseTextsAreWrittenAsUtf8) {
    const fs::path file = dir_ / "zh.html";
    // 你好 / 世界 in code page 936.
    ASSERT_EQ(Generate("\xC4\xE3\xBA\xC3", "\xCA\xC0\xBD\xE7", PathText(file)).outcome,
              GenerateOutcome::Written);
    const std::string bytes = ReadFile(file);
    EXPECT_NE(bytes.find("<title>\xE4\xBD\xA0\xE5\xA5\xBD</title>"), std::string::npos);
    EXPECT_NE(bytes.find("alert(\"\xE4\xB8\x96\xE7\x95\x8C\")"), std::string::npos);
}

TEST_F(GenerateTest, EmptyTextsWriteTheBareTemplate) {
    const fs::path file = dir_ / "bare.html";
    EXPECT_EQ(Generate("", "", PathText(file)).outcome, GenerateOutcome::Written);
    EXPECT_EQ(ReadFile(file), Utf8Page("", ""));
}

TEST_F(GenerateTest, ExistingFileIsReplacedInFull) {
    const fs::path file = dir_ / "p.html";
    WriteFile(file, std::string(100000, 'x'));
    EXPECT_EQ(Generate("T", "short", PathText(file)).outcome, GenerateOutcome::Written);
    EXPECT_EQ(ReadFile(file), Utf8Page("T", "short"));
}

TEST_F(GenerateTest, NoExtensionIsAddedAndRelativePathsUseTheCurrentFolder) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    const GenerateResult r = Generate("T", "m", "abc");
    fs::current_path(previous);
    EXPECT_EQ(r.outcome, GenerateOutcome::Written);
    EXPECT_EQ(ReadFile(dir_ / "abc"), Utf8Page("T", "m"));
}

TEST_F(GenerateTest, ChineseFolderName) {
    const fs::path folder = dir_ / fs::path(u8"网页");
    fs::create_directories(folder);
    const fs::path file = folder / fs::path(u8"页面.html");
    EXPECT_EQ(Generate("T", "m", PathText(file)).outcome, GenerateOutcome::Written);
    EXPECT_EQ(ReadFile(file), Utf8Page("T", "m"));
}

TEST_F(GenerateTest, MissingFolderFailsAndIsNotCreated) {
    const fs::path file = dir_ / "missing" / "p.html";
    const GenerateResult r = Generate("T", "m", PathText(file));
    EXPECT_EQ(r.outcome, GenerateOutcome::WriteFailed);
    EXPECT_EQ(r.message, Cp936(u"文件写出失败."));
    EXPECT_EQ(r.kind, MessageKind::Error);
    EXPECT_FALSE(fs::exists(dir_ / "missing"));
}

TEST_F(GenerateTest, FolderAsLocationFails) {
    EXPECT_EQ(Generate("T", "m", PathText(dir_)).outcome, GenerateOutcome::WriteFailed);
    EXPECT_TRUE(fs::is_directory(dir_));
}

TEST_F(GenerateTest, ReadOnlyFileFailsAndKeepsItsContent) {
    const fs::path file = dir_ / "ro.html";
    WriteFile(file, "old page");
    MakeReadOnly(file);
    EXPECT_EQ(Generate("T", "m", PathText(file)).outcome, GenerateOutcome::WriteFailed);
    EXPECT_EQ(ReadFile(file), "old page");
}

TEST_F(GenerateTest, SpacesAreALocationNotAMissingOne) {
    const fs::path previous = fs::current_path();
    fs::current_path(dir_);
    const GenerateResult r = Generate("T", "m", "   ");
    fs::current_path(previous);
    EXPECT_NE(r.outcome, GenerateOutcome::MissingLocation);
}

#ifdef _WIN32
TEST_F(GenerateTest, HiddenAndSystemFilesFailAndKeepTheirContent) {
    for (const DWORD attribute : {FILE_ATTRIBUTE_HIDDEN, FILE_ATTRIBUTE_SYSTEM}) {
        const fs::path file = dir_ / ("attr" + std::to_string(attribute) + ".html");
        WriteFile(file, "old page");
        ASSERT_TRUE(SetFileAttributesW(file.c_str(), attribute));
        EXPECT_EQ(Generate("T", "m", PathText(file)).outcome, GenerateOutcome::WriteFailed)
            << attribute;
        SetFileAttributesW(file.c_str(), FILE_ATTRIBUTE_NORMAL);
        EXPECT_EQ(ReadFile(file), "old page") << attribute;
    }
}

TEST_F(GenerateTest, FileHeldOpenWithoutSharingFailsAndKeepsItsContent) {
    const fs::path file = dir_ / "locked.html";
    WriteFile(file, "old page");
    HANDLE held = CreateFileW(file.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    EXPECT_EQ(Generate("T", "m", PathText(file)).outcome, GenerateOutcome::WriteFailed);
    CloseHandle(held);
    EXPECT_EQ(ReadFile(file), "old page");
}
#endif

}  // namespace
}  // namespace dorvane
