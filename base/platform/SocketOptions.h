#pragma once

#include <cstdint>

namespace tavrin {

// Turns TCP keep-alives on for a connected socket with the given timing:
// the first probe after idleMilliseconds without traffic, then probes
// intervalMilliseconds apart; enabled is handed to the socket as the option
// value. Returns 0, or the system's error code when a request failed.
int SetSocketKeepAlive(std::intptr_t socketHandle, std::uint32_t enabled, int idleMilliseconds,
                       int intervalMilliseconds);

// Makes writing to a socket whose peer has gone an error of the write
// instead of a signal that ends the process. Process-wide; harmless to repeat.
void IgnoreBrokenPipeSignal();

}  // namespace tavrin
