// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#pragma once

#include "platform/DocumentReader.h"

namespace orvane {

// Reads a PDF with poppler, a DOCX's body with libzip, and anything else as UTF-8 text, telling
// them apart by their first bytes rather than their names.
class FileDocumentReader : public DocumentReader {
public:
    // Larger files are refused unread: no CV or job description comes near.
    static constexpr std::uintmax_t maxFileBytes = 20 * 1024 * 1024;
    // Pages past these are not read: a CV has two or three.
    static constexpr int maxPages = 50;

    Result read(const std::filesystem::path& file) override;
};

}  // namespace orvane
