// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/whisper/ModelInstaller.h"

#include <openssl/evp.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <mutex>
#include <variant>

#include "adapters/std/PrivateFiles.h"
#include "adapters/whisper/WhisperModelFile.h"

namespace orvane {

namespace fs = std::filesystem;

namespace {

class Sha256 {
public:
    Sha256() : m_context(EVP_MD_CTX_new(), EVP_MD_CTX_free) { restart(); }
    void restart() { EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr); }
    void add(std::string_view bytes) {
        EVP_DigestUpdate(m_context.get(), bytes.data(), bytes.size());
    }
    std::string hex() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned int length = 0;
        EVP_DigestFinal_ex(m_context.get(), digest, &length);
        static constexpr char digits[] = "0123456789abcdef";
        std::string out;
        for (unsigned int i = 0; i < length; ++i) {
            out += digits[digest[i] >> 4];
            out += digits[digest[i] & 15];
        }
        return out;
    }

private:
    std::unique_ptr<EVP_MD_CTX, void (*)(EVP_MD_CTX*)> m_context;
};

constexpr const char* kWriteFailed = "Could not write the model to disk (is it full?).";

std::string lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

bool isSha256(const std::string& text) {
    return text.size() == 64 &&
           std::all_of(text.begin(), text.end(), [](unsigned char c) { return std::isxdigit(c); });
}

bool isUrl(const std::string& source) {
    return source.rfind("http://", 0) == 0 || source.rfind("https://", 0) == 0;
}

// The file name a model takes: the source's last part, kept to letters, digits and ".-_", so that
// nothing a server names can reach outside the models directory.
std::string modelName(const std::string& source) {
    auto name = source;
    if (isUrl(source)) {
        name = name.substr(0, name.find_first_of("?#"));
        name = name.substr(name.find_last_of('/') + 1);
    } else {
        name = fs::path(source).filename().string();
    }
    std::string safe;
    for (unsigned char c : name) {
        safe += std::isalnum(c) || c == '.' || c == '-' || c == '_' ? static_cast<char>(c) : '_';
    }
    while (!safe.empty() && safe.front() == '.') safe.erase(safe.begin());
    if (safe.empty()) safe = "model";
    if (safe.size() < 4 || safe.substr(safe.size() - 4) != ".bin") safe += ".bin";
    return safe;
}

// Writes what arrives to the part file and its sum as it goes, and stops past the largest model;
// the installer waits for the end. A part file already holding the start of the model is
// continued when the server sends the rest (206), and begun again when it sends it all (200).
class Download : public HttpStreamDelegate {
public:
    Download(int out, Sha256& sum, std::uint64_t resumeFrom, std::uint64_t maxBytes,
             const std::function<void(const ModelInstaller::Progress&)>& progress,
             const std::atomic<bool>* stop)
        : m_out(out), m_sum(sum), m_maxBytes(maxBytes), m_progress(progress), m_stop(stop) {
        m_reported.bytes = resumeFrom;
    }

    void didReceiveResponse(const HttpResponse& response) override {
        m_status = response.statusCode;
        // A part that starts anywhere but where the file ends would be written in the wrong
        // place: the download begins again instead.
        if (m_status == 206 && response.rangeStart != m_reported.bytes) {
            m_rangeMismatch = true;
        } else if (m_status == 206 && m_reported.bytes > 0) {
            if (response.contentLength) {
                m_reported.total = m_reported.bytes + *response.contentLength;
            }
        } else if (m_status == 200) {
            if (m_reported.bytes > 0 && ::ftruncate(m_out, 0) != 0) m_writeFailed = true;
            m_sum.restart();
            m_reported.bytes = 0;
            m_reported.total = response.contentLength;
        }
    }
    bool didReceiveData(std::string_view bytes) override {
        if (!(m_status == 200 || (m_status == 206 && m_reported.bytes > 0)) || m_rangeMismatch ||
            m_writeFailed || stopped()) {
            return false;
        }
        if ((m_reported.total && *m_reported.total > m_maxBytes) ||
            m_reported.bytes + bytes.size() > m_maxBytes) {
            m_tooLarge = true;
            return false;
        }
        if (!files::writeAll(m_out, bytes)) {
            m_writeFailed = true;
            return false;
        }
        m_sum.add(bytes);
        m_reported.bytes += bytes.size();
        if (m_progress) m_progress(m_reported);
        return true;
    }
    void didComplete(const std::optional<std::string>& error) override {
        std::lock_guard lock(m_mutex);
        m_error = error;
        m_done = true;
        m_finished.notify_all();
    }

