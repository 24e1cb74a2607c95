#include "stream_source.h"

#include <algorithm>
#include <limits>
#include <utility>

#include "system/number_text.h"

namespace shell {
namespace {

LARGE_INTEGER At(std::uint64_t offset) {
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  return at;
}

}  // namespace

StreamSource::StreamSource(IStream* stream) : stream_(stream) {
  STATSTG status{};
  ULARGE_INTEGER end{};
  if (SUCCEEDED(stream_->Stat(&status, STATFLAG_NONAME))) {
    size_ = status.cbSize.QuadPart;
  } else if (SUCCEEDED(stream_->Seek(At(0), STREAM_SEEK_END, &end))) {
    size_ = end.QuadPart;
  } else {
    Fail("the stream does not tell its size");
  }
}

bool StreamSource::ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) {
  if (!error_.empty()) return false;
  // Within the size first seen, so that the sum cannot overflow.
  if (offset > size_ || bytes.size() > size_ - offset) {
    return Fail("byte " + sys::WithSeparators(offset + bytes.size()) + " is past the end of the stream (" +
                sys::WithSeparators(size_) + " bytes)");
  }
  if (FAILED(stream_->Seek(At(offset), STREAM_SEEK_SET, nullptr))) {
    return Fail("cannot move to byte " + sys::WithSeparators(offset) + " of the stream");
  }
  for (std::uint64_t at = offset; !bytes.empty();) {
    const auto wanted = static_cast<ULONG>(std::min<std::size_t>(bytes.size(), std::numeric_limits<ULONG>::max()));
    ULONG got = 0;
    if (FAILED(stream_->Read(bytes.data(), wanted, &got)) || got == 0 || got > wanted) {
      return Fail("cannot read the stream at byte " + sys::WithSeparators(at));
    }
    bytes = bytes.subspan(got);
    at += got;
  }
  return true;
}

bool StreamSource::Fail(std::string reason) {
  error_ = std::move(reason);
  return false;
}

KeptPosition::KeptPosition(IStream* stream) : stream_(stream) { stream_->Seek(At(0), STREAM_SEEK_CUR, &position_); }

KeptPosition::~KeptPosition() { stream_->Seek(At(position_.QuadPart), STREAM_SEEK_SET, nullptr); }

}  // namespace shell
