// The fuzzer's bytes as a file the readers take it for; reads fail from the one numbered
// `failingRead` on, as those of a file cut short while it is read do. A sink that keeps
// everything written to it, and one that keeps each piece where it was written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>
#include <vector>

#include "formats/m32.h"
#include "formats/m32_writer.h"

class MemoryFile final : public formats::ByteSource {
 public:
  static constexpr std::size_t kNeverFails = SIZE_MAX;

  MemoryFile(std::span<const std::uint8_t> bytes, std::size_t failingRead) : bytes_(bytes), failingRead_(failingRead) {}

  std::uint64_t Size() const override { return bytes_.size(); }
  const std::string& Error() const override { return error_; }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> bytes) override {
    if (reads_++ >= failingRead_) error_ = "read failed";
    if (offset > bytes_.size() || bytes.size() > bytes_.size() - offset) error_ = "past the end";
    if (!error_.empty()) return false;
    std::memcpy(bytes.data(), bytes_.data() + offset, bytes.size());
    return true;
  }
  std::size_t Reads() const { return reads_; }

 private:
  std::span<const std::uint8_t> bytes_;
  std::size_t failingRead_;
  std::size_t reads_ = 0;
  std::string error_;
};

struct MemorySink final : formats::ByteSink {
  bool Write(std::span<const std::uint8_t> more) override {
    bytes.insert(bytes.end(), more.begin(), more.end());
    return true;
  }
  std::vector<std::uint8_t> bytes;
};

struct MemoryStore final : formats::PositionedSink {
  bool WriteAt(std::uint64_t offset, std::span<const std::uint8_t> more) override {
    if (bytes.size() < offset + more.size()) bytes.resize(offset + more.size());
    std::memcpy(bytes.data() + offset, more.data(), more.size());
    return true;
  }
  bool ReadAt(std::uint64_t offset, std::span<std::uint8_t> out) override {
    if (offset > bytes.size() || out.size() > bytes.size() - offset) return false;
    std::memcpy(out.data(), bytes.data() + offset, out.size());
    return true;
  }
  std::vector<std::uint8_t> bytes;
};
