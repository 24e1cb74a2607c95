#include "wic_decoder.h"

#include "class_ids.h"
#include "stream_source.h"

namespace shell {

template <>
bool Answers<IWICBitmapFrameDecode>(REFIID iid) {
  return iid == __uuidof(IWICBitmapFrameDecode) || iid == __uuidof(IWICBitmapSource);
}

namespace {

constexpr double kDotsPerInch = 96;  // m32 textures carry no resolution

// The one frame: it keeps its decoder, and with it the stream, alive.
class Frame final : public ComObject<IWICBitmapFrameDecode> {
 public:
  explicit Frame(WicDecoder* decoder) : decoder_(decoder) {}

  STDMETHODIMP GetSize(UINT* width, UINT* height) override {
    if (!width || !height) return E_INVALIDARG;
    const formats::MipLevel level0 = decoder_->Level0();
    *width = level0.width;
    *height = level0.height;
    return S_OK;
  }
  STDMETHODIMP GetPixelFormat(WICPixelFormatGUID* format) override {
    if (!format) return E_INVALIDARG;
    *format = GUID_WICPixelFormat32bppBGRA;
    return S_OK;
  }
  STDMETHODIMP GetResolution(double* x, double* y) override {
    if (!x || !y) return E_INVALIDARG;
    *x = *y = kDotsPerInch;
    return S_OK;
  }
  STDMETHODIMP CopyPalette(IWICPalette*) override { return WINCODEC_ERR_PALETTEUNAVAILABLE; }
  STDMETHODIMP CopyPixels(const WICRect* area, UINT stride, UINT bufferSize, BYTE* buffer) override {
    return decoder_->CopyPixels(area, stride, bufferSize, buffer);
  }
  STDMETHODIMP GetMetadataQueryReader(IWICMetadataQueryReader**) override { return WINCODEC_ERR_UNSUPPORTEDOPERATION; }
  STDMETHODIMP GetColorContexts(UINT, IWICColorContext**, UINT* actual) override {
    if (!actual) return E_INVALIDARG;
    *actual = 0;
    return S_OK;
  }
  STDMETHODIMP GetThumbnail(IWICBitmapSource**) override { return WINCODEC_ERR_CODECNOTHUMBNAIL; }

 private:
  Microsoft::WRL::ComPtr<WicDecoder> decoder_;
};

}  // namespace

STDMETHODIMP WicDecoder::QueryCapability(IStream* stream, DWORD* capability) {
  if (!stream || !capability) return E_INVALIDARG;
  return Guarded([&] {
    const KeptPosition kept(stream);
    StreamSource source(stream);
    *capability = formats::ReadM32Header(source).Ok() ? WICBitmapDecoderCapabilityCanDecodeAllImages : 0;
    return S_OK;
  });
}

STDMETHODIMP WicDecoder::Initialize(IStream* stream, WICDecodeOptions) {
  if (!stream) return E_INVALIDARG;
  return Guarded([&] {
    const std::lock_guard lock(mutex_);
    if (stream_) return WINCODEC_ERR_WRONGSTATE;
    StreamSource source(stream);
    const formats::HeaderResult header = formats::ReadM32Header(source);
    if (!header.Ok()) return ResultOf(HeaderFault(source));
    stream_ = stream;
    level0_ = header.level0;
    return S_OK;
  });
}

STDMETHODIMP WicDecoder::GetContainerFormat(GUID* format) {
  if (!format) return E_INVALIDARG;
  *format = kM32ContainerFormat;
  return S_OK;
}

STDMETHODIMP WicDecoder::GetDecoderInfo(IWICBitmapDecoderInfo** info) {
  if (!info) return E_INVALIDARG;
  *info = nullptr;
  Microsoft::WRL::ComPtr<IWICImagingFactory> factory;
  Microsoft::WRL::ComPtr<IWICComponentInfo> component;
  HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&factory));
  if (SUCCEEDED(result)) result = factory->CreateComponentInfo(kDecoderClsid, &component);
  if (SUCCEEDED(result)) result = component->QueryInterface(IID_PPV_ARGS(info));
  return result;
}

STDMETHODIMP WicDecoder::CopyPalette(IWICPalette*) { return WINCODEC_ERR_PALETTEUNAVAILABLE; }

STDMETHODIMP WicDecoder::GetMetadataQueryReader(IWICMetadataQueryReader**) { return WINCODEC_ERR_UNSUPPORTEDOPERATION; }

STDMETHODIMP WicDecoder::GetPreview(IWICBitmapSource**) { return WINCODEC_ERR_UNSUPPORTEDOPERATION; }

STDMETHODIMP WicDecoder::GetColorContexts(UINT, IWICColorContext**, UINT* actual) {
  if (!actual) return E_INVALIDARG;
  *actual = 0;
  return S_OK;
}

STDMETHODIMP WicDecoder::GetThumbnail(IWICBitmapSource**) { return WINCODEC_ERR_CODECNOTHUMBNAIL; }

STDMETHODIMP WicDecoder::GetFrameCount(UINT* count) {
  if (!count) return E_INVALIDARG;
  const std::lock_guard lock(mutex_);
  if (!stream_) return WINCODEC_ERR_NOTINITIALIZED;
  *count = 1;
  return S_OK;
}

STDMETHODIMP WicDecoder::GetFrame(UINT index, IWICBitmapFrameDecode** frame) {
  if (!frame) return E_INVALIDARG;
  *frame = nullptr;
  {
    const std::lock_guard lock(mutex_);
    if (!stream_) return WINCODEC_ERR_NOTINITIALIZED;
  }
  if (index != 0) return WINCODEC_ERR_FRAMEMISSING;
  Frame* made = new (std::nothrow) Frame(this);
  if (!made) return E_OUTOFMEMORY;
  *frame = made;
  return S_OK;
}

formats::MipLevel WicDecoder::Level0() {
  const std::lock_guard lock(mutex_);
  return level0_;
}

HRESULT WicDecoder::CopyPixels(const WICRect* area, UINT stride, UINT bufferSize, BYTE* buffer) {
  if (!buffer) return E_INVALIDARG;
  return Guarded([&] {
    const std::lock_guard lock(mutex_);
    const Rectangle whole{0, 0, static_cast<std::int32_t>(level0_.width), static_cast<std::int32_t>(level0_.height)};
    StreamSource source(stream_.Get());
    return ResultOf(CopyLevel0(source, level0_, area ? Rectangle{area->X, area->Y, area->Width, area->Height} : whole,
                               stride, {buffer, bufferSize}));
  });
}

}  // namespace shell
