// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include "adapters/documents/FileDocumentReader.h"

#include <QByteArray>
#include <QXmlStreamReader>

#include <poppler-document.h>
#include <poppler-global.h>
#include <poppler-page.h>
#include <zip.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <mutex>
#include <optional>

#include "protocol/Utf8.h"

namespace orvane {

namespace {

namespace fs = std::filesystem;
using Result = DocumentReader::Result;

constexpr std::size_t kSniffBytes = 1024;
// A DOCX's body this large is a zip bomb, not a CV.
constexpr zip_uint64_t kMaxBodyBytes = 16 * 1024 * 1024;

Result refused(const fs::path& file, const std::string& why) {
    return {{}, file.filename().string() + " " + why};
}

// Lines without trailing blanks, at most one empty line between paragraphs, nothing around.
std::string tidy(std::string_view raw) {
    std::string text;
    std::size_t blankLines = 0;
    std::size_t start = 0;
    while (start <= raw.size()) {
        auto end = raw.find_first_of("\n\f", start);
        if (end == std::string_view::npos) end = raw.size();
        auto line = raw.substr(start, end - start);
        while (!line.empty() && std::strchr(" \t\r\v", line.back())) line.remove_suffix(1);
        if (line.empty()) {
            ++blankLines;
        } else {
            if (!text.empty()) text += blankLines > 0 ? "\n\n" : "\n";
            text += line;
            blankLines = 0;
        }
        start = end + 1;
    }
    return utf8::sanitized(utf8::cut(text, DocumentReader::maxTextBytes));
}

Result withText(const fs::path& file, std::string_view raw, const char* emptyReason) {
    auto text = tidy(raw);
    if (text.empty()) return refused(file, emptyReason);
    return {std::move(text), {}};
}

Result readPdf(const fs::path& file) {
    // Poppler tells of every fault of a damaged file on stderr; the user gets one sentence.
    static std::once_flag quiet;
    std::call_once(quiet, [] {
        poppler::set_debug_error_function([](const std::string&, void*) {}, nullptr);
    });
    const std::unique_ptr<poppler::document> document(
        poppler::document::load_from_file(file.string()));
    if (!document) return refused(file, "cannot be read as a PDF: it may be damaged.");
    if (document->is_locked()) {
        return refused(file,
                       "is protected by a password: save a copy without one, or paste its text.");
    }
    std::string text;
    for (int i = 0; i < std::min(document->pages(), FileDocumentReader::maxPages) &&
                    text.size() < DocumentReader::maxTextBytes;
         ++i) {
        const std::unique_ptr<poppler::page> page(document->create_page(i));
        if (!page) continue;
        const auto bytes = page->text().to_utf8();
        text.append(bytes.begin(), bytes.end());
        text += '\n';
    }
    return withText(file, text, "has no text in it (a scanned page?): paste its text instead.");
}

// A Word document's words: the text runs of its body, its tabs and breaks, a line a paragraph.
std::optional<std::string> bodyText(const QByteArray& xml) {
    QXmlStreamReader reader(xml);
    std::string text;
    while (!reader.atEnd()) {
        reader.readNext();
        if (reader.isStartElement()) {
            const auto name = reader.name();
            if (name == QLatin1String("t")) {
                text += reader.readElementText().toStdString();
            } else if (name == QLatin1String("tab")) {
                text += '\t';
            } else if (name == QLatin1String("br") || name == QLatin1String("cr")) {
                text += '\n';
            }
        } else if (reader.isEndElement() && reader.name() == QLatin1String("p")) {
            text += '\n';
        }
    }
    if (reader.hasError()) return std::nullopt;
    return text;
}

Result readDocx(const fs::path& file) {
    int error = 0;
    const std::unique_ptr<zip_t, decltype(&zip_discard)> archive(
        zip_open(file.c_str(), ZIP_RDONLY, &error), &zip_discard);
    const auto damaged = [&] {
        return refused(file, "cannot be read as a DOCX: it may be damaged.");
    };
    if (!archive) return damaged();
    constexpr const char* body = "word/document.xml";
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat(archive.get(), body, 0, &stat) != 0) {
        return refused(file, "is a zip archive but not a Word document.");
    }
    if ((stat.valid & ZIP_STAT_SIZE) && stat.size > kMaxBodyBytes) {
        return refused(file, "holds far more than a CV: paste the part that matters instead.");
    }
    const std::unique_ptr<zip_file_t, decltype(&zip_fclose)> entry(
        zip_fopen(archive.get(), body, 0), &zip_fclose);
    if (!entry) return damaged();
    QByteArray xml;
    char chunk[64 * 1024];
    // The size in the directory can lie; what inflates is what counts.
    for (zip_int64_t got; (got = zip_fread(entry.get(), chunk, sizeof chunk)) != 0;) {
        if (got < 0) return damaged();
        xml.append(chunk, static_cast<qsizetype>(got));
        if (static_cast<zip_uint64_t>(xml.size()) > kMaxBodyBytes) {
            return refused(file, "holds far more than a CV: paste the part that matters instead.");
        }
    }
    const auto text = bodyText(xml);
    if (!text) return damaged();
    return withText(file, *text, "has no text in it: paste its text instead.");
}

Result readText(const fs::path& file, std::string_view bytes) {
    if (bytes.find('\0') != std::string_view::npos) {
        return refused(file, "is not a PDF, DOCX, Markdown or text file.");
    }
    return withText(file, bytes, "is empty.");
}

}  // namespace

DocumentReader::Result FileDocumentReader::read(const fs::path& file) {
    std::error_code error;
    const auto status = fs::status(file, error);
    if (error || !fs::is_regular_file(status))
        return refused(file, "is not a file Orvane can read.");
    const auto size = fs::file_size(file, error);
    if (error) return refused(file, "cannot be read.");
    if (size > maxFileBytes) {
        return refused(file, "is larger than 20 MB: choose a smaller file, or paste its text.");
    }
    std::ifstream in(file, std::ios::binary);
    const std::string bytes((std::istreambuf_iterator<char>(in)), {});
    if (!in.good() && !in.eof()) return refused(file, "cannot be read.");
    const std::string_view head = std::string_view(bytes).substr(0, kSniffBytes);
    if (head.find("%PDF-") != std::string_view::npos) return readPdf(file);
    if (head.starts_with("PK\x03\x04")) return readDocx(file);
    if (head.starts_with("\xD0\xCF\x11\xE0")) {
        return refused(file,
                       "is an older or password-protected Word file: save it as DOCX without a "
                       "password, or paste its text.");
    }
    return readText(file, bytes);
}

}  // namespace orvane
