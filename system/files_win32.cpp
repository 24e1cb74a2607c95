// File operations on Windows, through the wide Win32 calls.
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "directory.h"
#include "files.h"
#include "files_internal.h"
#include "native_string.h"
#include "number_text.h"
#include "os.h"

namespace sys {
namespace {

// The system's own words for an error code, without the closing full stop.
std::string SystemMessage(DWORD code) { return os::ErrorCode(static_cast<int>(code)).message(); }

std::string LastError() { return SystemMessage(GetLastError()); }

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using OwnedHandle = std::unique_ptr<void, HandleCloser>;

OwnedHandle Owned(HANDLE handle) { return OwnedHandle(handle == INVALID_HANDLE_VALUE ? nullptr : handle); }

std::uint64_t SizeOf(HANDLE file, std::uint64_t otherwise) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? static_cast<std::uint64_t>(size.QuadPart) : otherwise;
}

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
constexpr DWORD kLargestRead = DWORD{1} << 30;

// Names that Windows passes on without its usual clean-up, and names of devices.
constexpr std::wstring_view kVerbatimPrefix = LR"(\\?\)";
constexpr std::wstring_view kDevicePrefix = LR"(\\.\)";

// Upper-cased as the file system compares names, letters of every script.
std::wstring Uppercase(std::wstring_view text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  std::wstring upper(text.size(), L'\0');
  const int length =
      LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, text.data(), size, upper.data(), size, nullptr, nullptr, 0);
  return length == size ? upper : std::wstring(text);
}

// Where the last part of a name begins: after its last separator, or after "C:".
std::size_t LastPartAt(std::wstring_view name) {
  const std::size_t separator = name.find_last_of(L"\\/");
  if (separator != std::wstring_view::npos) return separator + 1;
  return name.size() >= 2 && name[1] == L':' ? 2 : 0;
}

// The ':' that begins the name of a stream of a file, as in "rock.m32:x"; npos if none.
std::size_t StreamAt(std::wstring_view name) { return name.find(L':', LastPartAt(name)); }

// The name as Windows opens it: dots and blanks at the end are dropped, but from "."
// and "..", and from a name that starts with \\?\ (taken as it is).
std::wstring AsWindowsOpensIt(std::wstring name) {
  const std::size_t lastPart = LastPartAt(name);
  if (name.starts_with(kVerbatimPrefix) || name.find_first_not_of(L'.', lastPart) == std::wstring::npos) return name;
  while (name.size() > lastPart && (name.back() == L'.' || name.back() == L' ')) name.pop_back();
  return name;
}

std::wstring FullPath(const std::wstring& name) {
  std::wstring full(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetFullPathNameW(name.c_str(), static_cast<DWORD>(full.size()), full.data(), nullptr);
    if (length == 0) return name;
    const bool fitted = length < full.size();
    full.resize(length);
    if (fitted) return full;
  }
}

// The \\?\ form of the name, which the system takes past 260 characters.
std::wstring VerbatimName(const std::wstring& name) {
  if (name.starts_with(kVerbatimPrefix) || name.starts_with(kDevicePrefix)) return name;
  const std::wstring full = FullPath(name);
  if (full.starts_with(LR"(\\)")) return std::wstring(kVerbatimPrefix) + LR"(UNC\)" + full.substr(2);
  return std::wstring(kVerbatimPrefix) + full;
}

// The name to hand the system: in the \\?\ form when it is too long for the system to
// take otherwise, a folder's name for making it included.
std::wstring SystemName(const std::wstring& name) { return name.size() < MAX_PATH - 12 ? name : VerbatimName(name); }

// Whether Windows opens the name as a device, not a file: NUL, CON, COM1 (on some
// versions NUL.tga and dir\COM1.txt too), a \\.\ name, and a \\?\ name but one on a
// drive (\\?\C:\) or a share (\\?\UNC\).
bool NamesDevice(const std::wstring& name) {
  if (!name.starts_with(kVerbatimPrefix)) return FullPath(name).starts_with(kDevicePrefix);
  const std::wstring_view rest = std::wstring_view(name).substr(kVerbatimPrefix.size());
  const bool onDrive = rest.size() >= 2 && std::iswalpha(rest[0]) && rest[1] == L':';
  return !onDrive && Uppercase(rest.substr(0, 4)) != LR"(UNC\)";
}

// `name` in the folder whose \\?\ name is `folder`.
std::wstring Join(const std::wstring& folder, const FileName& name) {
  return folder.ends_with(L'\\') ? folder + name : folder + L'\\' + name;
}

}  // namespace

