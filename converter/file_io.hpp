// The few file operations the converter needs, on POSIX and on Windows.
#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>

#include "tga.hpp"

namespace m32tga {

// A file's bytes, mapped into memory where the system can, read otherwise.
class InputFile {
public:
    explicit InputFile(const std::filesystem::path& path);
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    const std::string& error() const { return error_; }  // empty when the bytes are there
    std::span<const std::uint8_t> bytes() const { return bytes_; }

private:
    struct Storage;
    std::unique_ptr<Storage> storage_;
    std::span<const std::uint8_t> bytes_;
    std::string error_;
};

// Written under a temporary name beside the target and renamed over it only at commit,
// so the target is either its earlier self or the complete new file, never a part.
class ReplacingFile final : public ByteSink {
public:
    explicit ReplacingFile(std::filesystem::path target);
    ~ReplacingFile();  // removes the temporary file unless committed
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    const std::string& error() const { return error_; }  // the first failure, if any
    bool write(std::span<const std::uint8_t> bytes) override;
    bool commit();

private:
    struct Handle;
    std::unique_ptr<Handle> handle_;
    std::filesystem::path target_;
    std::filesystem::path temporary_;
    std::string error_;
    bool committed_ = false;
};

// A path as it goes into a message: its bytes, with control characters shown as '?'
// so that one failure stays on one line.
std::string display_name(const std::filesystem::path& path);

}  // namespace m32tga
