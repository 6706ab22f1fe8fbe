// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "PrivateFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>

#include "Crypto.h"

namespace orvane::backend {

namespace {

std::runtime_error failure(const std::filesystem::path& path, const std::string& what) {
    return std::runtime_error(path.string() + ": " + what);
}

// Closes the descriptor when it goes.
struct Descriptor {
    int fd;
    ~Descriptor() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

std::optional<std::string> readPrivateFile(const std::filesystem::path& path) {
    Descriptor file{::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC)};
    if (file.fd < 0) {
        if (errno == ENOENT) return std::nullopt;
        if (errno == ELOOP) throw failure(path, "is a symbolic link; a key file must be a file");
        throw failure(path, std::strerror(errno));
    }
    struct stat info {};
    if (::fstat(file.fd, &info) != 0) throw failure(path, std::strerror(errno));
    if (!S_ISREG(info.st_mode)) throw failure(path, "is not a plain file");
    if (info.st_uid != ::geteuid()) throw failure(path, "belongs to another user");
    if ((info.st_mode & 077) != 0) {
        char mode[8];
        std::snprintf(mode, sizeof mode, "%04o", static_cast<unsigned>(info.st_mode & 07777));
        throw failure(path, std::string("can be read or written by others (mode ") + mode +
                                "); make it private with chmod 600");
    }
    std::string text;
    char buffer[4096];
    for (ssize_t n; (n = ::read(file.fd, buffer, sizeof buffer)) != 0;) {
        if (n < 0) {
            if (errno == EINTR) continue;
            throw failure(path, std::strerror(errno));
        }
        text.append(buffer, static_cast<std::size_t>(n));
        if (text.size() > 1024 * 1024) throw failure(path, "is far too large for a key");
    }
    return text;
}

void writePrivateFile(const std::filesystem::path& path, const std::string& text) {
    auto temporary = path;
    temporary += ".new-" + hex(randomBytes(6));
    Descriptor file{
        ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600)};
    if (file.fd < 0) throw failure(temporary, std::strerror(errno));
    std::size_t written = 0;
    while (written < text.size()) {
        const auto n = ::write(file.fd, text.data() + written, text.size() - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const std::string error = std::strerror(errno);
            ::unlink(temporary.c_str());
            throw failure(temporary, error);
        }
        written += static_cast<std::size_t>(n);
    }
    if (::fsync(file.fd) != 0 || ::rename(temporary.c_str(), path.c_str()) != 0) {
        const std::string error = std::strerror(errno);
        ::unlink(temporary.c_str());
        throw failure(path, error);
    }
}

}  // namespace orvane::backend