// Held without FILE_SHARE_DELETE, so that no one renames, deletes or replaces it while it
// is held, with the folders above it in the tree; its files are reached by \\?\ names
// from it, which reach every name the file system holds (con.m32, "blank.m32 ").
struct FolderHandle {
  OwnedHandle handle;
  std::wstring name;  // in the \\?\ form
  HeldFolder above;
};

struct InputFile::Handle {
  OwnedHandle file;
};

namespace {

// Others may go on reading, writing, renaming or deleting the file while we read it, as
// on POSIX systems; a file cut short under us is an error we report.
std::string OpenToRead(const std::wstring& name, OwnedHandle& file, std::uint64_t& size) {
  const DWORD attributes = GetFileAttributesW(name.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return "a directory, not a file";
  file = Owned(
      CreateFileW(name.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!file) return "cannot open: " + LastError();
  if (GetFileType(file.get()) != FILE_TYPE_DISK) return "not a regular file";
  LARGE_INTEGER length{};
  if (!GetFileSizeEx(file.get(), &length)) return "cannot read: " + LastError();
  size = static_cast<std::uint64_t>(length.QuadPart);
  return {};
}

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : handle_(new Handle) {
  error_ = OpenToRead(SystemName(path.native()), handle_->file, size_);
}

InputFile::InputFile(const FolderHandle& folder, const FileName& name) : handle_(new Handle) {
  error_ = OpenToRead(Join(folder.name, name), handle_->file, size_);
}

InputFile::~InputFile() = default;

bool InputFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestRead));
    const BOOL read = ReadFile(handle_->file.get(), bytes.data(), wanted, &got, &at);
    if (!read && GetLastError() != ERROR_HANDLE_EOF) {
      error_ = "cannot read: " + LastError();
    } else if (got == 0) {
      error_ = ShortenedMessage(std::min(SizeOf(handle_->file.get(), offset), offset), size_);
    } else {
      offset += got;
      bytes = bytes.subspan(got);
    }
  }
  return error_.empty();
}

namespace {

// While set, the system deletes the file when its last handle closes, also when the
// process is killed.
bool DeleteOnClose(HANDLE file, bool remove) {
  FILE_DISPOSITION_INFO disposition{};
  disposition.DeleteFile = remove;
  return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof(disposition));
}

bool ShowFile(HANDLE file) {
  FILE_BASIC_INFO basic{};  // times of zero are left as they are
  basic.FileAttributes = FILE_ATTRIBUTE_NORMAL;
  return SetFileInformationByHandle(file, FileBasicInfo, &basic, sizeof(basic));
}

std::wstring RandomName() {
  thread_local std::mt19937_64 random{std::random_device{}()};  // one per worker: -j runs several
  return NativeFromAscii(kTemporaryPrefix) + std::to_wstring(random()) + L".tmp";
}

// A reason when the target, by its \\?\ name, may not be replaced.
std::string TargetRefusal(const std::wstring& target, const std::filesystem::path& shown) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return DisplayName(shown) + " is a folder, not a file";
  if (attributes & FILE_ATTRIBUTE_READONLY) return "not replacing " + DisplayName(shown) + ": the file is read-only";
  return {};
}

}  // namespace

struct ReplacingFile::Handle {
  HeldFolder folder;
  OwnedHandle file;
  std::wstring target;
  std::wstring temporary;
};

namespace {

// Test seam: PELLICAR_TEST_COMMIT_WHEN holds every output back from its name until the
// file it names exists, so that a test may try to change the tree while a conversion is
// under way. Read once, before any thread starts.
const std::wstring& CommitWhen() {
  static const std::wstring when = [] {
    std::wstring value(GetEnvironmentVariableW(L"PELLICAR_TEST_COMMIT_WHEN", nullptr, 0), L'\0');
    value.resize(GetEnvironmentVariableW(L"PELLICAR_TEST_COMMIT_WHEN", value.data(), static_cast<DWORD>(value.size())));
    return value;
  }();
  return when;
}

}  // namespace

void PrepareProcess() { CommitWhen(); }

