#pragma once

#include "engines/imaging/StripSource.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <memory>
#include <mutex>
#include <vector>

namespace tavrin {

// One decode of a master's strips shared by several passes, each of which
// reads every strip in order through a source of its own. A strip is taken
// from the decode only for a pass less than Lead strips beyond the slowest
// pass still reading (with a Lead of 1 the passes read in step), so the
// strips held stay few whatever the passes' speeds. Every pass must read on
// a thread of its own, and must Leave once it stops reading (done or
// failed), or the others wait for it.
class TSharedStrips {
public:
    static constexpr std::uint32_t Lead = 1;

    // decoded: the one decode, strips in order from strip 0.
    TSharedStrips(TStripSource& decoded, unsigned passes);
    TSharedStrips(const TSharedStrips&) = delete;
    TSharedStrips& operator=(const TSharedStrips&) = delete;

    // The source of pass number pass (0 .. passes - 1).
    TStripSource& Pass(unsigned pass) { return *Sources[pass]; }
    // The pass reads no more: it no longer holds the others back.
    void Leave(unsigned pass);

private:
    class TPassSource : public TStripSource {
    public:
        TPassSource(TSharedStrips& owner, unsigned pass) : Owner(owner), Number(pass) {}
        std::shared_ptr<const TMasterStrip> Next() override { return Owner.Next(Number); }

    private:
        TSharedStrips& Owner;
        const unsigned Number;
    };

    std::shared_ptr<const TMasterStrip> Next(unsigned pass);
    std::uint32_t SlowestReading() const;
    void DropPassedStrips();

    TStripSource& Decoded;
    std::vector<std::unique_ptr<TPassSource>> Sources;

    std::mutex Mutex;
    std::condition_variable Changed;
    std::vector<std::uint32_t> Position;  // per pass, the strip it reads next
    std::vector<bool> Reading;
    std::deque<std::shared_ptr<const TMasterStrip>> Held;  // strips First, First + 1, ...
    std::uint32_t First = 0;
    bool Fetching = false;  // a pass is taking the next strip from the decode
    bool DecodeEnded = false;
    std::exception_ptr Error;
};

}  // namespace tavrin
