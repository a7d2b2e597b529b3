#include "tests/delivery/DeliveryFixture.h"

#include <Poco/Net/ServerSocket.h>
#include <Poco/Net/SocketAddress.h>

#include <functional>
#include <optional>
#include <string>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace tavrin {
namespace {

using testing::FileBytes;
using testing::NoiseBytes;
using testing::WriteBytes;

// A session with the station's settings as they are now, keeping what it reports.
class TProbeSession {
public:
    explicit TProbeSession(TSettingsRecord settings)
        : Session(std::move(settings), {[this](const std::string& line) { Lines.push_back(line); },
                                        [this](const std::string& status) { Statuses.push_back(status); },
                                        [this](int percent) { Percents.push_back(percent); }})
    {
    }

    std::vector<std::string> Lines;
    std::vector<std::string> Statuses;
    std::vector<int> Percents;
    TWebHostSession Session;
};

// The reason the operation raised, or nothing when it did not.
std::optional<std::string> Raised(const std::function<void()>& operation)
{
    try {
        operation();
    } catch (const std::exception& error) {
        return std::string(error.what());
    }
    return std::nullopt;
}

class FTPSession : public testing::DeliveryFixture {
protected:
    int SocketOption(TWebHostSession& session, int level, int name) const
    {
        int value = -1;
        socklen_t size = sizeof value;
        EXPECT_EQ(getsockopt(static_cast<int>(session.Client().ControlSocketHandle()), level, name, &value, &size), 0);
        return value;
    }
};

TEST_F(FTPSession, LogsOnWithTheListedCommandsAndSetsKeepAlivesBeforeTheGreeting)
{
    StartServer();
    for (const bool keepAlives : {true, false}) {
        UseServer("", true, keepAlives);
        ClearCommands();
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
        EXPECT_EQ(session.RootPath(), "/");
        EXPECT_EQ(session.CurrentPath(), "/");
        EXPECT_EQ(Commands(), (std::vector<std::string>{"USER u", "PASS ***", "SYST", "PWD"}));
        EXPECT_EQ(SocketOption(session, SOL_SOCKET, SO_KEEPALIVE) != 0, keepAlives);
        if (keepAlives) {
            EXPECT_EQ(SocketOption(session, IPPROTO_TCP, TCP_KEEPIDLE), 300);
            EXPECT_EQ(SocketOption(session, IPPROTO_TCP, TCP_KEEPINTVL), 1);
        }

        session.Disconnect();
        EXPECT_EQ(session.RootPath(), "");
        EXPECT_EQ(session.CurrentPath(), "");
        EXPECT_FALSE(session.Connected());
        // The client's status texts are statuses, not log lines.
        EXPECT_TRUE(sessionProbe.Lines.empty());
        ASSERT_GE(sessionProbe.Statuses.size(), 3u);
        for (const std::string& status : sessionProbe.Statuses)
            EXPECT_FALSE(status.empty());
        EXPECT_TRUE(sessionProbe.Percents.empty());
    }
}

TEST_F(FTPSession, LogonFailuresLeaveTheReasonAndACloseSession)
{
    std::filesystem::create_directories(ServerRoot() / "www");
    const struct {
        const char* PwdTemplate;
        const char* InitialDirectory;
        const char* Password;
        bool Connects;
        const char* Root;  // or the beginning of the error text
    } cases[] = {
        {"/home/u{cwd}", "/www/", "secret", true, "/home/u/www/"},
        {"/srv/site", "/www/", "secret", false,
         "Could not find the initial directory, \"/www/\", in the current working directory retrieved from the "
         "server, \"/srv/site/\""},
        {"{cwd}", "/missing/", "secret", false, "550 "},
        {"{cwd}", "", "wrong", false, "530 "},
    };
    for (const auto& c : cases) {
        StartServer({"--pwd-template", c.PwdTemplate});
        UseServer(c.InitialDirectory);
        Settings.Update([&](TSettingsRecord& settings) { settings.FTPPassword = c.Password; });
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        const std::optional<std::string> failure = Raised([&] { session.Connect(); });
        EXPECT_EQ(!failure, c.Connects) << c.PwdTemplate << " " << failure.value_or("");
        if (!failure) {
            EXPECT_EQ(session.RootPath(), c.Root);
            EXPECT_EQ(CommandCount("CWD /www"), 1u);
        } else {
            EXPECT_EQ(failure->rfind(c.Root, 0), 0u) << *failure;
            EXPECT_FALSE(session.Client().Connected()) << "a failed logon must not leave a session behind";
            EXPECT_EQ(session.RootPath(), "");
        }
    }

    // Nobody listening: the reason comes from the socket.
    const int port = Server->Port();
    Server->Stop();
    Settings.Update([&](TSettingsRecord& settings) { settings.FTPServer = "127.0.0.1:" + std::to_string(port); });
    TProbeSession sessionProbe(Settings.Copy());
    TWebHostSession& session = sessionProbe.Session;
    const std::optional<std::string> failure = Raised([&] { session.Connect(); });
    ASSERT_TRUE(failure);
    EXPECT_FALSE(failure->empty());
}

TEST_F(FTPSession, ChangeRemoteDirectoryGoesUpToTheCommonPartAndMakesWhatIsMissing)
{
    std::filesystem::create_directories(ServerRoot() / "www/tavrin/images");
    StartServer();
    UseServer();
    TProbeSession sessionProbe(Settings.Copy());
    TWebHostSession& session = sessionProbe.Session;
    ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
    ASSERT_EQ(Raised([&] { session.ChangeDirectory("/www/tavrin/"); }), std::nullopt);

    const struct {
        const char* Wanted;
        std::vector<std::string> Commands;
    } walks[] = {
        {"/www/tavrin/J1/", {"CWD J1", "MKD J1", "CWD J1", "PWD"}},
        {"/www/tavrin/images/", {"CWD /www/tavrin", "PWD", "CWD images", "PWD"}},
        {"/www/", {"CWD /www", "PWD"}},
        {"/www/", {}},
        {"/other/deep/", {"CWD other", "MKD other", "CWD other", "PWD", "CWD deep", "MKD deep", "CWD deep", "PWD"}},
    };
    for (const auto& walk : walks) {
        ClearCommands();
        EXPECT_EQ(Raised([&] { session.ChangeDirectory(walk.Wanted); }), std::nullopt) << walk.Wanted;
        EXPECT_EQ(session.CurrentPath(), walk.Wanted);
        // The root has no shorter name than "/".
        auto expected = walk.Commands;
        if (std::string(walk.Wanted) == "/other/deep/")
            expected.insert(expected.begin(), {"CWD /", "PWD"});
        EXPECT_EQ(Commands(), expected) << walk.Wanted;
    }
    EXPECT_TRUE(std::filesystem::is_directory(ServerRoot() / "www/tavrin/J1"));
    EXPECT_TRUE(std::filesystem::is_directory(ServerRoot() / "other/deep"));

    EXPECT_EQ(Raised([&] { session.ChangeDirectory("www/tavrin/"); }),
              "Could not change directories. A full path is required.");
    session.Disconnect();
    EXPECT_EQ(Raised([&] { session.ChangeDirectory("/www/"); }),
              "Could not change directories. The current remote path is invalid.");

    // A server that reports a path that never holds the wanted one.
    StartServer({"--pwd-template", "/srv/site"});
    UseServer();
    TProbeSession fixedProbe(Settings.Copy());
    TWebHostSession& fixed = fixedProbe.Session;
    ASSERT_EQ(Raised([&] { fixed.Connect(); }), std::nullopt);
    EXPECT_EQ(Raised([&] { fixed.ChangeDirectory("/srv/site/x/"); }),
              "The current remote path, \"/srv/site/\", is not a subset of the desired remote path, \"/srv/site/x/\"");
}

TEST_F(FTPSession, SendsTextAsASCIIAndTheRestAsBinaryOverPASVOrPORTOnly)
{
    StartServer();
    const std::pair<const char*, std::string> files[] = {{"INDEX.HTML", "<html>\n<body>proof</body>\n</html>\n"},
                                                         {"logo.jpg", NoiseBytes(40000, 1)},
                                                         {"tile0-0001.tdb", NoiseBytes(1500000, 2)},
                                                         {"empty.txt", ""}};
    for (const auto& [name, bytes] : files)
        WriteBytes(Local(std::string("output/J/") + name), bytes);

    for (const bool passive : {true, false}) {
        UseServer("", passive);
        ClearCommands();
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
        const std::string remote = passive ? "/passive/" : "/active/";
        ASSERT_EQ(Raised([&] { session.ChangeDirectory(remote); }), std::nullopt);
        for (const auto& [name, bytes] : files) {
            sessionProbe.Percents.clear();
            ASSERT_EQ(Raised([&] { session.SendFile(Local("output/J").string(), remote, name); }), std::nullopt);
            EXPECT_EQ(FileBytes(ServerRoot() / remote.substr(1) / name), bytes) << name;

            // Progress: rounded percentages, each posted once, up to 100; none for an empty file.
            const std::vector<int>& percents = sessionProbe.Percents;
            if (bytes.empty()) {
                EXPECT_TRUE(percents.empty());
            } else if (bytes.size() > 300000) {
                ASSERT_GE(percents.size(), 2u) << name;
                EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
                EXPECT_EQ(std::adjacent_find(percents.begin(), percents.end()), percents.end());
                EXPECT_EQ(percents.back(), 100);
            }
        }
        const auto commands = Commands();
        const auto typeBefore = [&](const std::string& store) {
            const auto at = std::find(commands.begin(), commands.end(), "STOR " + store + ".part");
            EXPECT_NE(at, commands.end()) << store;
            const auto type = std::find_if(std::make_reverse_iterator(at), commands.rend(),
                                           [](const std::string& line) { return line.rfind("TYPE ", 0) == 0; });
            return type == commands.rend() ? std::string() : *type;
        };
        EXPECT_EQ(typeBefore("INDEX.HTML"), "TYPE A");
        EXPECT_EQ(typeBefore("logo.jpg"), "TYPE I");
        EXPECT_EQ(typeBefore("tile0-0001.tdb"), "TYPE I");
        EXPECT_EQ(typeBefore("empty.txt"), "TYPE A");
        // A server that accepts "EPSV" is never asked "PASV".
        for (const std::string& line : commands) {
            EXPECT_NE(line.rfind("EPRT", 0), 0u);
            EXPECT_NE(line.rfind("PASV", 0), 0u) << line;
            if (passive) {
                EXPECT_NE(line.rfind("PORT", 0), 0u) << line;
            }
        }
        EXPECT_EQ(CommandCount("EPSV"), passive ? 4u : 0u);
    }
}

TEST_F(FTPSession, RetrieveReadsAFileIntoMemoryUpToItsLimitAndTellsAMissingOne)
{
    StartServer();
    const std::string answers = "{\"page\":1}\n{\"page\":2}\n";
    const std::string large = NoiseBytes(3000000, 4);
    WriteBytes(ServerRoot() / "tavrin/J/replies.jsonl", answers);
    WriteBytes(ServerRoot() / "tavrin/J/large.jsonl", large);
    WriteBytes(ServerRoot() / "tavrin/J/empty.jsonl", "");
    for (const bool passive : {true, false}) {
        UseServer("", passive);
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
        session.Client().Command("TYPE", "I", {200});
        std::int64_t reported = 0;
        EXPECT_EQ(session.Client().Retrieve("/tavrin/J/replies.jsonl", 1 << 20, [&](std::int64_t n) { reported = n; }),
                  answers);
        EXPECT_EQ(reported, static_cast<std::int64_t>(answers.size()));
        EXPECT_EQ(session.Client().Retrieve("/tavrin/J/empty.jsonl", 1 << 20, nullptr), std::string());
        // 550: the job has no answers yet (or was never sent).
        EXPECT_EQ(session.Client().Retrieve("/tavrin/J/missing.jsonl", 1 << 20, nullptr), std::nullopt);
        EXPECT_EQ(session.Client().Retrieve("/tavrin/K/replies.jsonl", 1 << 20, nullptr), std::nullopt);
        // Exactly at the limit is whole; one byte more is refused, and the session goes on.
        EXPECT_EQ(session.Client().Retrieve("/tavrin/J/large.jsonl", large.size(), nullptr), large);
        EXPECT_THROW(session.Client().Retrieve("/tavrin/J/large.jsonl", large.size() - 1, nullptr), EFTPTooLarge);
        EXPECT_THROW(session.Client().Retrieve("/tavrin/J/large.jsonl", 1 << 20, nullptr), EFTPTooLarge);
        EXPECT_EQ(session.Client().Retrieve("/tavrin/J/replies.jsonl", 1 << 20, nullptr), answers);
        session.Disconnect();
    }
}

TEST_F(FTPSession, ARefusedStoreIsTriedThreeTimesWithAFreshLogonEachTime)
{
    StartServer({"--refuse-stor"});
    UseServer();
    WriteBytes(Local("output/J/index.html"), "<html></html>\n");
    TProbeSession sessionProbe(Settings.Copy());
    TWebHostSession& session = sessionProbe.Session;
    ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
    ASSERT_EQ(Raised([&] { session.ChangeDirectory("/tavrin/J/"); }), std::nullopt);
    EXPECT_EQ(Raised([&] { session.SendFile(Local("output/J/").string(), "/tavrin/J/", "index.html"); }),
              "550 Uploads are refused here.");
    EXPECT_EQ(sessionProbe.Lines, std::vector<std::string>(3, "550 Uploads are refused here."));
    EXPECT_EQ(CommandCount("STOR index.html.part"), 3u);
    EXPECT_EQ(CommandCount("USER u"), 3u);
}

// A file gets its real name only once whole, replacing the old one, whether
// the server renames onto an existing name or must have it deleted first;
// what a killed run left under the unfinished name is overwritten.
TEST_F(FTPSession, AFileIsStoredUnderItsUnfinishedNameAndRenamedWhenWhole)
{
    struct TCase {
        const char* Name;
        std::vector<std::string> ServerOptions;
        std::vector<std::string> Expected;  // the commands after the TYPE
    };
    const TCase cases[] = {
        {"a server that replaces",
         {},
         {"EPSV", "STOR tile0-0001.tdb.part", "RNFR tile0-0001.tdb.part", "RNTO tile0-0001.tdb"}},
        {"a server that will not rename onto a name",
         {"--refuse-rnto-existing"},
         {"EPSV", "STOR tile0-0001.tdb.part", "RNFR tile0-0001.tdb.part", "RNTO tile0-0001.tdb", "DELE tile0-0001.tdb",
          "RNFR tile0-0001.tdb.part", "RNTO tile0-0001.tdb"}},
    };
    const std::string bytes = NoiseBytes(300000, 5);
    WriteBytes(Local("output/J/tile0-0001.tdb"), bytes);
    for (const TCase& c : cases) {
        SCOPED_TRACE(c.Name);
        WriteBytes(ServerRoot() / "tavrin/J/tile0-0001.tdb", "the last round's tiles");
        WriteBytes(ServerRoot() / "tavrin/J/tile0-0001.tdb.part", "half a file from a run that was killed");
        StartServer(c.ServerOptions);
        UseServer();
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
        ASSERT_EQ(Raised([&] { session.ChangeDirectory("/tavrin/J/"); }), std::nullopt);
        ClearCommands();
        ASSERT_EQ(Raised([&] { session.SendFile(Local("output/J").string(), "/tavrin/J/", "tile0-0001.tdb"); }),
                  std::nullopt);

        EXPECT_TRUE(FileBytes(ServerRoot() / "tavrin/J/tile0-0001.tdb") == bytes);
        EXPECT_FALSE(std::filesystem::exists(ServerRoot() / "tavrin/J/tile0-0001.tdb.part"));
        auto commands = Commands();
        ASSERT_FALSE(commands.empty());
        EXPECT_EQ(commands.front(), "TYPE I");
        commands.erase(commands.begin());
        EXPECT_EQ(commands, c.Expected);
        EXPECT_TRUE(sessionProbe.Lines.empty());
    }

    // A rename that fails is a failed attempt, retried whole; the old file stays under its name.
    WriteBytes(ServerRoot() / "tavrin/J/tile0-0001.tdb", "the last round's tiles");
    StartServer({"--refuse-rnto-existing", "--refuse-dele", "tile0-0001.tdb"});
    UseServer();
    TProbeSession sessionProbe(Settings.Copy());
    TWebHostSession& session = sessionProbe.Session;
    ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
    ASSERT_EQ(Raised([&] { session.ChangeDirectory("/tavrin/J/"); }), std::nullopt);
    ClearCommands();
    EXPECT_EQ(Raised([&] { session.SendFile(Local("output/J").string(), "/tavrin/J/", "tile0-0001.tdb"); }),
              "553 The name is taken.");
    EXPECT_EQ(sessionProbe.Lines, std::vector<std::string>(3, "553 The name is taken."));
    EXPECT_EQ(CommandCount("STOR tile0-0001.tdb.part"), 3u);
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/J/tile0-0001.tdb"), "the last round's tiles");
}

// Once the server stopped answering, nothing waits for it again: not the
// next file, not the next log-on.
TEST_F(FTPSession, AServerThatStoppedAnsweringIsNotWaitedForAgain)
{
    const struct {
        const char* Name;
        std::vector<std::string> ServerOptions;
        bool LogsOn;
        std::string Reason;
    } cases[] = {
        {"a log-on that times out",
         {"--silent-at", "greeting"},
         false,
         "The FTP server sent no greeting within 1 s: timed out"},
        {"three attempts in a row that time out",
         {"--silent-at", "STOR"},
         true,
         "The FTP server did not answer STOR index.html.part within 1 s: timed out"},
    };
    WriteBytes(Local("output/J/index.html"), "<html></html>\n");
    const auto send = [&](TWebHostSession& session) {
        return Raised([&] { session.SendFile(Local("output/J").string(), "/tavrin/J/", "index.html"); });
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Name);
        StartServer(c.ServerOptions);
        LoadSettingsFile("FTPReplyTimeout=1\n");
        UseServer();
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        if (c.LogsOn) {
            ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
            EXPECT_EQ(send(session), c.Reason);
            EXPECT_EQ(sessionProbe.Lines, std::vector<std::string>(3, c.Reason));
            EXPECT_EQ(CommandCount("USER u"), 3u);
        } else {
            EXPECT_EQ(Raised([&] { session.Connect(); }), c.Reason);
        }
        ClearCommands();
        sessionProbe.Lines.clear();
        const std::string refusal = "not tried, the FTP server stopped answering (" + c.Reason + ")";
        EXPECT_EQ(Raised([&] { session.Connect(); }), refusal);
        EXPECT_EQ(send(session), refusal);
        EXPECT_TRUE(Commands().empty());
        EXPECT_TRUE(sessionProbe.Lines.empty()) << "a log-on that is not tried is no failed attempt";
    }
}

