// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <streambuf>
#include <string>
#include <variant>

namespace orvane::files {

// Where this user's files go: $XDG_DATA_HOME, $XDG_CONFIG_HOME or $XDG_CACHE_HOME when absolute,
// else under $HOME. Nothing without either: shared places such as /tmp are never a fallback.
std::optional<std::filesystem::path> userDataHome();
std::optional<std::filesystem::path> userConfigHome();
std::optional<std::filesystem::path> userCacheHome();

// Makes the directory (and its parents) if need be and checks that only this user can change
// what is in it: a directory, not a link, owned by this user, writable by nobody else. Returns
// why not, as a sentence, or nothing when it is private.
std::optional<std::string> ensurePrivateDirectory(const std::filesystem::path& directory);

// A file descriptor that closes itself.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor();
    FileDescriptor(FileDescriptor&& other) noexcept : m_fd(other.release()) {}
    FileDescriptor& operator=(FileDescriptor&& other) noexcept;
    int get() const { return m_fd; }
    int release();
    explicit operator bool() const { return m_fd >= 0; }

private:
    int m_fd;
};

// Opens a file of this user's for writing from its start, made private (0600), without following
// a link and only when it is a regular file this user owns; a new one is made. Returns the
// descriptor, or why not as a sentence.
std::variant<FileDescriptor, std::string> openPrivateForWriting(const std::filesystem::path& path);
// Opens a file of this user's that exists, to read it and write on at its end (O_APPEND), made
// private, without following a link and only when it is a regular file this user owns.
std::variant<FileDescriptor, std::string> openPrivateToContinue(const std::filesystem::path& path);
// Makes a file that must not exist yet (O_EXCL, no link followed), private to this user.
std::variant<FileDescriptor, std::string> createPrivate(const std::filesystem::path& path);
// Writes all of the bytes; false when the disk refused.
bool writeAll(int fd, std::string_view bytes);
// Replaces what the file holds with the bytes, as openPrivateForWriting opens it. Returns why
// not as a sentence, or nothing once all of them are written.
std::optional<std::string> writePrivate(const std::filesystem::path& path, std::string_view bytes);

// An output stream onto a descriptor it owns.
class DescriptorStream : public std::ostream {
public:
    explicit DescriptorStream(FileDescriptor fd);
    ~DescriptorStream() override;

private:
    class Buffer;
    std::unique_ptr<Buffer> m_buffer;
};

}  // namespace orvane::files