// The temporary file is hidden, and shares only deletion, so that it can be renamed
// while still open. It is marked to be deleted with its last handle a moment after it is
// made: a kill within that moment leaves it behind, hidden. Marking it as it is made
// (FILE_FLAG_DELETE_ON_CLOSE) would need FileDispositionInfoEx to keep it at the end,
// which Windows 10 1709 brought and Wine lacks.
ReplacingFile::ReplacingFile(const OpenedFolder& folder, const FileName& name, std::filesystem::path shown, Mode mode)
    : handle_(new Handle), target_(std::move(shown)) {
  const std::string beside = "cannot create a file beside " + DisplayName(target_) + ": ";
  handle_->folder = folder.held;
  if (!folder.held) {
    if (!folder.error.empty()) error_ = beside + folder.error;
    return;
  }
  handle_->target = Join(folder.held->name, name);
  error_ = TargetRefusal(handle_->target, target_);
  if (!error_.empty() || mode == Mode::kCheckOnly) return;
  for (int attempt = 0; attempt < 100 && !handle_->file; ++attempt) {
    handle_->temporary = Join(folder.held->name, RandomName());
    handle_->file = Owned(CreateFileW(handle_->temporary.c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                                      FILE_SHARE_DELETE, nullptr, CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!handle_->file && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!handle_->file) {
    error_ = beside + LastError();
  } else if (!DeleteOnClose(handle_->file.get(), true)) {
    error_ = beside + LastError();
    handle_->file.reset();
    DeleteFileW(handle_->temporary.c_str());
  }
}

bool ReplacingFile::Write(std::span<const std::uint8_t> bytes) { return WriteAt(kWhereItEnded, bytes); }

void ReplacingFile::Reserve(std::uint64_t) {}

bool ReplacingFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestRead));
    const bool ok =
        WriteFile(handle_->file.get(), bytes.data(), wanted, &written, offset == kWhereItEnded ? nullptr : &at);
    if (!ok || written == 0) {
      error_ = "cannot write " + DisplayName(target_) + ": " + LastError();
    }
    bytes = bytes.subspan(written);
    offset += offset == kWhereItEnded ? 0 : written;
  }
  return error_.empty();
}

bool ReplacingFile::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD got = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestRead));
    if (!ReadFile(handle_->file.get(), bytes.data(), wanted, &got, &at)) {
      error_ = "cannot read back " + DisplayName(target_) + ": " + LastError();
    } else if (got == 0) {
      error_ = "cannot read back " + DisplayName(target_) + ": it ends at byte " + WithSeparators(offset);
    }
    bytes = bytes.subspan(got);
    offset += got;
  }
  return error_.empty();
}

