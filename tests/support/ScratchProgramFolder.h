#pragma once

#include "base/platform/ProgramPath.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace tavrin::testing {

// A temporary program folder for one test: ProgramFilePath answers
// folder/"tavrin" while it lives; the folder is removed afterwards.
class TScratchProgramFolder {
public:
    TScratchProgramFolder()
        : Folder(std::filesystem::temp_directory_path() /
                 ("tavrin-test-" + std::to_string(::getpid()) + "-" + std::to_string(std::random_device{}())))
    {
        std::filesystem::create_directories(Folder);
        OverrideProgramFilePath((Folder / "tavrin").string());
    }
    ~TScratchProgramFolder()
    {
        OverrideProgramFilePath("");
        std::error_code ignored;
        std::filesystem::remove_all(Folder, ignored);
    }
    TScratchProgramFolder(const TScratchProgramFolder&) = delete;
    TScratchProgramFolder& operator=(const TScratchProgramFolder&) = delete;

    std::filesystem::path Path(const std::string& name) const { return Folder / name; }

    void Write(const std::string& name, const std::string& text) const
    {
        std::ofstream(Path(name), std::ios::binary) << text;
    }

    std::string Read(const std::string& name) const
    {
        std::ifstream in(Path(name), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }

    // Copies a data file of the built program folder (TAVRIN_STATION_DIR) in.
    void CopyStationFile(const std::string& name) const
    {
        const char* station = std::getenv("TAVRIN_STATION_DIR");
        std::filesystem::copy_file(std::filesystem::path(station ? station : ".") / name, Path(name),
                                   std::filesystem::copy_options::overwrite_existing);
    }

private:
    std::filesystem::path Folder;
};

}  // namespace tavrin::testing
