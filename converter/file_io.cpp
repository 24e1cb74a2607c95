#include "file_io.hpp"

#include <cerrno>
#include <system_error>
#include <utility>

#ifdef _WIN32
#include <fstream>
#include <random>
#include <vector>
#else
#include <fcntl.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace m32tga {
namespace {

constexpr char kTemporaryPrefix[] = ".pellicar-";

std::string system_message(int code) { return std::generic_category().message(code); }

std::filesystem::path folder_of(const std::filesystem::path& file) {
    const std::filesystem::path parent = file.parent_path();
    return parent.empty() ? std::filesystem::path(".") : parent;
}

}  // namespace

std::string display_name(const std::filesystem::path& path) {
#ifdef _WIN32
    const std::u8string utf8 = path.u8string();
    std::string shown(utf8.begin(), utf8.end());
#else
    std::string shown = path.native();
#endif
    constexpr unsigned char kFirstPrintable = 0x20;
    constexpr unsigned char kDelete = 0x7F;
    for (char& c : shown) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < kFirstPrintable || byte == kDelete) c = '?';
    }
    return shown;
}

#ifdef _WIN32

struct InputFile::Storage {
    std::vector<std::uint8_t> bytes;
};

InputFile::InputFile(const std::filesystem::path& path) : storage_(new Storage) {
    std::error_code status;
    if (std::filesystem::is_directory(path, status)) {
        error_ = "a directory, not an m32 file";
        return;
    }
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        error_ = "cannot open: " + system_message(errno);
        return;
    }
    storage_->bytes.assign(std::istreambuf_iterator<char>(in), {});
    if (in.bad()) error_ = "cannot read: " + system_message(errno);
    bytes_ = storage_->bytes;
}

InputFile::~InputFile() = default;

struct ReplacingFile::Handle {
    std::ofstream out;
};

ReplacingFile::ReplacingFile(std::filesystem::path target)
    : handle_(new Handle), target_(std::move(target)) {
    std::random_device random;
    for (int attempt = 0; attempt < 100 && !handle_->out.is_open(); ++attempt) {
        temporary_ = folder_of(target_) / (kTemporaryPrefix + std::to_string(random()));
        if (std::filesystem::exists(temporary_)) continue;
        handle_->out.open(temporary_, std::ios::binary);
    }
    if (!handle_->out.is_open()) {
        error_ = "cannot create a file beside " + display_name(target_);
        temporary_.clear();
    }
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) {
    if (!error_.empty()) return false;
    handle_->out.write(reinterpret_cast<const char*>(bytes.data()),
                       static_cast<std::streamsize>(bytes.size()));
    if (!handle_->out) error_ = "cannot write " + display_name(target_);
    return error_.empty();
}

bool ReplacingFile::commit() {
    if (!error_.empty()) return false;
    handle_->out.close();
    if (!handle_->out) {
        error_ = "cannot finish writing " + display_name(target_);
        return false;
    }
    std::error_code status;
    std::filesystem::rename(temporary_, target_, status);
    if (status) {
        error_ = "cannot replace " + display_name(target_) + ": " + status.message();
        return false;
    }
    committed_ = true;
    return true;
}

ReplacingFile::~ReplacingFile() {
    if (handle_->out.is_open()) handle_->out.close();
    std::error_code ignored;
    if (!committed_ && !temporary_.empty()) std::filesystem::remove(temporary_, ignored);
}

#else  // POSIX

struct InputFile::Storage {
    void* mapping = MAP_FAILED;
    std::size_t length = 0;
};

namespace {

// The file's length, or a reason why it is not a file we can read as bytes.
std::string regular_file_length(int fd, std::size_t& length) {
    struct stat status {};
    if (fstat(fd, &status) != 0) return "cannot read: " + system_message(errno);
    if (S_ISDIR(status.st_mode)) return "a directory, not an m32 file";
    if (!S_ISREG(status.st_mode)) return "not a regular file";
    const auto size = static_cast<std::uintmax_t>(status.st_size);
    if (size > SIZE_MAX) return "too large to read";
    length = static_cast<std::size_t>(size);
    return {};
}

// Closes the descriptor when the scope ends, whichever way it ends.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) close(fd);
    }
};

}  // namespace

InputFile::InputFile(const std::filesystem::path& path) : storage_(new Storage) {
    // Non-blocking so that a named pipe is refused rather than waited on.
    const Descriptor input{open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)};
    if (input.fd < 0) {
        error_ = "cannot open: " + system_message(errno);
        return;
    }
    std::size_t length = 0;
    error_ = regular_file_length(input.fd, length);
    if (!error_.empty() || length == 0) return;
    void* mapping = mmap(nullptr, length, PROT_READ, MAP_PRIVATE, input.fd, 0);
    if (mapping == MAP_FAILED) {
        error_ = "cannot read: " + system_message(errno);
        return;
    }
    storage_->mapping = mapping;
    storage_->length = length;
    bytes_ = {static_cast<const std::uint8_t*>(mapping), length};
}

InputFile::~InputFile() {
    if (storage_->mapping != MAP_FAILED) munmap(storage_->mapping, storage_->length);
}

struct ReplacingFile::Handle {
    int fd = -1;
};

namespace {

// The permissions a newly created file would get, rather than mkstemp's owner-only ones.
mode_t permissions_for_new_file() {
    constexpr mode_t kReadWriteForAll = 0666;
    const mode_t mask = umask(0);
    umask(mask);
    return kReadWriteForAll & ~mask;
}

}  // namespace

ReplacingFile::ReplacingFile(std::filesystem::path target)
    : handle_(new Handle), target_(std::move(target)) {
    std::string name = (folder_of(target_) / kTemporaryPrefix).native() + "XXXXXX";
    handle_->fd = mkstemp(name.data());
    if (handle_->fd < 0) {
        error_ = "cannot create a file beside " + display_name(target_) + ": " +
                 system_message(errno);
        return;
    }
    temporary_ = name;
    if (fchmod(handle_->fd, permissions_for_new_file()) != 0) {
        error_ = "cannot set permissions of " + display_name(target_) + ": " +
                 system_message(errno);
    }
}

bool ReplacingFile::write(std::span<const std::uint8_t> bytes) {
    while (error_.empty() && !bytes.empty()) {
        const ssize_t written = ::write(handle_->fd, bytes.data(), bytes.size());
        if (written > 0) {
            bytes = bytes.subspan(static_cast<std::size_t>(written));
        } else if (written == 0 || errno != EINTR) {
            const int code = written == 0 ? EIO : errno;
            error_ = "cannot write " + display_name(target_) + ": " + system_message(code);
        }
    }
    return error_.empty();
}

bool ReplacingFile::commit() {
    if (!error_.empty()) return false;
    const int fd = std::exchange(handle_->fd, -1);
    if (close(fd) != 0) {
        error_ = "cannot finish writing " + display_name(target_) + ": " +
                 system_message(errno);
        return false;
    }
    if (rename(temporary_.c_str(), target_.c_str()) != 0) {
        error_ = "cannot replace " + display_name(target_) + ": " + system_message(errno);
        return false;
    }
    committed_ = true;
    return true;
}

ReplacingFile::~ReplacingFile() {
    if (handle_->fd >= 0) close(handle_->fd);
    if (!committed_ && !temporary_.empty()) unlink(temporary_.c_str());
}

#endif

}  // namespace m32tga
