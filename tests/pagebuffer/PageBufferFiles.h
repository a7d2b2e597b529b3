#pragma once

#include "tools/pgbwrite/PageBufferWriter.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tavrin::testing {

// A temporary folder for page buffer files, removed after each test.
class PageBufferFiles : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // Writes bytes as a file in the folder and returns its path.
    std::string Write(const std::string& name, const std::string& bytes);
    std::string Write(const std::string& name, const TPageBufferLayout& layout);

    // A compressed-7 layout with the given geometry and stored bands.
    static TPageBufferLayout Layout(int bytesInLine, int bytesInBand, std::vector<std::vector<std::uint8_t>> bands,
                                    int compressed = 7);

    std::filesystem::path Folder;
};

}  // namespace tavrin::testing