TEST_F(FTPSession, AConnectionDroppedInTheMiddleOfAFileIsReconnectedAndTheFileArrivesWhole)
{
    StartServer({"--drop-after", "1000000"});
    UseServer();
    const std::string bytes = NoiseBytes(4000000, 3);
    WriteBytes(Local("output/J/tile1-0001.tdb"), bytes);
    TProbeSession sessionProbe(Settings.Copy());
    TWebHostSession& session = sessionProbe.Session;
    ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
    ASSERT_EQ(Raised([&] { session.ChangeDirectory("/tavrin/J/"); }), std::nullopt);
    ASSERT_EQ(Raised([&] { session.SendFile(Local("output/J").string(), "/tavrin/J/", "tile1-0001.tdb"); }),
              std::nullopt);
    EXPECT_EQ(FileBytes(ServerRoot() / "tavrin/J/tile1-0001.tdb"), bytes);
    EXPECT_EQ(sessionProbe.Lines.size(), 1u) << "one failed attempt is one line";
    EXPECT_EQ(CommandCount("USER u"), 2u);
    EXPECT_EQ(session.CurrentPath(), "/tavrin/J/");
}

TEST_F(FTPSession, ANameWithALineBreakIsNeverSent)
{
    StartServer();
    UseServer();
    WriteBytes(ServerRoot() / "keep.txt", "kept");
    TProbeSession sessionProbe(Settings.Copy());
    TWebHostSession& session = sessionProbe.Session;
    ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
    ClearCommands();
    for (const char* name : {"x\r\nDELE keep.txt", "x\nDELE keep.txt"})
        EXPECT_THROW(session.Client().Command("CWD", name, {250}), EFTPError);
    EXPECT_TRUE(Commands().empty());
    EXPECT_EQ(FileBytes(ServerRoot() / "keep.txt"), "kept");
    // The session goes on.
    EXPECT_EQ(session.Client().PrintWorkingDirectory(), "/");
}

