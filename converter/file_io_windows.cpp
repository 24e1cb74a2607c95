// File operations on Windows, through the wide Win32 calls.
#include <windows.h>

#include <algorithm>
#include <cwctype>
#include <memory>
#include <random>
#include <string_view>
#include <utility>
#include <vector>

#include "file_io.h"
#include "file_io_shared.h"

namespace m32tga {
namespace {

std::string Utf8(std::wstring_view wide) {
  if (wide.empty()) return {};
  const int size = static_cast<int>(wide.size());
  std::string utf8(WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, nullptr, 0, nullptr, nullptr), '\0');
  WideCharToMultiByte(CP_UTF8, 0, wide.data(), size, utf8.data(), static_cast<int>(utf8.size()), nullptr, nullptr);
  return utf8;
}

std::wstring Wide(std::string_view utf8) {
  if (utf8.empty()) return {};
  const int size = static_cast<int>(utf8.size());
  std::wstring wide(MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, wide.data(), static_cast<int>(wide.size()));
  return wide;
}

// The system's own words for an error code, without the closing full stop.
std::string SystemMessage(DWORD code) {
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::wstring message(text, length);
  LocalFree(text);
  while (!message.empty() && (std::iswspace(message.back()) || message.back() == L'.')) message.pop_back();
  return message.empty() ? "system error " + std::to_string(code) : Utf8(message);
}

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

}  // namespace

struct InputFile::Handle {
  OwnedHandle file;
};

// Others may go on reading, writing, renaming or deleting the file while we read it, as
// on POSIX systems; a file cut short under us is an error we report.
InputFile::InputFile(const std::filesystem::path& path) : handle_(new Handle) {
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    error_ = "a directory, not a file";
    return;
  }
  handle_->file = Owned(
      CreateFileW(path.c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!handle_->file) {
    error_ = "cannot open: " + LastError();
  } else if (GetFileType(handle_->file.get()) != FILE_TYPE_DISK) {
    error_ = "not a regular file";
  } else {
    LARGE_INTEGER size{};
    if (GetFileSizeEx(handle_->file.get(), &size)) {
      size_ = static_cast<std::uint64_t>(size.QuadPart);
    } else {
      error_ = "cannot read: " + LastError();
    }
  }
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
  static std::mt19937_64 random{std::random_device{}()};
  return Wide(kTemporaryPrefix) + std::to_wstring(random()) + L".tmp";
}

// A reason when the target may not be replaced.
std::string TargetRefusal(const std::filesystem::path& target) {
  const DWORD attributes = GetFileAttributesW(target.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return {};
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) return DisplayName(target) + " is a folder, not a file";
  if (attributes & FILE_ATTRIBUTE_READONLY) return "not replacing " + DisplayName(target) + ": the file is read-only";
  return {};
}

}  // namespace

struct ReplacingFile::Handle {
  OwnedHandle file;
  std::filesystem::path temporary;
};

// The temporary file is hidden, and shares only deletion, so that it can be renamed
// while still open.
ReplacingFile::ReplacingFile(std::filesystem::path target) : handle_(new Handle), target_(std::move(target)) {
  error_ = TargetRefusal(target_);
  if (!error_.empty()) return;
  for (int attempt = 0; attempt < 100 && !handle_->file; ++attempt) {
    handle_->temporary = FolderOf(target_) / RandomName();
    handle_->file = Owned(CreateFileW(handle_->temporary.c_str(), GENERIC_WRITE | DELETE, FILE_SHARE_DELETE, nullptr,
                                      CREATE_NEW, FILE_ATTRIBUTE_HIDDEN, nullptr));
    if (!handle_->file && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  if (!handle_->file) {
    error_ = "cannot create a file beside " + DisplayName(target_) + ": " + LastError();
  } else if (!DeleteOnClose(handle_->file.get(), true)) {
    error_ = "cannot create a file beside " + DisplayName(target_) + ": " + LastError();
    handle_->file.reset();
    DeleteFileW(handle_->temporary.c_str());
  }
}

bool ReplacingFile::Write(std::span<const std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestRead));
    if (!WriteFile(handle_->file.get(), bytes.data(), wanted, &written, nullptr) || written == 0) {
      error_ = "cannot write " + DisplayName(target_) + ": " + LastError();
    }
    bytes = bytes.subspan(written);
  }
  return error_.empty();
}

void ReplacingFile::Reserve(std::uint64_t) {}

bool ReplacingFile::WriteAt(std::uint64_t offset, std::span<const std::uint8_t> bytes) {
  while (error_.empty() && !bytes.empty()) {
    OVERLAPPED at{};
    at.Offset = static_cast<DWORD>(offset & 0xFFFFFFFF);
    at.OffsetHigh = static_cast<DWORD>(offset >> 32);
    DWORD written = 0;
    const DWORD wanted = static_cast<DWORD>(std::min<std::size_t>(bytes.size(), kLargestRead));
    if (!WriteFile(handle_->file.get(), bytes.data(), wanted, &written, &at) || written == 0) {
      error_ = "cannot write " + DisplayName(target_) + ": " + LastError();
    }
    bytes = bytes.subspan(written);
    offset += written;
  }
  return error_.empty();
}

bool ReplacingFile::Commit() {
  if (!error_.empty()) return false;
  const HANDLE file = handle_->file.get();
  if (!ShowFile(file) || !DeleteOnClose(file, false)) {
    error_ = "cannot finish writing " + DisplayName(target_) + ": " + LastError();
    return false;
  }
  if (!MoveFileExW(handle_->temporary.c_str(), target_.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    error_ = "cannot replace " + DisplayName(target_) + ": " + LastError();
    DeleteOnClose(file, true);
    return false;
  }
  handle_->file.reset();
  return true;
}

ReplacingFile::~ReplacingFile() = default;  // closing the file deletes it unless committed

std::filesystem::path LongForm(const std::filesystem::path& path) {
  const DWORD size = GetLongPathNameW(path.c_str(), nullptr, 0);
  if (size == 0) return path;
  std::wstring longer(size, L'\0');
  const DWORD length = GetLongPathNameW(path.c_str(), longer.data(), size);
  if (length == 0 || length >= size) return path;
  longer.resize(length);
  return longer;
}

namespace {

bool FileIdentity(const std::filesystem::path& path, BY_HANDLE_FILE_INFORMATION& identity) {
  const OwnedHandle file =
      Owned(CreateFileW(path.c_str(), 0, kShareAll, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  return file && GetFileInformationByHandle(file.get(), &identity);
}

bool Print(DWORD stream, const std::string& text) {
  const HANDLE handle = GetStdHandle(stream);
  DWORD mode = 0;
  DWORD written = 0;
  if (GetConsoleMode(handle, &mode)) {
    const std::wstring wide = Wide(text);
    return WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr) &&
           written == wide.size();
  }
  return WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace

bool SameFile(const std::filesystem::path& a, const std::filesystem::path& b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return FileIdentity(a, first) && FileIdentity(b, second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber && first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

void PrintError(const std::string& text) { Print(STD_ERROR_HANDLE, text); }

bool PrintOutput(const std::string& text) { return Print(STD_OUTPUT_HANDLE, text); }

}  // namespace m32tga
