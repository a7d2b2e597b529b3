#pragma once

#include "tests/delivery/ServerProcess.h"
#include "tests/support/TreePaths.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin::testing {

// Starts tests/delivery/smtp_server.py on 127.0.0.1 with the given options:
// its command log in folder/"commands.log", the messages it accepts in
// folder/"mail".
inline std::unique_ptr<TServerProcess> StartSMTPServer(const TTemporaryFolder& folder,
                                                       const std::vector<std::string>& options = {})
{
    std::filesystem::remove(folder.Path() / "smtp-port");
    std::vector<std::string> command = {"/usr/bin/python3", SourcePath("tests/delivery/smtp_server.py"),
                                        "--port-file",      (folder.Path() / "smtp-port").string(),
                                        "--command-log",    (folder.Path() / "commands.log").string(),
                                        "--mail-dir",       (folder.Path() / "mail").string()};
    command.insert(command.end(), options.begin(), options.end());
    return std::make_unique<TServerProcess>(command, folder.Path() / "smtp-port");
}

// The messages the server saved, in the order it received them.
inline std::vector<std::filesystem::path> ReceivedMessages(const TTemporaryFolder& folder)
{
    std::vector<std::filesystem::path> messages;
    for (int number = 1;; ++number) {
        const auto path = folder.Path() / "mail" / (std::to_string(number) + ".eml");
        if (!std::filesystem::exists(path))
            return messages;
        messages.push_back(path);
    }
}

// The envelope recipients the server delivered a received message to, in order.
inline std::vector<std::string> EnvelopeRecipients(const std::filesystem::path& message)
{
    std::vector<std::string> recipients;
    std::istringstream lines(FileBytes(std::filesystem::path(message).replace_extension(".rcpt")));
    for (std::string line; std::getline(lines, line);)
        recipients.push_back(line);
    return recipients;
}

// tests/delivery/mail_summary.py's description of a received message; its
// binary parts are saved beside it as MESSAGE.part1, ...
inline std::string MailSummary(const std::filesystem::path& message)
{
    const std::string command =
        "/usr/bin/python3 " + SourcePath("tests/delivery/mail_summary.py") + " '" + message.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("Cannot run mail_summary.py");
    std::string summary;
    char buffer[4096];
    for (std::size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        summary.append(buffer, read);
    if (pclose(pipe) != 0)
        throw std::runtime_error("mail_summary.py failed on " + message.string());
    return summary;
}

// What tests/delivery/mail_facts.py reads in a received message, by the
// name of each fact ("message-id", "date", "tree", "html-cid", "image-id"),
// and its decoded text parts under "plain" and "html".
inline std::map<std::string, std::string> MailFacts(const std::filesystem::path& message)
{
    const std::string command =
        "/usr/bin/python3 " + SourcePath("tests/delivery/mail_facts.py") + " '" + message.string() + "'";
    FILE* pipe = popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("Cannot run mail_facts.py");
    std::string output;
    char buffer[4096];
    for (std::size_t read; (read = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, read);
    if (pclose(pipe) != 0)
        throw std::runtime_error("mail_facts.py failed on " + message.string());
    std::map<std::string, std::string> facts;
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);) {
        const std::size_t colon = line.find(": ");
        if (colon != std::string::npos)
            facts[line.substr(0, colon)] = line.substr(colon + 2);
    }
    for (const char* part : {"plain", "html"})
        if (std::filesystem::exists(message.string() + "." + part))
            facts[part] = FileBytes(message.string() + "." + part);
    return facts;
}

// The name this machine gives itself, which the client sends with "EHLO".
inline std::string LocalHostName()
{
    char name[256] = {};
    gethostname(name, sizeof name - 1);
    return name;
}

}  // namespace tavrin::testing
