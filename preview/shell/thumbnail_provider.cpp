#include "thumbnail_provider.h"

#include <cstring>

#include "stream_source.h"

namespace shell {
namespace {

// A top-down 32-bit DIB section holding the bitmap's pixels, as the shell wants it.
HBITMAP DibSection(const Bitmap& bitmap) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(info.bmiHeader);
  info.bmiHeader.biWidth = static_cast<LONG>(bitmap.size.width);
  info.bmiHeader.biHeight = -static_cast<LONG>(bitmap.size.height);
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP section = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (section) std::memcpy(bits, bitmap.bgra.data(), bitmap.bgra.size());
  return section;
}

}  // namespace

STDMETHODIMP ThumbnailProvider::Initialize(IStream* stream, DWORD) {
  if (!stream) return E_INVALIDARG;
  const std::lock_guard lock(mutex_);
  if (stream_) return HRESULT_FROM_WIN32(ERROR_ALREADY_INITIALIZED);
  stream_ = stream;
  return S_OK;
}

STDMETHODIMP ThumbnailProvider::GetThumbnail(UINT size, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) {
  if (!bitmap || !alpha) return E_POINTER;
  *bitmap = nullptr;
  *alpha = WTSAT_UNKNOWN;
  return Guarded([&] {
    const std::lock_guard lock(mutex_);
    if (!stream_) return E_UNEXPECTED;
    StreamSource source(stream_.Get());
    const BitmapResult thumbnail = ReadThumbnail(source, size);
    if (!thumbnail.Ok()) return ResultOf(thumbnail.fault);
    *bitmap = DibSection(thumbnail.bitmap);
    if (!*bitmap) return E_OUTOFMEMORY;
    *alpha = WTSAT_ARGB;
    return S_OK;
  });
}

}  // namespace shell
