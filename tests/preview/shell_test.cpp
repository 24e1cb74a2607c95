// pellicar-shell.dll as Windows programs meet it once regsvr32 has registered it: the
// thumbnail provider Explorer finds through the .m32 and .m8 extensions, and the decoder Windows'
// imaging component picks by a file's first bytes; damaged textures refused with an
// error. Unregistering leaves the registry as it was.
#include <shlwapi.h>
#include <thumbcache.h>
#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <gtest/gtest.h>

#include <process.h>

#include <cstring>
#include <filesystem>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "m32_files.h"
#include "support/support.h"

namespace {

using namespace preview_testing;
using Microsoft::WRL::ComPtr;

// regsvr32's exit code, or -1 when it could not be started.
intptr_t Regsvr32(const wchar_t* unregister = nullptr) {
  const auto path = std::filesystem::absolute(testing_support::FsPath(testing_support::NativePath(PELLICAR_SHELL_DLL)));
  const std::wstring dll = L"\"" + path.wstring() + L"\"";
  return _wspawnlp(_P_WAIT, L"regsvr32.exe", L"regsvr32.exe", L"/s", dll.c_str(), unregister, nullptr);
}

// Every key and value under `path`, a line each.
void Walk(HKEY parent, const std::wstring& path, std::set<std::wstring>& lines) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(parent, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return;
  lines.insert(path);
  std::vector<wchar_t> name(16384);
  std::vector<BYTE> data(1024);
  for (DWORD index = 0;;) {
    DWORD nameLength = static_cast<DWORD>(name.size()), size = static_cast<DWORD>(data.size()), type = 0;
    const LSTATUS status = RegEnumValueW(key, index, name.data(), &nameLength, nullptr, &type, data.data(), &size);
    if (status == ERROR_MORE_DATA) {
      data.resize(size);
      continue;
    }
    if (status != ERROR_SUCCESS) break;
    std::wstring line = path + L" : " + name.data() + L" = " + std::to_wstring(type) + L":";
    for (DWORD at = 0; at < size; ++at)
      line += {L"0123456789abcdef"[data[at] >> 4], L"0123456789abcdef"[data[at] & 15]};
    lines.insert(line);
    ++index;
  }
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    if (RegEnumKeyExW(key, index, name.data(), &nameLength, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
    Walk(parent, path + L"\\" + name.data(), lines);
  }
  RegCloseKey(key);
}

// What registering may touch: the classes of the machine and of the user.
std::set<std::wstring> Registry() {
  std::set<std::wstring> lines;
  Walk(HKEY_LOCAL_MACHINE, L"Software\\Classes", lines);
  Walk(HKEY_CURRENT_USER, L"Software\\Classes", lines);
  return lines;
}

ComPtr<IStream> StreamOver(const Bytes& bytes) {
  ComPtr<IStream> stream;
  stream.Attach(SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size())));
  return stream;
}

struct Thumbnail {
  HRESULT result = E_FAIL;
  HBITMAP bitmap = nullptr;
  WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
  DIBSECTION dib{};
  ~Thumbnail() { DeleteObject(bitmap); }
};

// Made as Explorer makes it: by the class the extension's handler for IThumbnailProvider
// names, given the file as a stream.
void MakeThumbnail(const Bytes& texture, UINT size, Thumbnail& thumbnail, const std::wstring& extension = L".m32") {
  wchar_t handler[MAX_PATH] = {};
  DWORD handlerSize = sizeof(handler);
  RegGetValueW(HKEY_CLASSES_ROOT, (extension + L"\\ShellEx\\{e357fccd-a995-4576-b01f-234630154e96}").c_str(), nullptr,
               RRF_RT_REG_SZ, nullptr, handler, &handlerSize);
  CLSID provider{};
  ComPtr<IInitializeWithStream> initialize;
  ComPtr<IThumbnailProvider> thumbnails;
  if (FAILED(CLSIDFromString(handler, &provider)) ||
      FAILED(CoCreateInstance(provider, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&initialize))) ||
      FAILED(initialize->Initialize(StreamOver(texture).Get(), STGM_READ)) || FAILED(initialize.As(&thumbnails)))
    return ADD_FAILURE() << "no thumbnail provider for " << testing::PrintToString(extension);
  thumbnail.result = thumbnails->GetThumbnail(size, &thumbnail.bitmap, &thumbnail.alpha);
  if (thumbnail.bitmap) GetObjectW(thumbnail.bitmap, sizeof(thumbnail.dib), &thumbnail.dib);
}

