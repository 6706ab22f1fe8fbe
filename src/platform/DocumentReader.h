// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include <filesystem>
#include <string>

namespace orvane {

// The text of a document the user chose to tell Orvane about (a CV, a job description): PDF,
// DOCX, plain text or Markdown.
class DocumentReader {
public:
    // The most of a document's text worth reading: far more than any answer is given.
    static constexpr std::size_t maxTextBytes = 256 * 1024;

    struct Result {
        std::string text;     // valid UTF-8, paragraphs on lines of their own
        std::string problem;  // why there is none, as a sentence; empty when read
    };

    virtual ~DocumentReader() = default;
    // Blocks while the file is read: never called on the main thread. A file that cannot be
    // read, is locked or is too large gives a problem, never a partial text that looks whole.
    virtual Result read(const std::filesystem::path& file) = 0;
};

}  // namespace orvane
