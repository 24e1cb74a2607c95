// The thumbnail provider Explorer runs on each .m32 file it shows: given the file as a
// stream, never its name, it makes a 32-bit bitmap with alpha of at most the size asked
// for from the smallest mip level that is large enough.
#pragma once

#include <propsys.h>
#include <thumbcache.h>
#include <windows.h>
#include <wrl/client.h>

#include <mutex>

#include "com_object.h"

namespace shell {

class ThumbnailProvider final : public ComObject<IInitializeWithStream, IThumbnailProvider> {
 public:
  STDMETHODIMP Initialize(IStream* stream, DWORD mode) override;
  STDMETHODIMP GetThumbnail(UINT size, HBITMAP* bitmap, WTS_ALPHATYPE* alpha) override;

 private:
  std::mutex mutex_;
  Microsoft::WRL::ComPtr<IStream> stream_;
};

}  // namespace shell