// The pixels as 32-bit ARGB, row by row: in memory the BGRA that Windows' bitmaps hold.
std::vector<std::uint32_t> Argb(const RgbaImage& image) {
  std::vector<std::uint32_t> argb;
  for (std::size_t at = 0; at < image.rgba.size(); at += 4) {
    const std::uint8_t* p = &image.rgba[at];
    argb.push_back(std::uint32_t{p[3]} << 24 | p[0] << 16 | p[1] << 8 | p[2]);
  }
  return argb;
}

// Each test registers the DLL as the installer does, works as a client would, and
// leaves the registry as it found it once the DLL is unregistered.
class ShellDll : public testing::Test {
 protected:
  void SetUp() override {
    before_ = Registry();
    ASSERT_EQ(Regsvr32(), 0);
    ASSERT_HRESULT_SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
  }
  void TearDown() override {
    CoUninitialize();
    EXPECT_EQ(Regsvr32(L"/u"), 0);
    const std::set<std::wstring> after = Registry();
    std::wstring differences;
    for (const auto& line : after) differences += before_.contains(line) ? L"" : L"\n  added " + line;
    for (const auto& line : before_) differences += after.contains(line) ? L"" : L"\n  removed " + line;
    EXPECT_TRUE(after == before_) << "left in the registry:" << differences;
  }

  std::set<std::wstring> before_;
};

// Each mip level a flat colour of its own, so that the thumbnail shows the level it was
// made from: the smallest one at least as large as the thumbnail on each side (which
// levels are sound is the level pick's, tested with the Linux previews), or sampled from
// level 0 when there is no such level; an m8's through its palette, opaque. A damaged
// texture gets an error and no bitmap.
TEST_F(ShellDll, ThumbnailsComeFromTheSmallestLevelLargeEnoughInTheTexturesShapeWithAlpha) {
  const auto flat = [](LONG width, LONG height, std::size_t level) {
    return std::vector<std::uint32_t>(width * height, LevelColour(level));
  };
  const struct {
    Bytes texture;  // 512 x 256: 256 x 128, 128 x 64, 64 x 32, 32 x 16 ...
    UINT asked;
    LONG width, height;
    std::vector<std::uint32_t> pixels;
    const wchar_t* extension = L".m32";
  } cases[] = {
      {FlatLevels(512, 256), 32, 32, 16, flat(32, 16, 4)},
      {FlatLevels(40, 200), 96, 19, 96, flat(19, 96, 1)},  // 10 x 50 is too small
      {FlatLevels(33, 17), 256, 33, 17, flat(33, 17, 0)},  // never larger than the texture
      // Averaged down from 16 x 8, alpha kept apart from the colour, the top row first.
      {EncodeM32(Quarters(64, 32), "textures/test/quarters"), 12, 12, 6, Argb(Quarters(12, 6))},
      // Sampled from level 0 alone: every fifth row and column, 12 x 6 of them.
      {Level0Only(EncodeM32(Quarters(64, 32), "textures/test/quarters")), 12, 12, 6, Argb(Quarters(12, 6))},
      {FlatLevelsM8(512, 256), 32, 32, 16, flat(32, 16, 4), L".m8"},
      {FlatLevelsM8(40, 200), 96, 19, 96, flat(19, 96, 1), L".m8"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "asked " << c.asked << ", expected " << c.width << " x " << c.height);
    Thumbnail thumbnail;
    MakeThumbnail(c.texture, c.asked, thumbnail, c.extension);
    ASSERT_HRESULT_SUCCEEDED(thumbnail.result);
    EXPECT_EQ(thumbnail.alpha, WTSAT_ARGB);
    const BITMAP& bitmap = thumbnail.dib.dsBm;
    ASSERT_EQ(bitmap.bmBitsPixel, 32);
    ASSERT_EQ(std::pair(bitmap.bmWidth, bitmap.bmHeight), std::pair(c.width, c.height));
    const auto* pixels = static_cast<const std::uint32_t*>(bitmap.bmBits);
    EXPECT_EQ(std::vector(pixels, pixels + c.pixels.size()), c.pixels);
  }
  for (const bool m8 : {false, true}) {
    Thumbnail damaged;
    MakeThumbnail(Truncated(m8), 96, damaged, m8 ? L".m8" : L".m32");
    EXPECT_EQ(damaged.result, WINCODEC_ERR_BADHEADER);
    EXPECT_EQ(damaged.bitmap, nullptr);
  }
}