TEST_F(FTPSession, AReplyThatDoesNotEndClosesTheSessionWithinItsBounds)
{
    const struct {
        const char* Name;
        std::vector<std::string> Options;
        const char* Error;
    } cases[] = {
        {"greeting of 100000 lines", {"--flood", "greeting"}, "The FTP server's greeting ran past 200 lines"},
        {"greeting of one line of 4 MB",
         {"--flood", "greeting", "--flood-kind", "line"},
         "The FTP server's greeting ran past 65536 bytes"},
        {"greeting of a line every 0.1 s",
         {"--flood", "greeting", "--flood-kind", "drip", "--flood-lines", "150"},
         "The FTP server's greeting did not end within 1 s: timed out"},
        {"reply to USER of 100000 lines", {"--flood", "USER"}, "The FTP server's reply to USER ran past 200 lines"},
        {"reply to SYST of one line of 4 MB",
         {"--flood", "SYST", "--flood-kind", "line"},
         "The FTP server's reply to SYST ran past 65536 bytes"},
        {"reply to PWD of a line every 0.1 s",
         {"--flood", "PWD", "--flood-kind", "drip", "--flood-lines", "150"},
         "The FTP server's reply to PWD did not end within 1 s: timed out"},
    };
    for (const auto& c : cases) {
        StartServer(c.Options);
        LoadSettingsFile("FTPReplyTimeout=1\n");
        UseServer();
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        EXPECT_EQ(Raised([&] { session.Connect(); }), c.Error) << c.Name;
        // The server is not trusted any further: no session is left to it.
        EXPECT_FALSE(session.Client().Connected()) << c.Name;
        EXPECT_TRUE(session.Client().TimedOut()) << c.Name;
    }
}

