// dorvane-cli: writes the page from a title and a message, for scripting.
//
//   dorvane-cli --title TEXT --message TEXT --out PATH
//
// Exit status: 0 written, 1 write failed, 2 no location, 64 bad usage.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>
#include <string>
#include <vector>

#include "page.h"

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#endif

namespace {

constexpr int kExitWritten = 0;
constexpr int kExitWriteFailed = 1;
constexpr int kExitMissingLocation = 2;
constexpr int kExitUsage = 64;

constexpr const char* kUsage =
    "Usage: dorvane-cli [--title TEXT | --title-file FILE] [--message TEXT | --message-file FILE]\n"
    "                   --out PATH [--encoding utf-8|cp936]\n"
    "\n"
    "Writes an HTML page that shows MESSAGE in the browser's alert box under TITLE.\n"
    "FILE may be - for standard input. Texts and paths are UTF-8 unless --encoding cp936\n"
    "says they are code page 936 bytes. Text that code page 936 cannot hold becomes '?'.\n"
    "\n"
    "Exit status: 0 written, 1 write failed, 2 no location given, 64 bad usage.\n";

int Usage(const char* problem) {
    if (problem) std::fprintf(stderr, "dorvane-cli: %s\n", problem);
    std::fputs(kUsage, stderr);
    return kExitUsage;
}

std::optional<std::string> ReadAll(const std::string& name) {
    std::string data;
    std::FILE* f = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!f) return std::nullopt;
    // A file's size up front spares the copies of a growing string.
    if (f != stdin && std::fseek(f, 0, SEEK_END) == 0) {
        const long size = std::ftell(f);
        if (size > 0) data.reserve(static_cast<std::size_t>(size));
        std::rewind(f);
    }
    char buf[1 << 16];
    std::size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) data.append(buf, n);
    const bool ok = !std::ferror(f);
    if (f != stdin) std::fclose(f);
    if (!ok) return std::nullopt;
    return data;
}

// Turns an input in the chosen encoding into code page 936 Text; lossy is set
// when some character had no exact code page 936 form.
dorvane::Text ToText(std::string input, bool utf8, bool& lossy) {
    if (!utf8) return input;
    if (input.starts_with("\xEF\xBB\xBF")) input.erase(0, 3);
    std::u16string units = dorvane::Utf8ToUtf16(input);
    input.clear();
    input.shrink_to_fit();
    dorvane::Text text = dorvane::Utf16ToCp936(units);
    if (!lossy && dorvane::Cp936ToUtf16(text) != units) lossy = true;
    return text;
}

std::vector<std::string> Arguments(int argc, char** argv) {
#ifdef _WIN32
    (void)argc;
    (void)argv;
    int n = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &n);
    std::vector<std::string> args;
    for (int i = 1; i < n; ++i) {
        const std::u16string_view w(reinterpret_cast<const char16_t*>(wide[i]));
        args.push_back(dorvane::Utf16ToUtf8(w));
    }
    LocalFree(wide);
    return args;
#else
    return std::vector<std::string>(argv + 1, argv + argc);
#endif
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> args = Arguments(argc, argv);
    std::optional<std::string> title, titleFile, message, messageFile, out;
    bool utf8 = true;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& a = args[i];
        if (a == "--help" || a == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        }
        std::optional<std::string>* slot = a == "--title"          ? &title
                                           : a == "--title-file"   ? &titleFile
                                           : a == "--message"      ? &message
                                           : a == "--message-file" ? &messageFile
                                           : a == "--out"          ? &out
                                                                   : nullptr;
        if (!slot && a != "--encoding") return Usage(("unknown argument: " + a).c_str());
        if (i + 1 >= args.size()) return Usage(("missing value after " + a).c_str());
        const std::string& value = args[++i];
        if (slot) {
            if (slot->has_value()) return Usage(("repeated option: " + a).c_str());
            *slot = value;
        } else if (value == "utf-8" || value == "utf8") {
            utf8 = true;
        } else if (value == "cp936" || value == "gbk") {
            utf8 = false;
        } else {
            return Usage(("unknown encoding: " + value).c_str());
        }
    }
    if (title && titleFile) return Usage("give --title or --title-file, not both");
    if (message && messageFile) return Usage("give --message or --message-file, not both");
    if (titleFile && messageFile && *titleFile == "-" && *messageFile == "-")
        return Usage("only one text can come from standard input");

    auto load = [](const std::optional<std::string>& inline_, const std::optional<std::string>& file,
                   std::string& into) {
        if (file) {
            std::optional<std::string> data = ReadAll(*file);
            if (!data) {
                std::fprintf(stderr, "dorvane-cli: cannot read %s\n", file->c_str());
                return false;
            }
            into = std::move(*data);
        } else if (inline_) {
            into = *inline_;
        }
        return true;
    };
    std::string rawTitle, rawMessage;
    if (!load(title, titleFile, rawTitle) || !load(message, messageFile, rawMessage))
        return kExitUsage;

    // Windows hands the arguments over as UTF-16, which reach us as UTF-8.
#ifdef _WIN32
    const bool argsUtf8 = true;
#else
    const bool argsUtf8 = utf8;
#endif
    bool lossy = false;
    const dorvane::Text titleText =
        ToText(std::move(rawTitle), titleFile ? utf8 : argsUtf8, lossy);
    const dorvane::Text messageText =
        ToText(std::move(rawMessage), messageFile ? utf8 : argsUtf8, lossy);
    const dorvane::Text location = ToText(out.value_or(std::string()), argsUtf8, lossy);
    if (lossy)
        std::fputs("dorvane-cli: warning: some characters have no code page 936 form and were replaced ('?' or a look-alike)\n",
                   stderr);

    const dorvane::GenerateResult result = dorvane::Generate(titleText, messageText, location);
    std::string shown = dorvane::Utf16ToUtf8(dorvane::Cp936ToUtf16(result.message)) + "\n";
#ifndef _WIN32
    // The messages break lines with CR LF, as message boxes want; a terminal wants LF.
    for (std::size_t at; (at = shown.find("\r\n")) != std::string::npos;) shown.erase(at, 1);
#endif
    std::FILE* stream = result.outcome == dorvane::GenerateOutcome::Written ? stdout : stderr;
    std::fwrite(shown.data(), 1, shown.size(), stream);
    switch (result.outcome) {
        case dorvane::GenerateOutcome::Written: return kExitWritten;
        case dorvane::GenerateOutcome::WriteFailed: return kExitWriteFailed;
        case dorvane::GenerateOutcome::MissingLocation: return kExitMissingLocation;
    }
    return kExitWriteFailed;
}
