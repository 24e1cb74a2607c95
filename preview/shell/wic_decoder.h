// The decoder of Windows' imaging component for m32 textures: one frame, level 0, as
// 32-bit BGRA with straight alpha, its rows read from the stream as they are asked for.
#pragma once

#include <wincodec.h>
#include <windows.h>
#include <wrl/client.h>

#include <mutex>

#include "com_object.h"
#include "formats/m32.h"

namespace shell {

class WicDecoder final : public ComObject<IWICBitmapDecoder> {
 public:
  STDMETHODIMP QueryCapability(IStream* stream, DWORD* capability) override;
  STDMETHODIMP Initialize(IStream* stream, WICDecodeOptions options) override;
  STDMETHODIMP GetContainerFormat(GUID* format) override;
  STDMETHODIMP GetDecoderInfo(IWICBitmapDecoderInfo** info) override;
  STDMETHODIMP CopyPalette(IWICPalette* palette) override;
  STDMETHODIMP GetMetadataQueryReader(IWICMetadataQueryReader** reader) override;
  STDMETHODIMP GetPreview(IWICBitmapSource** preview) override;
  STDMETHODIMP GetColorContexts(UINT count, IWICColorContext** contexts, UINT* actual) override;
  STDMETHODIMP GetThumbnail(IWICBitmapSource** thumbnail) override;
  STDMETHODIMP GetFrameCount(UINT* count) override;
  STDMETHODIMP GetFrame(UINT index, IWICBitmapFrameDecode** frame) override;

  // For the frame: level 0's size, and a rectangle of its pixels.
  formats::MipLevel Level0();
  HRESULT CopyPixels(const WICRect* area, UINT stride, UINT bufferSize, BYTE* buffer);

 private:
  std::mutex mutex_;  // the stream is read by one call at a time
  Microsoft::WRL::ComPtr<IStream> stream_;
  formats::MipLevel level0_;
};

}  // namespace shell