bool ReplacingFile::Commit() {
  if (!error_.empty()) return false;
  while (!CommitWhen().empty() && GetFileAttributesW(CommitWhen().c_str()) == INVALID_FILE_ATTRIBUTES) Sleep(1);
  const HANDLE file = handle_->file.get();
  if (!ShowFile(file) || !DeleteOnClose(file, false)) {
    error_ = "cannot finish writing " + DisplayName(target_) + ": " + LastError();
    return false;
  }
  if (!MoveFileExW(handle_->temporary.c_str(), handle_->target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error_ = "cannot replace " + DisplayName(target_) + ": " + LastError();
    DeleteOnClose(file, true);
    return false;
  }
  handle_->file.reset();
  return true;
}

ReplacingFile::~ReplacingFile() = default;  // closing the file deletes it unless committed

namespace {

// The file Windows opens by this name, by the name the user knows it by.
std::filesystem::path LongForm(const std::filesystem::path& path) {
  const std::wstring opened = AsWindowsOpensIt(path.native());
  if (NamesDevice(opened)) return opened;  // a file such as aux.m32, reached later by its \\?\ name
  const DWORD size = GetLongPathNameW(opened.c_str(), nullptr, 0);
  if (size == 0) return opened;
  std::wstring longer(size, L'\0');
  const DWORD length = GetLongPathNameW(opened.c_str(), longer.data(), size);
  if (length == 0 || length >= size) return opened;
  longer.resize(length);
  return longer;
}

// The identity of the file the name leads to; of a stream's file for a stream's name.
bool IdentityFromSystem(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION& identity) {
  const std::wstring file = SystemName(path.native().substr(0, StreamAt(path.native())));
  const OwnedHandle opened =
      Owned(CreateFileW(file.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return opened && GetFileInformationByHandle(opened.get(), &identity);
}

}  // namespace

std::optional<FileFacts> FactsOf(const std::filesystem::path& path) {
  BY_HANDLE_FILE_INFORMATION facts{};
  if (!IdentityFromSystem(path, facts)) return std::nullopt;
  const FILETIME& written = facts.ftLastWriteTime;
  return FileFacts{{facts.dwVolumeSerialNumber, facts.nFileIndexHigh, facts.nFileIndexLow},
                   static_cast<std::int64_t>(std::uint64_t{written.dwHighDateTime} << 32 | written.dwLowDateTime),
                   0,
                   !(facts.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)};
}

namespace {

// FAT keeps times in steps of 2 seconds, and a file written there may seem older than
// the input it was made from a moment before. exFAT and NTFS keep finer times.
std::int64_t TimeStep(HANDLE folder) {
  constexpr std::int64_t kTwoSeconds = 20'000'000;  // in the 100 ns of a FILETIME
  wchar_t system[MAX_PATH + 1] = {};
  if (!GetVolumeInformationByHandleW(folder, nullptr, 0, nullptr, nullptr, nullptr, system, MAX_PATH + 1)) return 0;
  return std::wstring_view(system).starts_with(L"FAT") ? kTwoSeconds : 0;
}

constexpr DWORD kFolderAccess = FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES;
constexpr DWORD kFolderSharing = FILE_SHARE_READ | FILE_SHARE_WRITE;  // not FILE_SHARE_DELETE

bool Missing(DWORD error) { return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND; }

// A folder opened by its \\?\ name; with FILE_FLAG_OPEN_REPARSE_POINT, one that is a link
// or a junction is refused.
FolderOpening OpenFolderNamed(std::wstring name, HeldFolder above, DWORD flags) {
  OwnedHandle handle = Owned(CreateFileW(name.c_str(), kFolderAccess, kFolderSharing, nullptr, OPEN_EXISTING,
                                         FILE_FLAG_BACKUP_SEMANTICS | flags, nullptr));
  if (!handle) {
    const DWORD error = GetLastError();
    return {nullptr, SystemMessage(error), Missing(error)};
  }
  BY_HANDLE_FILE_INFORMATION information{};
  if (!GetFileInformationByHandle(handle.get(), &information)) return {nullptr, LastError(), false};
  const DWORD attributes = information.dwFileAttributes;
  if ((flags & FILE_FLAG_OPEN_REPARSE_POINT) && (attributes & FILE_ATTRIBUTE_REPARSE_POINT))
    return {nullptr, "a link or junction, which is not followed", false};
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return {nullptr, SystemMessage(ERROR_DIRECTORY), false};
  auto held = std::make_shared<FolderHandle>();
  held->handle = std::move(handle);
  held->name = std::move(name);
  held->above = std::move(above);
  return {std::move(held), {}, false};
}

}  // namespace

std::vector<std::optional<FileFacts>> FactsIn(const FolderHandle& folder, std::span<const FileName> names) {
  std::vector<std::optional<FileFacts>> facts(names.size());
  const std::int64_t step = names.empty() ? 0 : TimeStep(folder.handle.get());
  for (std::size_t i = 0; i < names.size(); ++i) {
    facts[i] = FactsOf(Join(folder.name, names[i]));
    if (facts[i]) facts[i]->step = step;
  }
  return facts;
}

FolderOpening OpenFolderAt(const std::filesystem::path& path) {
  return OpenFolderNamed(VerbatimName(path.native()), {}, 0);
}

FolderOpening OpenFolderIn(const HeldFolder& parent, const FileName& name) {
  return OpenFolderNamed(Join(parent->name, name), parent, FILE_FLAG_OPEN_REPARSE_POINT);
}

std::string MakeFolderIn(const FolderHandle& parent, const FileName& name) {
  const std::wstring folder = Join(parent.name, name);
  return CreateDirectoryW(folder.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS ? std::string()
                                                                                             : LastError();
}

// Telling whether a folder may be written in takes its security descriptor and the
// user's token; a dry run leaves that to the real run.
std::string CannotCreateIn(const FolderHandle&) { return {}; }

FileIdentity IdentityOf(const FolderHandle& folder) {
  BY_HANDLE_FILE_INFORMATION facts{};
  GetFileInformationByHandle(folder.handle.get(), &facts);
  return {facts.dwVolumeSerialNumber, facts.nFileIndexHigh, facts.nFileIndexLow};
}

FileName ComparedName(const FileName& name) { return Uppercase(name); }

FileName KnownName(const FileName& name) { return AsWindowsOpensIt(name); }

std::string OutputPathRefusal(const std::filesystem::path& path) {
  if (NamesDevice(path.native())) return DisplayName(path) + " is a device, not a file";
  if (StreamAt(path.native()) != std::wstring::npos) return DisplayName(path) + " names a stream, not a file";
  return {};
}

// Up from the folder to the first that exists, then down, each by its \\?\ name.
std::string MakeFolderAt(const std::filesystem::path& folder) {
  const std::wstring name = VerbatimName(folder.native());
  const auto made = [&] { return CreateDirectoryW(name.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS; };
  if (made()) return {};
  const DWORD error = GetLastError();
  const std::size_t parentEnd = name.find_last_of(L'\\');
  if (error != ERROR_PATH_NOT_FOUND || parentEnd == std::wstring::npos || parentEnd <= kVerbatimPrefix.size())
    return SystemMessage(error);
  const std::string above = MakeFolderAt(name.substr(0, parentEnd));
  if (!above.empty()) return above;
  return made() ? std::string() : LastError();
}

namespace {

struct FindCloser {
  void operator()(HANDLE find) const { FindClose(find); }
};
using FindHandle = std::unique_ptr<void, FindCloser>;

constexpr DWORD kLeftOut = FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;

NamedFiles NoneFound(DWORD error) {
  if (error == ERROR_FILE_NOT_FOUND) return {{}, "no file matches"};
  return {{}, "cannot list the folder: " + SystemMessage(error)};
}

}  // namespace

// Every entry of the folder is matched here, as the window's listings match: the system's
// own matching also tries each entry's 8.3 name, so that "*.m32" would take "a.m32x"
// (short name A~1.M32). Both sides upper-cased first, letters of every script match
// without regard to case.
NamedFiles FilesNamedBy(const std::filesystem::path& argument) {
  const std::wstring& name = argument.native();
  const std::size_t lastPart = LastPartAt(name);
  if (name.find_first_of(L"*?", lastPart) == std::wstring::npos) return {{LongForm(argument)}, {}};
  const std::wstring folder = name.substr(0, lastPart);
  const std::wstring pattern = Uppercase(std::wstring_view(name).substr(lastPart));
  WIN32_FIND_DATAW found{};
  const HANDLE first = FindFirstFileExW((folder + L"*").c_str(), FindExInfoBasic, &found, FindExSearchNameMatch,
                                        nullptr, FIND_FIRST_EX_LARGE_FETCH);
  if (first == INVALID_HANDLE_VALUE) return NoneFound(GetLastError());
  const FindHandle find(first);
  std::vector<std::pair<std::wstring, std::wstring>> matches;  // upper-cased, and as they are
  do {
    std::wstring upper = Uppercase(found.cFileName);
    if (!(found.dwFileAttributes & kLeftOut) && MatchesPattern(upper, pattern))
      matches.emplace_back(std::move(upper), found.cFileName);
  } while (FindNextFileW(find.get(), &found));
  if (GetLastError() != ERROR_NO_MORE_FILES) return NoneFound(GetLastError());
  if (matches.empty()) return NoneFound(ERROR_FILE_NOT_FOUND);
  std::sort(matches.begin(), matches.end());
  NamedFiles named;
  for (const auto& match : matches) named.files.emplace_back(folder + match.second);
  return named;
}

FolderListing ListFolder(const FolderHandle& folder) {
  std::vector<os::VisibleEntry> visible;
  if (const int error = os::ListVisible(folder.name, visible); error != 0)
    return {{}, SystemMessage(static_cast<DWORD>(error))};
  FolderListing listing;
  for (os::VisibleEntry& entry : visible) {
    const bool folderEntry = entry.kind == os::EntryKind::kDirectory;
    if (!(folderEntry && entry.link)) listing.entries.push_back({std::move(entry.name), folderEntry});
  }
  return listing;
}

bool StandardOutput::Write(std::span<const std::uint8_t> bytes) {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  while (error_.empty() && !bytes.empty()) {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestRead));
    if (!WriteFile(output, bytes.data(), wanted, &written, nullptr) || written == 0) {
      error_ = "cannot write to standard output: " + LastError();
    }
    bytes = bytes.subspan(written);
    written_ += written;
  }
  return error_.empty();
}

std::optional<FileIdentity> StandardOutputIdentity() {
  const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
  BY_HANDLE_FILE_INFORMATION facts{};
  if (GetFileType(output) != FILE_TYPE_DISK || !GetFileInformationByHandle(output, &facts)) return std::nullopt;
  return FileIdentity{facts.dwVolumeSerialNumber, facts.nFileIndexHigh, facts.nFileIndexLow};
}

}  // namespace sys
