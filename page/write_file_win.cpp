// WriteWholeFile on Windows: the bytes go to a new file beside the target,
// are flushed to the disk, and the new file then takes the target's place in
// one step (ReplaceFileW over an existing file, MoveFileExW for a new one).
// Whatever fails, the target keeps its old content and the new file is gone.
//
// The location is typed in code page 936 and used through the W functions
// only. It is made absolute with GetFullPathNameW (the current folder, '/',
// '.', '..', trailing dots and spaces, device names all resolved the way
// CreateFileW would), and a path too long for MAX_PATH gets the \\?\ prefix.
//
// ReplaceFileW happily replaces hidden and system files and merges the old
// file's attributes and security into the new one, so the target is checked
// by hand first: an existing file must be a plain, writable disk file that no
// other program holds open without sharing. A symbolic link is followed to
// the file it names (GetFinalPathNameByHandleW), which is then replaced.
#ifdef _WIN32

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cwchar>
#include <optional>
#include <string>
#include <string_view>

#include "page.h"
#include "write_file_seam.h"

namespace dorvane {

namespace {

using write_file_seam::Fails;
using write_file_seam::Step;

// Owner of a CreateFileW handle (invalid is INVALID_HANDLE_VALUE, not null).
class UniqueFile {
  public:
    explicit UniqueFile(HANDLE h) : h_(h) {}
    UniqueFile(const UniqueFile&) = delete;
    UniqueFile& operator=(const UniqueFile&) = delete;
    ~UniqueFile() {
        if (valid()) ::CloseHandle(h_);
    }
    bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
    HANDLE get() const { return h_; }
    bool Close() {
        const HANDLE h = h_;
        h_ = INVALID_HANDLE_VALUE;
        return ::CloseHandle(h) != 0;
    }

  private:
    HANDLE h_;
};

// The temporary file and its handle: closed and deleted when this goes out
// of scope, unless it became the target.
class TempFile {
  public:
    TempFile(HANDLE h, std::wstring name) : file_(h), name_(std::move(name)) {}
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (file_.valid()) file_.Close();  // before the delete: nobody shares it
        if (!moved_) ::DeleteFileW(name_.c_str());
    }
    UniqueFile& file() { return file_; }
    const std::wstring& name() const { return name_; }
    void Moved() { moved_ = true; }