TEST_F(FTPSession, ADownloadOrListingThatDripsIsAbandonedAtItsDeadline)
{
    // A byte every 0.2 s: the data connection never stalls, yet 60 bytes take 12 s.
    StartServer({"--drip", "0.2"});
    LoadSettingsFile("FTPReplyTimeout=2\nFTPStallTimeout=2\n");
    UseServer();
    WriteBytes(ServerRoot() / "tavrin/J/replies.jsonl", std::string(60, 'a'));
    for (int n = 0; n < 10; ++n)
        WriteBytes(ServerRoot() / "tavrin/K" / ("tile0-000" + std::to_string(n) + ".tdb"), "");
    std::int64_t received = 0;
    const auto download = [&](std::optional<std::chrono::milliseconds> deadline) {
        return [&received, deadline](TFTPClient& client) {
            client.Retrieve(
                "/tavrin/J/replies.jsonl", 1 << 20, [&](std::int64_t count) { received = count; }, deadline);
        };
    };
    const struct {
        const char* Name;
        std::function<void(TFTPClient&)> Call;
        const char* Error;
    } cases[] = {
        {"download with a deadline of 1 s", download(std::chrono::milliseconds(1000)),
         "The download of /tavrin/J/replies.jsonl took longer than 1 s: timed out"},
        // Without a deadline of the caller's, the reply time-out bounds the whole download.
        {"download without a deadline", download(std::nullopt),
         "The download of /tavrin/J/replies.jsonl took longer than 2 s: timed out"},
        {"listing", [](TFTPClient& client) { client.NameList("/tavrin/K"); },
         "The listing of /tavrin/K took longer than 2 s: timed out"},
    };
    for (const auto& c : cases) {
        TProbeSession sessionProbe(Settings.Copy());
        TWebHostSession& session = sessionProbe.Session;
        ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
        received = 0;
        try {
            c.Call(session.Client());
            ADD_FAILURE() << c.Name << " ended: " << c.Error;
        } catch (const EFTPTimeout& timeout) {
            EXPECT_EQ(std::string(timeout.what()), c.Error) << c.Name;
        }
        if (std::string(c.Name).rfind("download", 0) == 0) {
            EXPECT_GT(received, 0) << "bytes were moving: not a stall";
            EXPECT_LT(received, 60);
        }
        // Closed as after a stall: the next command says why.
        EXPECT_FALSE(session.Client().Connected()) << c.Name;
        EXPECT_TRUE(session.Client().TimedOut()) << c.Name;
        EXPECT_THROW(session.Client().Command("NOOP", "", {200}), EFTPError) << c.Name;
    }
}