    struct Outcome {
        std::optional<std::string> problem;  // nothing when the whole body arrived
        bool worthContinuing = false;        // the part file holds good bytes to go on from
        bool rangeRefused = false;           // the server cannot send the rest: begin again
    };
    // Waits for the end, or for the stop, which ends the transfer (between two writes, or while
    // the server is silent).
    Outcome wait(const std::string& url, HttpTask& task) {
        std::unique_lock lock(m_mutex);
        while (
            !m_finished.wait_for(lock, std::chrono::milliseconds(100), [this] { return m_done; })) {
            if (stopped()) break;
        }
        if (stopped()) {
            lock.unlock();
            task.cancel();  // once it returns, nothing more is written
            return {"The download was stopped.", true, false};
        }
        if (m_writeFailed) return {kWriteFailed, false, false};
        if (m_tooLarge) {
            return {"The download is larger than any model (" + std::to_string(m_maxBytes) +
                        " bytes) and was stopped.",
                    false, false};
        }
        if (m_status == 416 || m_rangeMismatch) {
            return {"The server cannot send the rest of the model.", false, true};
        }
        if (m_status != 200 && m_status != 206 && m_status != 0) {
            return {"The server answered " + std::to_string(m_status) + " for " + url + ".",
                    m_status >= 500, false};
        }
        if (m_error) {
            auto error = *m_error;
            if (!error.empty() && error.back() == '.') error.pop_back();
            return {"The download failed: " + error + ".", true, false};
        }
        if (m_reported.total && *m_reported.total != m_reported.bytes) {
            return {"The download ended early.", true, false};
        }
        return {};
    }

private:
    bool stopped() const { return m_stop && *m_stop; }

    int m_out;
    Sha256& m_sum;
    std::uint64_t m_maxBytes;
    const std::function<void(const ModelInstaller::Progress&)>& m_progress;
    const std::atomic<bool>* m_stop;
    int m_status = 0;
    ModelInstaller::Progress m_reported;
    bool m_writeFailed = false;
    bool m_tooLarge = false;
    bool m_rangeMismatch = false;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    std::optional<std::string> m_error;
};

// Opens a part file an earlier download left, adding what it holds to the sum; nothing when there
// is none fit to continue (then it is made anew).
std::optional<std::pair<files::FileDescriptor, std::uint64_t>> continuePart(
    const fs::path& part, Sha256& sum, std::uint64_t maxBytes) {
    std::error_code error;
    if (!fs::exists(fs::symlink_status(part, error))) return std::nullopt;
    auto opened = files::openPrivateToContinue(part);
    auto* fd = std::get_if<files::FileDescriptor>(&opened);
    if (!fd) return std::nullopt;
    std::vector<char> buffer(1 << 20);
    std::uint64_t size = 0;
    while (true) {
        const auto got = ::pread(fd->get(), buffer.data(), buffer.size(), static_cast<off_t>(size));
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) break;
        sum.add(std::string_view(buffer.data(), static_cast<std::size_t>(got)));
        size += static_cast<std::uint64_t>(got);
        if (size > maxBytes) return std::nullopt;
    }
    if (size == 0) return std::nullopt;
    return std::pair(std::move(*fd), size);
}

std::optional<std::string> copyFile(
    const std::string& source, int out, Sha256& sum,
    const std::function<void(const ModelInstaller::Progress&)>& progress,
    const std::atomic<bool>* stop, std::uint64_t maxBytes) {
    std::ifstream in(source, std::ios::binary);
    if (!in) return "Cannot read " + source + ".";
    std::error_code error;
    ModelInstaller::Progress copied;
    copied.total = static_cast<std::uint64_t>(fs::file_size(source, error));
    std::vector<char> buffer(1 << 20);
    while (in) {
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const auto got = static_cast<std::size_t>(in.gcount());
        if (got == 0) break;
        if (copied.bytes + got > maxBytes) return source + " is larger than any model.";
        if (!files::writeAll(out, std::string_view(buffer.data(), got))) return kWriteFailed;
        sum.add(std::string_view(buffer.data(), got));
        copied.bytes += got;
        if (progress) progress(copied);
        if (stop && *stop) return "The copy was stopped.";
    }
    return std::nullopt;
}

}  // namespace

std::optional<fs::path> ModelInstaller::defaultDirectory() {
    const auto data = files::userDataHome();
    if (!data) return std::nullopt;
    return *data / "orvane" / "models";
}

