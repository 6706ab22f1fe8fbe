// SPDX-FileCopyrightText: 2026 Orvane
// SPDX-License-Identifier: LicenseRef-Orvane-Proprietary
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QPainter>
#include <QPdfWriter>

#include <unistd.h>
#include <zip.h>

#include <fstream>

#include "adapters/documents/FileDocumentReader.h"

namespace orvane {
namespace {

using ::testing::HasSubstr;

namespace fs = std::filesystem;

void writeBytes(const fs::path& file, const std::string& bytes) {
    std::ofstream(file, std::ios::binary) << bytes;
}

void writePdf(const fs::path& file, const QString& text) {
    QPdfWriter writer(QString::fromStdString(file.string()));
    QPainter painter(&writer);
    if (text.isEmpty()) {
        painter.fillRect(QRect(100, 100, 2000, 1000), Qt::black);  // a scan: no text in it
    } else {
        painter.setFont(QFont("DejaVu Sans", 12));
        painter.drawText(QPointF(200, 400), text);
    }
}

void writeZip(const fs::path& file, const char* entry, const std::string& content) {
    int error = 0;
    auto* archive = zip_open(file.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
    ASSERT_NE(archive, nullptr);
    auto* source = zip_source_buffer(archive, content.data(), content.size(), 0);
    ASSERT_GE(zip_file_add(archive, entry, source, ZIP_FL_OVERWRITE), 0);
    ASSERT_EQ(zip_close(archive), 0);
}

std::string wordBody(const std::string& runs) {
    return R"(<?xml version="1.0" encoding="UTF-8" standalone="yes"?>)"
           R"(<w:document xmlns:w="http://schemas.openxmlformats.org/wordprocessingml/2006/main">)"
           "<w:body>" +
           runs + "</w:body></w:document>";
}

struct DocumentCase {
    const char* name;
    std::function<void(const fs::path&)> write;
    std::string text;     // what the text must hold
    std::string problem;  // or what the refusal must say
};

class Documents : public ::testing::TestWithParam<DocumentCase> {
protected:
    ~Documents() override { fs::remove_all(directory); }
    fs::path directory =
        fs::temp_directory_path() / ("orvane-documents-" + std::to_string(getpid()));
};

TEST_P(Documents, AreReadOrRefusedInAClearSentence) {
    fs::create_directories(directory);
    const auto file = directory / "cv.file";
    GetParam().write(file);
    const auto result = FileDocumentReader().read(file);
    if (GetParam().problem.empty()) {
        EXPECT_EQ(result.problem, "");
        EXPECT_THAT(result.text, HasSubstr(GetParam().text));
    } else {
        EXPECT_EQ(result.text, "");
        EXPECT_TRUE(result.problem.starts_with("cv.file ")) << result.problem;
        EXPECT_THAT(result.problem, HasSubstr(GetParam().problem));
    }
}

INSTANTIATE_TEST_SUITE_P(
    Files, Documents,
    ::testing::Values(
        DocumentCase{"pdf", [](auto& f) { writePdf(f, "Built Kafka pipelines at Acme"); },
                     "Built Kafka pipelines at Acme", ""},
        DocumentCase{"encryptedPdf",
                     [](auto& f) {
                         writePdf(f.string() + ".plain", "Secret CV");
                         const auto command = "qpdf --encrypt user owner 256 -- '" + f.string() +
                                              ".plain' '" + f.string() + "'";
                         ASSERT_EQ(std::system(command.c_str()), 0);
                     },
                     "", "protected by a password"},
        DocumentCase{"damagedPdf", [](auto& f) { writeBytes(f, "%PDF-1.7\n\x01\x02 not a pdf"); },
                     "", "cannot be read as a PDF"},
        DocumentCase{"scannedPdf", [](auto& f) { writePdf(f, ""); }, "", "has no text in it"},
        DocumentCase{"docx",
                     [](auto& f) {
                         writeZip(f, "word/document.xml",
                                  wordBody("<w:p><w:r><w:t>Led payments</w:t></w:r><w:r><w:t "
                                           "xml:space=\"preserve\"> &amp; fraud</w:t></w:r></w:p>"
                                           "<w:p><w:r><w:t>Go</w:t><w:tab/><w:t>Rust</w:t></w:r>"
                                           "</w:p>"));
                     },
                     "Led payments & fraud\nGo\tRust", ""},
        DocumentCase{"zipBomb",
                     [](auto& f) {
                         writeZip(f, "word/document.xml",
                                  wordBody("<w:p><w:r><w:t>" + std::string(17 << 20, ' ') +
                                           "</w:t></w:r></w:p>"));
                     },
                     "", "holds far more than a CV"},
        DocumentCase{"zipThatIsNoDocx", [](auto& f) { writeZip(f, "notes.txt", "hello"); }, "",
                     "not a Word document"},
        DocumentCase{"oldWord", [](auto& f) { writeBytes(f, "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"); },
                     "", "older or password-protected Word file"},
        DocumentCase{"huge", [](auto& f) { writeBytes(f, ""), fs::resize_file(f, 50 << 20); }, "",
                     "larger than 20 MB"},
        DocumentCase{"binary", [](auto& f) { writeBytes(f, std::string("ELF\0\0\x01", 6)); }, "",
                     "is not a PDF, DOCX, Markdown or text file"},
        DocumentCase{"markdown",
                     [](auto& f) { writeBytes(f, "\n# CV  \r\n\n\n\n- Go, caf\xE9\n"); },
                     "# CV\n\n- Go, caf\xEF\xBF\xBD", ""},
        DocumentCase{"empty", [](auto& f) { writeBytes(f, " \n\n"); }, "", "is empty"},
        DocumentCase{"directory", [](auto& f) { fs::create_directory(f); }, "",
                     "is not a file Orvane can read"}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace orvane