  private:
    UniqueFile file_;
    std::wstring name_;
    bool moved_ = false;
};

constexpr std::wstring_view kLiteralPrefix = L"\\\\?\\";  // \\?\ : used as is
constexpr std::wstring_view kDevicePrefix = L"\\\\.\\";   // \\.\ : devices

constexpr bool IsSlash(wchar_t c) { return c == L'\\' || c == L'/'; }

bool Exists(const std::wstring& name) {
    return ::GetFileAttributesW(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// True for the names that Windows reserves for devices in every folder:
// CON, PRN, AUX, NUL, COM0-9, LPT0-9 (also with the superscript digits),
// CONIN$, CONOUT$, whatever follows a dot or a colon, and trailing spaces.
bool IsDeviceName(std::wstring_view name) {
    name = name.substr(0, name.find_first_of(L".:"));
    while (!name.empty() && name.back() == L' ') name.remove_suffix(1);
    std::wstring upper(name);
    for (wchar_t& c : upper)
        if (c >= L'a' && c <= L'z') c = static_cast<wchar_t>(c - L'a' + L'A');
    for (const wchar_t* device : {L"CON", L"PRN", L"AUX", L"NUL", L"CONIN$", L"CONOUT$"})
        if (upper == device) return true;
    if (upper.size() == 4 && (upper.starts_with(L"COM") || upper.starts_with(L"LPT"))) {
        const wchar_t d = upper[3];
        return (d >= L'0' && d <= L'9') || d == L'\u00B9' || d == L'\u00B2' || d == L'\u00B3';
    }
    return false;
}

// The absolute path of what was typed, as CreateFileW would read it; nothing
// for a device path.
std::optional<std::wstring> FullPath(const std::wstring& typed) {
    if (typed.starts_with(kLiteralPrefix)) return typed;
    const DWORD size = ::GetFullPathNameW(typed.c_str(), 0, nullptr, nullptr);
    if (size == 0) return std::nullopt;
    std::wstring full(size, L'\0');
    const DWORD length = ::GetFullPathNameW(typed.c_str(), size, full.data(), nullptr);
    if (length == 0 || length >= size) return std::nullopt;
    full.resize(length);
    if (full.starts_with(kDevicePrefix)) return std::nullopt;
    return full;
}

// A path that the file functions accept beyond MAX_PATH characters.
std::wstring Literal(const std::wstring& full) {
    if (full.starts_with(kLiteralPrefix)) return full;
    if (full.size() > 2 && IsSlash(full[0]) && IsSlash(full[1]))  // \\server\share\...
        return std::wstring(kLiteralPrefix) + L"UNC" + full.substr(1);
    return std::wstring(kLiteralPrefix) + full;
}

// The file a symbolic link finally names; nothing for a dangling link.
std::optional<std::wstring> FinalPath(const std::wstring& link) {
    const UniqueFile h(::CreateFileW(link.c_str(), FILE_READ_ATTRIBUTES,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (!h.valid()) return std::nullopt;
    const DWORD flags = FILE_NAME_NORMALIZED | VOLUME_NAME_DOS;
    const DWORD size = ::GetFinalPathNameByHandleW(h.get(), nullptr, 0, flags);
    if (size == 0) return std::nullopt;
    std::wstring final(size, L'\0');
    const DWORD length = ::GetFinalPathNameByHandleW(h.get(), final.data(), size, flags);
    if (length == 0 || length >= size) return std::nullopt;
    final.resize(length);
    return final;
}

// A name in folder (ending in '\') that no file has yet.
std::wstring UniqueName(const std::wstring& folder, std::wstring_view kind) {
    static std::atomic<unsigned> counter{0};
    std::wstring name = folder + L"~dorvane";
    for (const unsigned long long part :
         {static_cast<unsigned long long>(::GetCurrentProcessId()),
          static_cast<unsigned long long>(counter.fetch_add(1)),
          static_cast<unsigned long long>(::GetTickCount64())}) {
        name += L'-';
        const std::size_t at = name.size();
        unsigned long long v = part;
        do {
            name.insert(at, 1, L"0123456789abcdef"[v & 15]);
            v >>= 4;
        } while (v != 0);
    }
    name += L'.';
    name += kind;
    return name;
}

bool WriteAll(HANDLE file, const Bytes& data) {
    std::size_t limit = data.size();
    if (Fails(Step::Write)) limit /= 2;
    std::size_t done = 0;
    while (done < limit) {
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(limit - done, 1u << 30));
        DWORD written = 0;
        if (!::WriteFile(file, data.data() + done, chunk, &written, nullptr) || written != chunk)
            return false;
        done += written;
    }
    return done == data.size();
}

// An existing target may be replaced only when writing it in place would
// have been allowed: a plain disk file, writable, not held open by anyone.
bool MayReplace(const std::wstring& target, DWORD attributes) {
    constexpr DWORD kRefused = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE |
                               FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                               FILE_ATTRIBUTE_SYSTEM;
    if (attributes & kRefused) return false;
    // Opening for writing without sharing fails when another program has the
    // file open or we may not write it. Nothing is written through it.
    const UniqueFile probe(::CreateFileW(target.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                         FILE_ATTRIBUTE_NORMAL, nullptr));
    return probe.valid() && ::GetFileType(probe.get()) == FILE_TYPE_DISK;
}

// Puts temp in the place of the existing target. The old file goes to a
// backup name first, so that a failure half-way can be undone.
bool ReplaceExisting(const std::wstring& target, const std::wstring& temp,
                     const std::wstring& folder) {
    const std::wstring backup = UniqueName(folder, L"old");
    if (::ReplaceFileW(target.c_str(), temp.c_str(), backup.c_str(),
                       REPLACEFILE_IGNORE_MERGE_ERRORS | REPLACEFILE_IGNORE_ACL_ERRORS, nullptr,
                       nullptr)) {
        ::DeleteFileW(backup.c_str());
        return true;
    }
    // ERROR_UNABLE_TO_MOVE_REPLACEMENT_2: the old file is left under the
    // backup name. Give it its name back, unless another writer has put a
    // whole new file there in the meantime (ReplaceFileW is two renames).
    if (Exists(backup) &&
        !::MoveFileExW(backup.c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH) && Exists(target))
        ::DeleteFileW(backup.c_str());
    return false;
}

}  // namespace

bool WriteWholeFile(std::string_view path, const Bytes& data) {
    if (path.empty()) return false;
    const std::u16string units = Cp936ToUtf16(path);
    const std::wstring typed(units.begin(), units.end());
    // A zero unit would cut the name short and write somewhere else.
    if (typed.find(L'\0') != std::wstring::npos || typed.starts_with(kDevicePrefix))
        return false;

    std::optional<std::wstring> full = FullPath(typed);
    if (!full) return false;
    const std::size_t slash = full->find_last_of(L"\\/");
    if (slash == std::wstring::npos) return false;
    const std::wstring_view name = std::wstring_view(*full).substr(slash + 1);
    // No name (a folder), a device, or an alternate data stream (name:stream).
    if (name.empty() || IsDeviceName(name) || name.find(L':') != std::wstring_view::npos)
        return false;

    // The temporary name is longer than the target's; both must fit.
    constexpr std::size_t kTempNameRoom = 48;
    std::wstring target = full->size() + kTempNameRoom >= MAX_PATH ? Literal(*full) : *full;

    DWORD attributes = ::GetFileAttributesW(target.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT) &&
        !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        // A symbolic link: the file it names is the one replaced.
        std::optional<std::wstring> final = FinalPath(target);
        if (!final) return false;  // a dangling link
        target = std::move(*final);
        attributes = ::GetFileAttributesW(target.c_str());
    }
    const bool exists = attributes != INVALID_FILE_ATTRIBUTES;
    if (!exists && ::GetLastError() != ERROR_FILE_NOT_FOUND) return false;
    if (exists && !MayReplace(target, attributes)) return false;

    const std::wstring folder = target.substr(0, target.find_last_of(L"\\/") + 1);
    std::wstring tempName;
    HANDLE created = INVALID_HANDLE_VALUE;
    for (int attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
        tempName = UniqueName(folder, L"tmp");
        created = ::CreateFileW(tempName.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
        if (created == INVALID_HANDLE_VALUE && ::GetLastError() != ERROR_FILE_EXISTS) break;
    }
    if (created == INVALID_HANDLE_VALUE) return false;
    TempFile temp(created, std::move(tempName));

    if (!WriteAll(temp.file().get(), data)) return false;
    if (Fails(Step::Flush) || !::FlushFileBuffers(temp.file().get())) return false;
    if (!temp.file().Close()) return false;
    if (Fails(Step::Replace)) return false;
    if (exists) {
        if (!ReplaceExisting(target, temp.name(), folder)) return false;
    } else {
        // Without MOVEFILE_REPLACE_EXISTING: a file that appeared since the
        // check above was never checked, so it is not overwritten.
        if (!::MoveFileExW(temp.name().c_str(), target.c_str(), MOVEFILE_WRITE_THROUGH))
            return false;
    }
    temp.Moved();
    return true;
}

}  // namespace dorvane

#endif  // _WIN32