// Chosen by the file's first bytes with no hint of the codec; every pixel and alpha of
// level 0 as 32-bit BGRA, and any rectangle of it at any stride, checked against the
// buffer it goes into. A damaged texture is refused for its header.
TEST_F(ShellDll, WindowsImagingFindsTheDecoderByContentCopiesLevel0ExactlyAndRefusesADamagedOne) {
  const RgbaImage texture = VariedImage(19, 7);
  ComPtr<IWICImagingFactory> factory;
  ASSERT_HRESULT_SUCCEEDED(
      CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory)));
  ComPtr<IWICBitmapDecoder> decoder;
  ASSERT_HRESULT_SUCCEEDED(factory->CreateDecoderFromStream(StreamOver(EncodeM32(texture, "textures/test/wall")).Get(),
                                                            nullptr, WICDecodeMetadataCacheOnDemand, &decoder));
  ComPtr<IWICBitmapDecoderInfo> listed;
  ASSERT_HRESULT_SUCCEEDED(decoder->GetDecoderInfo(&listed));
  wchar_t text[256] = {};
  UINT length = 0;
  listed->GetFileExtensions(256, text, &length);
  EXPECT_STREQ(text, L".m32");
  listed->GetMimeTypes(256, text, &length);
  EXPECT_STREQ(text, L"image/x-m32");
  GUID container{}, listedContainer{}, format{}, listedFormat{};
  UINT formats = 0, width = 0, height = 0;
  decoder->GetContainerFormat(&container);
  listed->GetContainerFormat(&listedContainer);
  listed->GetPixelFormats(1, &listedFormat, &formats);
  EXPECT_TRUE(container == listedContainer) << "the decoder chosen is the one listed for .m32";

  ComPtr<IWICBitmapFrameDecode> frame;
  ASSERT_HRESULT_SUCCEEDED(decoder->GetFrame(0, &frame));
  frame->GetPixelFormat(&format);
  EXPECT_TRUE(format == GUID_WICPixelFormat32bppBGRA);
  EXPECT_EQ(formats, 1u);
  EXPECT_TRUE(listedFormat == format);
  frame->GetSize(&width, &height);
  ASSERT_EQ(std::pair(width, height), std::pair(19u, 7u));

  const struct {
    std::optional<WICRect> area;  // none: the whole image
    UINT stride;
    UINT bufferSize;
    HRESULT result;
  } copies[] = {
      {std::nullopt, 19 * 4, 19 * 4 * 7, S_OK},
      {WICRect{3, 2, 5, 4}, 5 * 4 + 12, (5 * 4 + 12) * 3 + 5 * 4, S_OK},  // rows apart, the last one unpadded
      {WICRect{18, 6, 1, 1}, 4, 4, S_OK},
      {WICRect{15, 0, 5, 1}, 20, 20, E_INVALIDARG},  // past the right edge
      {WICRect{0, -1, 1, 1}, 4, 4, E_INVALIDARG},
      {WICRect{0, 5, 1, 3}, 4, 12, E_INVALIDARG},          // past the bottom
      {WICRect{3, 2, 5, 4}, 5 * 4 - 1, 80, E_INVALIDARG},  // a stride shorter than a row
      {WICRect{3, 2, 5, 4}, 5 * 4, 5 * 4 * 4 - 1, WINCODEC_ERR_INSUFFICIENTBUFFER},
  };
  constexpr BYTE kUntouched = 0xA5;
  const std::vector<std::uint32_t> pixels = Argb(texture);
  for (const auto& c : copies) {
    const WICRect area = c.area.value_or(WICRect{0, 0, 19, 7});
    SCOPED_TRACE(testing::Message() << area.X << "," << area.Y << " " << area.Width << " x " << area.Height
                                    << ", stride " << c.stride << ", buffer " << c.bufferSize);
    std::vector<BYTE> buffer(c.bufferSize + 16, kUntouched);
    ASSERT_EQ(frame->CopyPixels(c.area ? &area : nullptr, c.stride, c.bufferSize, buffer.data()), c.result);
    std::vector<BYTE> expected(buffer.size(), kUntouched);
    for (INT y = 0; SUCCEEDED(c.result) && y < area.Height; ++y)
      std::memcpy(&expected[y * c.stride], &pixels[(area.Y + y) * 19 + area.X], area.Width * 4);
    EXPECT_TRUE(buffer == expected) << "each pixel in its place, nothing written between rows or past the last";
  }

  // Asked directly, as a program that goes by the extension would.
  ASSERT_HRESULT_SUCCEEDED(listed->CreateInstance(&decoder));
  EXPECT_EQ(decoder->Initialize(StreamOver(Truncated()).Get(), WICDecodeMetadataCacheOnDemand), WINCODEC_ERR_BADHEADER);
}

}  // namespace
