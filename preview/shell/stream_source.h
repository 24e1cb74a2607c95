// A COM stream read as the converter reads a file: at offsets from the stream's start,
// each read checked against the size the stream had when first seen.
#pragma once

#include <objidl.h>

#include <cstdint>
#include <span>
#include <string>

#include "formats/m32.h"

namespace shell {

class StreamSource final : public formats::ByteSource {
 public:
  explicit StreamSource(IStream* stream);

  std::uint64_t Size() const override { return size_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override;
  const std::string& Error() const override { return error_; }

 private:
  bool Fail(std::string reason);

  IStream* stream_;
  std::uint64_t size_ = 0;
  std::string error_;
};

// Where a stream stands, put back when this ends: a decoder asked whether it can read a
// stream leaves it as it found it.
class KeptPosition {
 public:
  explicit KeptPosition(IStream* stream);
  ~KeptPosition();
  KeptPosition(const KeptPosition&) = delete;
  KeptPosition& operator=(const KeptPosition&) = delete;

 private:
  IStream* stream_;
  ULARGE_INTEGER position_{};
};

}  // namespace shell
