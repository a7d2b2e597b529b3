#include "engines/imaging/SharedStrips.h"

#include <algorithm>
#include <limits>

namespace tavrin {

TSharedStrips::TSharedStrips(TStripSource& decoded, unsigned passes)
    : Decoded(decoded), Position(passes, 0), Reading(passes, true)
{
    for (unsigned pass = 0; pass < passes; ++pass)
        Sources.push_back(std::make_unique<TPassSource>(*this, pass));
}

void TSharedStrips::Leave(unsigned pass)
{
    {
        std::lock_guard lock(Mutex);
        Reading[pass] = false;
        DropPassedStrips();
    }
    Changed.notify_all();
}

std::uint32_t TSharedStrips::SlowestReading() const
{
    std::uint32_t slowest = std::numeric_limits<std::uint32_t>::max();
    for (std::size_t pass = 0; pass < Position.size(); ++pass)
        if (Reading[pass])
            slowest = std::min(slowest, Position[pass]);
    return slowest;
}

// Strips every pass still reading has passed are the passes' own business.
void TSharedStrips::DropPassedStrips()
{
    const std::uint32_t slowest = SlowestReading();
    while (!Held.empty() && First < slowest) {
        Held.pop_front();
        ++First;
    }
}

std::shared_ptr<const TMasterStrip> TSharedStrips::Next(unsigned pass)
{
    std::unique_lock lock(Mutex);
    const std::uint32_t wanted = Position[pass];
    for (;;) {
        if (wanted < First + Held.size()) {
            auto strip = Held[wanted - First];
            ++Position[pass];
            DropPassedStrips();
            lock.unlock();
            Changed.notify_all();
            return strip;
        }
        if (Error)
            std::rethrow_exception(Error);
        if (DecodeEnded)
            return nullptr;
        // The slowest pass never waits here, so some pass always moves on.
        if (!Fetching && wanted < SlowestReading() + Lead) {
            Fetching = true;
            lock.unlock();
            std::shared_ptr<const TMasterStrip> strip;
            std::exception_ptr error;
            try {
                strip = Decoded.Next();
            } catch (...) {
                error = std::current_exception();
            }
            lock.lock();
            Fetching = false;
            if (error)
                Error = error;
            else if (strip)
                Held.push_back(std::move(strip));
            else
                DecodeEnded = true;
            Changed.notify_all();
            continue;
        }
        Changed.wait(lock);
    }
}

}  // namespace tavrin
