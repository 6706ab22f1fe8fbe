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
    Sha256() : m_context(EVP_MD_CTX_new(), EVP_MD_CTX_free) {
        EVP_DigestInit_ex(m_context.get(), EVP_sha256(), nullptr);
    }
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
// the installer waits for the end.
class Download : public HttpStreamDelegate {
public:
    Download(int out, Sha256& sum, std::uint64_t maxBytes,
             const std::function<void(const ModelInstaller::Progress&)>& progress,
             const std::atomic<bool>* stop)
        : m_out(out), m_sum(sum), m_maxBytes(maxBytes), m_progress(progress), m_stop(stop) {}

    void didReceiveResponse(const HttpResponse& response) override {
        m_status = response.statusCode;
        m_reported.total = response.contentLength;
    }
    bool didReceiveData(std::string_view bytes) override {
        if (m_status != 200 || (m_stop && *m_stop)) return false;
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

    // The problem, or nothing when the whole body arrived.
    std::optional<std::string> wait(const std::string& url) {
        std::unique_lock lock(m_mutex);
        m_finished.wait(lock, [this] { return m_done; });
        if (m_writeFailed) return std::string(kWriteFailed);
        if (m_tooLarge) {
            return "The download is larger than any model (" + std::to_string(m_maxBytes) +
                   " bytes) and was stopped.";
        }
        if (m_stop && *m_stop) return std::string("The download was stopped.");
        if (m_status != 200 && m_status != 0) {
            return "The server answered " + std::to_string(m_status) + " for " + url + ".";
        }
        if (m_error) return "The download failed: " + *m_error + ".";
        if (m_reported.total && *m_reported.total != m_reported.bytes) {
            return std::string("The download ended early.");
        }
        return std::nullopt;
    }

private:
    int m_out;
    Sha256& m_sum;
    std::uint64_t m_maxBytes;
    const std::function<void(const ModelInstaller::Progress&)>& m_progress;
    const std::atomic<bool>* m_stop;
    int m_status = 0;
    ModelInstaller::Progress m_reported;
    bool m_writeFailed = false;
    bool m_tooLarge = false;
    std::mutex m_mutex;
    std::condition_variable m_finished;
    bool m_done = false;
    std::optional<std::string> m_error;
};

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
    {
        // A part file left behind is replaced; one planted as a link is removed, not followed.
        fs::remove(part, error);
        auto opened = files::createPrivate(part);
        if (const auto* problem = std::get_if<std::string>(&opened)) {
            return {std::nullopt, "", *problem};
        }
        auto out = std::move(std::get<files::FileDescriptor>(opened));
        Sha256 sum;
        std::optional<std::string> failed;
        if (download) {
            HttpRequest request;
            request.url = source;
            request.followRedirects = true;
            request.idleTimeoutSeconds = 60;
            request.totalTimeoutSeconds = 6 * 3600;
            auto delegate = std::make_shared<Download>(out.get(), sum, m_maxBytes, progress, stop);
            auto task = m_http.stream(request, delegate);
            failed = delegate->wait(source);
        } else {
            std::ifstream in(source, std::ios::binary);
            if (!in) {
                failed = "Cannot read " + source + ".";
            } else {
                Progress copied;
                copied.total = static_cast<std::uint64_t>(fs::file_size(source, error));
                std::vector<char> buffer(1 << 20);
                while (!failed && in) {
                    in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
                    const auto got = static_cast<std::size_t>(in.gcount());
                    if (got == 0) break;
                    if (copied.bytes + got > m_maxBytes) {
                        failed = source + " is larger than any model.";
                        break;
                    }
                    if (!files::writeAll(out.get(), std::string_view(buffer.data(), got))) {
                        failed = kWriteFailed;
                    }
                    sum.add(std::string_view(buffer.data(), got));
                    copied.bytes += got;
                    if (progress) progress(copied);
                    if (stop && *stop) failed = "The copy was stopped.";
                }
            }
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
            fs::remove(part, error);
            result.problem = *failed;
            return result;
        }
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
