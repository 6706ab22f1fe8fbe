// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/std/PrivateFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace orvane::files {

namespace fs = std::filesystem;

namespace {

std::optional<fs::path> userHome(const char* variable, const char* underHome) {
    if (const char* set = std::getenv(variable); set && *set == '/') return fs::path(set);
    if (const char* home = std::getenv("HOME"); home && *home == '/') {
        return fs::path(home) / underHome;
    }
    return std::nullopt;
}

std::string reason() {
    return std::strerror(errno);
}

// The open descriptor must be this user's own regular file, whatever its name now points at.
std::optional<std::string> checkOwnRegularFile(int fd, const fs::path& path) {
    struct stat info {};
    if (::fstat(fd, &info) != 0) return "Cannot examine " + path.string() + ": " + reason();
    if (!S_ISREG(info.st_mode)) return path.string() + " is not a regular file.";
    if (info.st_uid != ::getuid()) return path.string() + " belongs to another user.";
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> userDataHome() {
    return userHome("XDG_DATA_HOME", ".local/share");
}

std::optional<fs::path> userConfigHome() {
    return userHome("XDG_CONFIG_HOME", ".config");
}

std::optional<fs::path> userCacheHome() {
    return userHome("XDG_CACHE_HOME", ".cache");
}

std::optional<std::string> ensurePrivateDirectory(const fs::path& directory) {
    std::error_code error;
    fs::create_directories(directory, error);
    struct stat info {};
    if (::lstat(directory.c_str(), &info) != 0) {
        return "Cannot create " + directory.string() + ": " + reason() + ".";
    }
    if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
        return directory.string() + " is not a directory of its own (a link, or a file).";
    }
    if (info.st_uid != ::getuid()) return directory.string() + " belongs to another user.";
    // A umask that lets the group write is this user's to correct, in a directory of theirs.
    if ((info.st_mode & 022) != 0 && ::chmod(directory.c_str(), info.st_mode & 0755) != 0) {
        return directory.string() + " may be changed by other users (chmod 700 it).";
    }
    return std::nullopt;
}

FileDescriptor::~FileDescriptor() {
    if (m_fd >= 0) ::close(m_fd);
}

FileDescriptor& FileDescriptor::operator=(FileDescriptor&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = other.release();
    }
    return *this;
}

int FileDescriptor::release() {
    const int fd = m_fd;
    m_fd = -1;
    return fd;
}

std::variant<FileDescriptor, std::string> openPrivateForWriting(const fs::path& path) {
    // Not blocking: a pipe planted there would hold the open until somebody reads it.
    FileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0600));
    if (!fd) return "Cannot write " + path.string() + ": " + reason() + ".";
    if (auto problem = checkOwnRegularFile(fd.get(), path)) return *problem;
    if (::fcntl(fd.get(), F_SETFL, 0) != 0 || ::fchmod(fd.get(), 0600) != 0 ||
        ::ftruncate(fd.get(), 0) != 0) {
        return "Cannot make " + path.string() + " private: " + reason() + ".";
    }
    return fd;
}

std::variant<FileDescriptor, std::string> openPrivateToContinue(const fs::path& path) {
    FileDescriptor fd(
        ::open(path.c_str(), O_RDWR | O_APPEND | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK));
    if (!fd) return "Cannot open " + path.string() + ": " + reason() + ".";
    if (auto problem = checkOwnRegularFile(fd.get(), path)) return *problem;
    if (::fcntl(fd.get(), F_SETFL, O_APPEND) != 0 || ::fchmod(fd.get(), 0600) != 0) {
        return "Cannot make " + path.string() + " private: " + reason() + ".";
    }
    return fd;
}

std::variant<FileDescriptor, std::string> createPrivate(const fs::path& path) {
    FileDescriptor fd(
        ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (!fd) return "Cannot create " + path.string() + ": " + reason() + ".";
    return fd;
}

bool writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const auto written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return true;
}

std::optional<std::string> writePrivate(const fs::path& path, std::string_view bytes) {
    auto opened = openPrivateForWriting(path);
    if (auto* problem = std::get_if<std::string>(&opened)) return *problem;
    if (!writeAll(std::get<FileDescriptor>(opened).get(), bytes)) {
        return "Cannot write " + path.string() + ": " + reason() + ".";
    }
    return std::nullopt;
}

class DescriptorStream::Buffer : public std::streambuf {
public:
    explicit Buffer(FileDescriptor fd) : m_fd(std::move(fd)) {}

protected:
    int_type overflow(int_type c) override {
        if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
        const char byte = traits_type::to_char_type(c);
        return writeAll(m_fd.get(), std::string_view(&byte, 1)) ? c : traits_type::eof();
    }
    std::streamsize xsputn(const char* data, std::streamsize count) override {
        return writeAll(m_fd.get(), std::string_view(data, static_cast<std::size_t>(count))) ? count
                                                                                             : 0;
    }

private:
    FileDescriptor m_fd;
};

DescriptorStream::DescriptorStream(FileDescriptor fd)
    : std::ostream(nullptr), m_buffer(std::make_unique<Buffer>(std::move(fd))) {
    rdbuf(m_buffer.get());
}

DescriptorStream::~DescriptorStream() = default;

}  // namespace orvane::files
