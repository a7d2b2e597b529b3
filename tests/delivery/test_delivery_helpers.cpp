#include "base/platform/SocketOptions.h"
#include "engines/delivery/FTPServerAddress.h"
#include "engines/delivery/RemotePaths.h"
#include "engines/delivery/TransferHelpers.h"

#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>
#include <vector>

namespace tavrin {
namespace {

TEST(DeliveryHelpers, ServerSettingMayNameAPort)
{
    const struct {
        const char* Setting;
        const char* Host;
        int Port;
    } cases[] = {{"ftp.example.com", "ftp.example.com", 21},
                 {"ftp.example.com:2121", "ftp.example.com", 2121},
                 {"127.0.0.1:65535", "127.0.0.1", 65535},
                 {"host:0", "host:0", 21},
                 {"host:65536", "host:65536", 21},
                 {"host:ftp", "host:ftp", 21},
                 {"host:", "host:", 21},
                 {":2121", ":2121", 21},
                 {"::1", "::1", 21},
                 {"[::1]:2121", "::1", 2121},
                 {"", "", 21}};
    for (const auto& c : cases) {
        const TFTPServerAddress address = ParseFTPServer(c.Setting);
        EXPECT_EQ(address.Host, c.Host) << c.Setting;
        EXPECT_EQ(address.Port, c.Port) << c.Setting;
    }
}

TEST(DeliveryHelpers, TextFilesAreKnownByTheirExtensionInAnyCase)
{
    for (const char* name : {"INDEX.HTML", "print.html", "a.htm", "x.PHP", "tavrin.js", "help.txt"})
        EXPECT_TRUE(IsTextTransferName(name)) << name;
    for (const char* name : {"logo.jpg", "tile0-0001.tdb", "overview-0001.png", "html", "a.json", "js", "a.txt.gz"})
        EXPECT_FALSE(IsTextTransferName(name)) << name;
}

// A walk between remote folders goes up to the folder both paths share,
// then down one name at a time.
TEST(DeliveryHelpers, ARemoteWalkGoesUpOnlyAsFarAsTheSharedFolder)
{
    const struct {
        const char* Wanted;
        const char* Current;
        const char* Common;
        std::vector<std::string> Down;
    } cases[] = {
        {"/www/tavrin/J1/", "/www/tavrin/", "/www/tavrin/", {"J1"}},
        {"/www/", "/www/tavrin/J1/", "/www/", {}},
        {"/www/tavrin/", "/www/tavrin/", "/www/tavrin/", {}},
        {"/www/tavrin/images/", "/www/tavrin/J1/", "/www/tavrin/", {"images"}},
        // Names that begin alike share no folder.
        {"/www/abc/", "/www/abd/", "/www/", {"abc"}},
        {"/www/tavrin/J10/", "/www/tavrin/J1/", "/www/tavrin/", {"J10"}},
        {"/other/deep/", "/www/tavrin/", "/", {"other", "deep"}},
        // Doubled slashes make no empty names.
        {"/a//b/", "/", "/", {"a", "b"}},
    };
    for (const auto& c : cases) {
        const std::string common = RemoteCommonPart(c.Wanted, c.Current);
        EXPECT_EQ(common, c.Common) << c.Wanted << " from " << c.Current;
        EXPECT_EQ(RemoteFolderNames(std::string(c.Wanted).substr(common.size())), c.Down)
            << c.Wanted << " from " << c.Current;
    }
}

TEST(SocketOptions, KeepAliveTimingReachesTheSocket)
{
    const int handle = ::socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(handle, 0);
    ASSERT_EQ(SetSocketKeepAlive(handle, 0xFFFFFFFFu, 300000, 1000), 0);
    int value = 0;
    socklen_t size = sizeof value;
    ASSERT_EQ(getsockopt(handle, SOL_SOCKET, SO_KEEPALIVE, &value, &size), 0);
    EXPECT_NE(value, 0);
    ASSERT_EQ(getsockopt(handle, IPPROTO_TCP, TCP_KEEPIDLE, &value, &size), 0);
    EXPECT_EQ(value, 300);
    ASSERT_EQ(getsockopt(handle, IPPROTO_TCP, TCP_KEEPINTVL, &value, &size), 0);
    EXPECT_EQ(value, 1);
    ::close(handle);

    // A request the system refuses gives its error code.
    EXPECT_EQ(SetSocketKeepAlive(-1, 0xFFFFFFFFu, 300000, 1000), EBADF);
}

}  // namespace
}  // namespace tavrin
