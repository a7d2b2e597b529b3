#include "base/platform/SecureRandom.h"

#include <cerrno>
#include <cstring>
#include <stdexcept>

#ifdef _WIN32
#include <bcrypt.h>
#include <windows.h>
#else
#include <sys/random.h>
#endif

namespace tavrin {

std::string SecureRandomBytes(std::size_t count)
{
    std::string bytes(count, '\0');
#ifdef _WIN32
    const NTSTATUS status = BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()),
                                            static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG);
    if (status != 0)
        throw std::runtime_error("The system's random generator failed");
#else
    std::size_t filled = 0;
    while (filled < count) {
        const ssize_t got = getrandom(bytes.data() + filled, count - filled, 0);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            throw std::runtime_error(std::string("The system's random generator failed: ") + std::strerror(errno));
        }
        filled += static_cast<std::size_t>(got);
    }
#endif
    return bytes;
}

}  // namespace tavrin
