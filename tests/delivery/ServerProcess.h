#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace tavrin::testing {

// A server program run by a test: started with its arguments, expected to
// write the port it listens on into a file, and always stopped (SIGTERM,
// then SIGKILL) when the object goes.
class TServerProcess {
public:
    // Starts the program and waits for the port file; raises std::runtime_error
    // when the program cannot be started or never writes the file.
    TServerProcess(const std::vector<std::string>& command, const std::filesystem::path& portFile,
                   std::chrono::seconds startTimeout = std::chrono::seconds(20));
    ~TServerProcess();
    TServerProcess(const TServerProcess&) = delete;
    TServerProcess& operator=(const TServerProcess&) = delete;

    int Port() const { return ListeningPort; }

    // Stops the program now; harmless when it has stopped already.
    void Stop();

private:
    int ProcessID = -1;
    int ListeningPort = 0;
};

// A folder under the system's temporary folder, removed with everything in it.
class TTemporaryFolder {
public:
    TTemporaryFolder();
    ~TTemporaryFolder();
    TTemporaryFolder(const TTemporaryFolder&) = delete;
    TTemporaryFolder& operator=(const TTemporaryFolder&) = delete;

    const std::filesystem::path& Path() const { return Folder; }

private:
    std::filesystem::path Folder;
};

// The bytes of a file; empty when it cannot be read.
std::string FileBytes(const std::filesystem::path& path);

// Writes the bytes, making the folders on the way.
void WriteBytes(const std::filesystem::path& path, const std::string& bytes);

// Bytes that do not compress or repeat, the same for the same seed.
std::string NoiseBytes(std::size_t count, unsigned seed);

}  // namespace tavrin::testing
