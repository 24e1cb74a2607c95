#include "registration.h"

#include <objbase.h>
#include <thumbcache.h>
#include <wincodec.h>

#include <cstring>
#include <memory>
#include <span>
#include <string_view>
#include <type_traits>
#include <utility>
#include <variant>
#include <vector>

#include "class_ids.h"
#include "formats/m32.h"

namespace shell {
namespace {

constexpr std::wstring_view kClasses = L"Software\\Classes\\";

struct Value {
  const wchar_t* name;  // nullptr: the key's default value
  std::variant<std::wstring_view, DWORD, std::span<const BYTE>> data;
};

struct Key {
  std::wstring_view path;  // under kClasses
  std::vector<Value> values;
  bool whole = false;  // the key and everything under it are ours alone
};

// Windows' imaging component picks a decoder by the bytes a file begins with: an m32
// texture's version, 4, a little-endian 32-bit number.
constexpr BYTE kVersionPattern[] = {formats::kM32Version & 0xFF, formats::kM32Version >> 8 & 0xFF,
                                    formats::kM32Version >> 16 & 0xFF, formats::kM32Version >> 24 & 0xFF};
constexpr BYTE kEveryBit[] = {0xFF, 0xFF, 0xFF, 0xFF};
static_assert(sizeof(kVersionPattern) == sizeof(kEveryBit));

constexpr wchar_t kDecoderName[] = L"Pellicar m32 texture decoder";
constexpr wchar_t kMimeType[] = L"image/x-m32";

// In paths and text, each <name> stands for a class ID or the DLL's path.
std::vector<Key> Keys() {
  return {
      {L"CLSID\\<thumbnails>", {{nullptr, L"Pellicar m32 and m8 thumbnail provider"}}, true},
      {L"CLSID\\<thumbnails>\\InprocServer32", {{nullptr, L"<module>"}, {L"ThreadingModel", L"Both"}}},
      {L"CLSID\\<decoder>",
       {{nullptr, kDecoderName},
        {L"FriendlyName", kDecoderName},
        {L"Author", L"" PELLICAR_AUTHOR},
        {L"Vendor", L"<vendor>"},
        {L"ContainerFormat", L"<container>"},
        {L"Version", L"" PELLICAR_VERSION_DOTS},
        {L"MimeTypes", kMimeType},
        {L"FileExtensions", L".m32"},
        {L"SupportAnimation", DWORD{0}},
        {L"SupportChromakey", DWORD{0}},
        {L"SupportLossless", DWORD{1}},
        {L"SupportMultiframe", DWORD{0}}},
       true},
      {L"CLSID\\<decoder>\\InprocServer32", {{nullptr, L"<module>"}, {L"ThreadingModel", L"Both"}}},
      {L"CLSID\\<decoder>\\Formats", {}},
      {L"CLSID\\<decoder>\\Formats\\<bgra>", {}},
      {L"CLSID\\<decoder>\\Patterns", {}},
      {L"CLSID\\<decoder>\\Patterns\\0",
       {{L"Position", DWORD{0}},
        {L"Length", DWORD{sizeof(kVersionPattern)}},
        {L"Pattern", std::span<const BYTE>(kVersionPattern)},
        {L"Mask", std::span<const BYTE>(kEveryBit)},
        {L"EndOfStream", DWORD{0}}}},
      {L"CLSID\\<decoders>\\Instance\\<decoder>", {{L"CLSID", L"<decoder>"}, {L"FriendlyName", kDecoderName}}, true},
      {L".m32", {{L"PerceivedType", L"image"}, {L"Content Type", kMimeType}}},
      {L".m32\\ShellEx", {}},
      {L".m32\\ShellEx\\<thumbnail handler>", {{nullptr, L"<thumbnails>"}}},
      {L".m8", {{L"PerceivedType", L"image"}, {L"Content Type", L"image/x-m8"}}},
      {L".m8\\ShellEx", {}},
      {L".m8\\ShellEx\\<thumbnail handler>", {{nullptr, L"<thumbnails>"}}},
  };
}

std::wstring GuidText(const GUID& guid) {
  wchar_t text[39] = {};
  StringFromGUID2(guid, text, static_cast<int>(std::size(text)));
  return text;
}

using Names = std::vector<std::pair<std::wstring_view, std::wstring>>;

Names NamesFor(const std::wstring& modulePath) {
  return {
      {L"<thumbnails>", GuidText(kThumbnailProviderClsid)},
      {L"<decoder>", GuidText(kDecoderClsid)},
      {L"<container>", GuidText(kM32ContainerFormat)},
      {L"<vendor>", GuidText(kPellicarVendor)},
      {L"<decoders>", GuidText(CATID_WICBitmapDecoders)},
      {L"<bgra>", GuidText(GUID_WICPixelFormat32bppBGRA)},
      {L"<thumbnail handler>", GuidText(__uuidof(IThumbnailProvider))},
      {L"<module>", modulePath},
  };
}

std::wstring Filled(std::wstring_view text, const Names& names) {
  std::wstring filled(text);
  for (const auto& [name, value] : names) {
    for (std::size_t at = filled.find(name); at != std::wstring::npos; at = filled.find(name, at + value.size())) {
      filled.replace(at, name.size(), value);
    }
  }
  return filled;
}

std::wstring FullPath(const Key& key, const Names& names) {
  return Filled(std::wstring(kClasses).append(key.path), names);
}

// A value as the registry keeps it.
struct Stored {
  DWORD type = REG_NONE;
  std::vector<BYTE> bytes;
  bool operator==(const Stored&) const = default;
};

Stored Encoded(const Value& value, const Names& names) {
  if (const auto* text = std::get_if<std::wstring_view>(&value.data)) {
    const std::wstring filled = Filled(*text, names);
    const auto* first = reinterpret_cast<const BYTE*>(filled.c_str());
    return {REG_SZ, {first, first + (filled.size() + 1) * sizeof(wchar_t)}};
  }
  if (const auto* number = std::get_if<DWORD>(&value.data)) {
    const auto* first = reinterpret_cast<const BYTE*>(number);
    return {REG_DWORD, {first, first + sizeof(DWORD)}};
  }
  const auto bytes = std::get<std::span<const BYTE>>(value.data);
  return {REG_BINARY, {bytes.begin(), bytes.end()}};
}

struct KeyCloser {
  void operator()(HKEY key) const { RegCloseKey(key); }
};
using KeyHandle = std::unique_ptr<std::remove_pointer_t<HKEY>, KeyCloser>;

LSTATUS Write(const Key& key, const Names& names) {
  HKEY opened = nullptr;
  LSTATUS status = RegCreateKeyExW(HKEY_LOCAL_MACHINE, FullPath(key, names).c_str(), 0, nullptr, 0, KEY_SET_VALUE,
                                   nullptr, &opened, nullptr);
  const KeyHandle handle(opened);
  for (auto value = key.values.begin(); status == ERROR_SUCCESS && value != key.values.end(); ++value) {
    const Stored stored = Encoded(*value, names);
    status = RegSetValueExW(handle.get(), value->name, 0, stored.type, stored.bytes.data(),
                            static_cast<DWORD>(stored.bytes.size()));
  }
  return status;
}

Stored Read(HKEY key, const wchar_t* name) {
  Stored stored;
  DWORD size = 0;
  if (RegQueryValueExW(key, name, nullptr, &stored.type, nullptr, &size) != ERROR_SUCCESS) return {};
  stored.bytes.resize(size);
  if (RegQueryValueExW(key, name, nullptr, &stored.type, stored.bytes.data(), &size) != ERROR_SUCCESS) return {};
  stored.bytes.resize(size);
  return stored;
}

bool Empty(HKEY key) {
  DWORD subkeys = 0, values = 0;
  return RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, &subkeys, nullptr, nullptr, &values, nullptr, nullptr,
                          nullptr, nullptr) == ERROR_SUCCESS &&
         subkeys == 0 && values == 0;
}

LSTATUS Gone(LSTATUS status) { return status == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : status; }

// A key of ours goes with all it holds. From a shared key go only the values that still
// hold what was written, and the key itself once nothing is left in it.
LSTATUS Remove(const Key& key, const Names& names) {
  const std::wstring path = FullPath(key, names);
  if (key.whole) return Gone(RegDeleteTreeW(HKEY_LOCAL_MACHINE, path.c_str()));
  HKEY opened = nullptr;
  const LSTATUS status = RegOpenKeyExW(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &opened);
  if (status != ERROR_SUCCESS) return Gone(status);
  KeyHandle handle(opened);
  for (const Value& value : key.values) {
    if (Read(handle.get(), value.name) != Encoded(value, names)) continue;
    if (const LSTATUS deleted = RegDeleteValueW(handle.get(), value.name); deleted != ERROR_SUCCESS) return deleted;
  }
  if (!Empty(handle.get())) return ERROR_SUCCESS;
  handle.reset();
  return Gone(RegDeleteKeyW(HKEY_LOCAL_MACHINE, path.c_str()));
}

// Removes `keys` last first; the first failure is the result, the rest are still tried.
HRESULT RemoveAll(std::span<const Key> keys, const Names& names) {
  LSTATUS first = ERROR_SUCCESS;
  for (auto key = keys.rbegin(); key != keys.rend(); ++key) {
    const LSTATUS status = Remove(*key, names);
    if (first == ERROR_SUCCESS) first = status;
  }
  return HRESULT_FROM_WIN32(first);
}

}  // namespace

HRESULT Register(const std::wstring& modulePath) {
  const Names names = NamesFor(modulePath);
  const std::vector<Key> keys = Keys();
  for (std::size_t key = 0; key < keys.size(); ++key) {
    if (const LSTATUS status = Write(keys[key], names); status != ERROR_SUCCESS) {
      RemoveAll(std::span(keys).first(key + 1), names);
      return HRESULT_FROM_WIN32(status);
    }
  }
  return S_OK;
}

HRESULT Unregister(const std::wstring& modulePath) { return RemoveAll(Keys(), NamesFor(modulePath)); }

}  // namespace shell