std::vector<fs::path> ModelInstaller::installedModels(const fs::path& directory) {
    std::vector<std::pair<fs::file_time_type, fs::path>> found;
    std::error_code error;
    for (const auto& entry : fs::directory_iterator(directory, error)) {
        const auto name = entry.path().filename().string();
        if (entry.is_regular_file(error) && name.front() != '.' &&
            entry.path().extension() == ".bin") {
            found.emplace_back(entry.last_write_time(error), entry.path());
        }
    }
    std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return a.first != b.first ? a.first > b.first : a.second < b.second;
    });
    std::vector<fs::path> models;
    for (auto& [time, path] : found) models.push_back(std::move(path));
    return models;
}

ModelInstaller::Result ModelInstaller::install(const std::string& source,
                                               const std::optional<std::string>& expectedSha256,
                                               const std::function<void(const Progress&)>& progress,
                                               const std::atomic<bool>* stop) {
    const bool download = isUrl(source);
    std::optional<std::string> expected;
    if (expectedSha256) {
        if (!isSha256(*expectedSha256)) {
            return {std::nullopt, "",
                    "A SHA-256 is 64 hexadecimal digits; \"" + *expectedSha256 + "\" is not one."};
        }
        expected = lowered(*expectedSha256);
    } else if (download) {
        return {std::nullopt, "",
                "A download needs the model's SHA-256 to be checked against: give it with "
                "--sha256 (the page the model is offered on lists it)."};
    }
    std::error_code error;
    if (m_directory.empty()) return {std::nullopt, "", noHomeMessage};
    if (const auto problem = files::ensurePrivateDirectory(m_directory)) {
        return {std::nullopt, "", *problem};
    }
    const auto name = modelName(source);
    const auto target = m_directory / name;
    const auto part = m_directory / ("." + name + ".part");
    Result result;
    // A download that begins again from nothing when the server cannot send the rest of one an
    // earlier try left.
    for (int attempt = 0; attempt < 2; ++attempt) {
        Sha256 sum;
        files::FileDescriptor out;
        std::uint64_t resumeFrom = 0;
        if (download && attempt == 0) {
            if (auto continued = continuePart(part, sum, m_maxBytes)) {
                out = std::move(continued->first);
                resumeFrom = continued->second;
            } else {
                sum.restart();
            }
        }
        if (!out) {
            // A part file left behind is replaced; one planted as a link is removed, not followed.
            fs::remove(part, error);
            auto opened = files::createPrivate(part);
            if (const auto* problem = std::get_if<std::string>(&opened)) {
                return {std::nullopt, "", *problem};
            }
            out = std::move(std::get<files::FileDescriptor>(opened));
        }
        std::optional<std::string> failed;
        bool keepPart = false;
        if (download) {
            HttpRequest request;
            request.url = source;
            request.followRedirects = true;
            request.idleTimeoutSeconds = 60;
            request.totalTimeoutSeconds = 6 * 3600;
            if (resumeFrom > 0) {
                request.headers.emplace_back("Range", "bytes=" + std::to_string(resumeFrom) + "-");
                if (progress) progress({resumeFrom, std::nullopt});
            }
            auto delegate =
                std::make_shared<Download>(out.get(), sum, resumeFrom, m_maxBytes, progress, stop);
            auto task = m_http.stream(request, delegate);
            const auto outcome = delegate->wait(source, *task);
            if (outcome.rangeRefused && attempt == 0) continue;
            failed = outcome.problem;
            keepPart = outcome.worthContinuing;
        } else {
            failed = copyFile(source, out.get(), sum, progress, stop, m_maxBytes);
        }
        result.sha256 = sum.hex();
        if (::close(out.release()) != 0 && !failed) failed = kWriteFailed;
        if (!failed && expected && result.sha256 != *expected) {
            failed = "The model's SHA-256 is " + result.sha256 + ", not " + *expected +
                     ": the file is damaged or not the one expected, and was not installed.";
        }
        if (!failed) {
            if (const auto check = checkWhisperModel(part.string()); !check) {
                failed = "This is not a model Orvane can use: " + check.problem;
            }
        }
        if (failed) {
            // What arrived of an interrupted download stays, to be continued by the next try.
            if (!keepPart || fs::file_size(part, error) == 0) fs::remove(part, error);
            result.problem = *failed;
            return result;
        }
        break;
    }
    fs::rename(part, target, error);
    if (error) {
        fs::remove(part, error);
        result.problem = "Cannot put the model in place as " + target.string() + ".";
        return result;
    }
    result.installed = target;
    return result;
}

}  // namespace orvane
