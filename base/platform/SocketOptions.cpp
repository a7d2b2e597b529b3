#include "base/platform/SocketOptions.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <signal.h>
#include <sys/socket.h>

#include <cerrno>

namespace tavrin {

namespace {

// One option of the socket; 0 or the error code.
int SetOption(int socket, int level, int name, int value)
{
    return ::setsockopt(socket, level, name, &value, sizeof value) == 0 ? 0 : errno;
}

}  // namespace

int SetSocketKeepAlive(std::intptr_t socketHandle, std::uint32_t enabled, int idleMilliseconds,
                       int intervalMilliseconds)
{
    const int socket = static_cast<int>(socketHandle);
    // The system counts in whole seconds; a shorter time still means one.
    const int idleSeconds = idleMilliseconds < 1000 ? 1 : idleMilliseconds / 1000;
    const int intervalSeconds = intervalMilliseconds < 1000 ? 1 : intervalMilliseconds / 1000;
    if (int error = SetOption(socket, SOL_SOCKET, SO_KEEPALIVE, static_cast<int>(enabled)))
        return error;
    if (int error = SetOption(socket, IPPROTO_TCP, TCP_KEEPIDLE, idleSeconds))
        return error;
    return SetOption(socket, IPPROTO_TCP, TCP_KEEPINTVL, intervalSeconds);
}

void IgnoreBrokenPipeSignal()
{
    ::signal(SIGPIPE, SIG_IGN);
}

}  // namespace tavrin