TEST_F(FTPSession, DataConnectionsGoOnlyToTheHostOfTheControlConnection)
{
    // The server listens for data on a port of 127.0.0.1; its PASV replies
    // name 127.0.0.2, where a trap listens on the same port.
    Poco::Net::ServerSocket probe(Poco::Net::SocketAddress("127.0.0.1", 0));
    const std::uint16_t port = probe.address().port();
    probe.close();
    Poco::Net::ServerSocket trap(Poco::Net::SocketAddress("127.0.0.2", port));
    StartServer({"--refuse-epsv", "--pasv-address", "127.0.0.2", "--passive-port", std::to_string(port)});
    LoadSettingsFile("FTPReplyTimeout=2\nFTPStallTimeout=2\n");
    UseServer();
    const std::pair<const char*, std::string> files[] = {{"index.html", "<html></html>\n"},
                                                         {"tile0-0001.tdb", NoiseBytes(200000, 5)}};
    for (const auto& [name, bytes] : files)
        WriteBytes(Local(std::string("output/J/") + name), bytes);

    TProbeSession sessionProbe(Settings.Copy());
    TWebHostSession& session = sessionProbe.Session;
    ASSERT_EQ(Raised([&] { session.Connect(); }), std::nullopt);
    ASSERT_EQ(Raised([&] { session.ChangeDirectory("/tavrin/J/"); }), std::nullopt);
    ClearCommands();
    for (const auto& [name, bytes] : files) {
        EXPECT_EQ(Raised([&] { session.SendFile(Local("output/J").string(), "/tavrin/J/", name); }), std::nullopt);
        EXPECT_TRUE(FileBytes(ServerRoot() / "tavrin/J" / name) == bytes) << name << " did not arrive whole";
    }
    EXPECT_FALSE(trap.poll(Poco::Timespan(0), Poco::Net::Socket::SELECT_READ))
        << "a data connection went to the address of a PASV reply";
    // Refused once, "EPSV" is not asked again in the session.
    EXPECT_EQ(CommandCount("EPSV"), 1u);
    EXPECT_EQ(CommandCount("PASV"), 2u);
}

}  // namespace
}  // namespace tavrin
