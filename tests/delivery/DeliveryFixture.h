#pragma once

#include "base/platform/MessageQueue.h"
#include "base/settings/SettingsFile.h"
#include "base/tasking/TaskThread.h"
#include "engines/delivery/WebHostSession.h"
#include "tests/catalogue/CatalogueFixture.h"
#include "tests/delivery/ServerProcess.h"
#include "tests/support/TreePaths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

namespace tavrin::testing {

// What a task posted: log lines with their progress, and the completion.
struct TPostedMessages final : TMessageHandler {
    std::vector<std::pair<std::string, int>> Log;      // WM_TOTAL_PROGRESS
    std::vector<std::pair<std::string, int>> TaskLog;  // WM_TASK_PROGRESS
    std::vector<TTaskMessage> Completions;

    void HandleMessage(TTaskMessage message) override
    {
        if (message.IsCompletion()) {
            TWorkerThread::Release(message.Thread);
            message.Thread = nullptr;
            Completions.push_back(std::move(message));
            return;
        }
        auto& lines = message.Number == WM_TOTAL_PROGRESS ? Log : TaskLog;
        lines.emplace_back(message.Text.value_or(""), message.Position);
    }

    // The log texts, in order.
    std::vector<std::string> LogTexts() const
    {
        std::vector<std::string> texts;
        for (const auto& line : Log)
            texts.push_back(line.first);
        return texts;
    }

    // The log lines whose text begins with the prefix.
    std::vector<std::pair<std::string, int>> LogStartingWith(const std::string& prefix) const
    {
        std::vector<std::pair<std::string, int>> lines;
        for (const auto& line : Log)
            if (line.first.rfind(prefix, 0) == 0)
                lines.push_back(line);
        return lines;
    }
};

// Starts tests/delivery/ftp_server.py serving folder/"root" to user "u"
// (password "secret"), its command log in folder/"commands.log".
inline std::unique_ptr<TServerProcess> StartScriptedFTPServer(const TTemporaryFolder& folder,
                                                              const std::vector<std::string>& options = {})
{
    std::filesystem::create_directories(folder.Path() / "root");
    std::filesystem::remove(folder.Path() / "port");
    std::vector<std::string> command = {"/usr/bin/python3", SourcePath("tests/delivery/ftp_server.py"),
                                        "--root",           (folder.Path() / "root").string(),
                                        "--port-file",      (folder.Path() / "port").string(),
                                        "--command-log",    (folder.Path() / "commands.log").string()};
    command.insert(command.end(), options.begin(), options.end());
    return std::make_unique<TServerProcess>(command, folder.Path() / "port");
}

// A scratch program folder with a catalogue, and the scripted FTP server
// (tests/delivery/ftp_server.py) on 127.0.0.1 serving a temporary folder.
class DeliveryFixture : public CatalogueFixture {
protected:
    // Starts the server with the given options of ftp_server.py.
    void StartServer(const std::vector<std::string>& options = {})
    {
        Server.reset();
        Server = StartScriptedFTPServer(Temporary, options);
    }

    // Points the station's FTP settings at the server.
    void UseServer(const std::string& initialDirectory = "", bool passive = true, bool keepAlives = true)
    {
        Settings.Update([&](TSettingsRecord& settings) {
            settings.FTPServer = "127.0.0.1:" + std::to_string(Server->Port());
            settings.FTPUserName = "u";
            settings.FTPPassword = "secret";
            settings.FTPInitialDirectory = initialDirectory;
            settings.FTPPassiveMode = passive;
            settings.FTPUseKeepAlives = keepAlives;
        });
    }

    // The station's settings as read from a settings file of these lines
    // (time-outs, say); the servers are set with UseServer afterwards.
    void LoadSettingsFile(const std::string& lines)
    {
        Folder.Write("tavrin.ini", "[Main]\n" + lines);
        TSettingsRecord settings;
        LoadSettings(settings);
        Settings.Assign(settings);
    }

    // The commands the server received so far, one per line.
    std::vector<std::string> Commands() const
    {
        std::vector<std::string> lines;
        std::istringstream log(FileBytes(CommandLogPath()));
        for (std::string line; std::getline(log, line);)
            lines.push_back(line);
        return lines;
    }

    // Forgets the commands received so far.
    void ClearCommands() const { std::filesystem::remove(CommandLogPath()); }

    std::size_t CommandCount(const std::string& command) const
    {
        const auto lines = Commands();
        return static_cast<std::size_t>(std::count(lines.begin(), lines.end(), command));
    }

    // Adds a catalogued job with its unique id and secret (none: a job
    // catalogued before jobs had secrets).
    void AddJob(int reference, const std::string& uniqueID, const std::string& secret = "")
    {
        Run("insert into JobList (JobListReference, JobListUniqueID, JobListName, JobListPageCount, JobListSecret) "
            "values (" +
            std::to_string(reference) + ", " + QuoteText(uniqueID) + ", \"Leaflet\", 1, " +
            (secret.empty() ? std::string("NULL") : QuoteText(secret)) + ")");
    }

    // Starts the task and gathers its messages until its completion.
    TPostedMessages RunTask(TWorkerThread* task)
    {
        task->Start();
        TPostedMessages posted;
        const bool done = Messages.PumpUntil(
            posted, [&] { return !posted.Completions.empty(); }, std::chrono::seconds(120));
        EXPECT_TRUE(done) << "the task posted no completion";
        return posted;
    }

    // A file of the program folder's output folder, shared folders and so on.
    std::filesystem::path Local(const std::string& relative) const { return Folder.Path(relative); }
    std::filesystem::path ServerRoot() const { return Temporary.Path() / "root"; }
    std::filesystem::path CommandLogPath() const { return Temporary.Path() / "commands.log"; }

    TTemporaryFolder Temporary;
    std::unique_ptr<TServerProcess> Server;
    TMessageQueue Messages;
};

}  // namespace tavrin::testing
