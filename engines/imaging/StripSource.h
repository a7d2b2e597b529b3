#pragma once

#include <memory>

namespace tavrin {

struct TMasterStrip;

// The strips of a master handed out one after another, top to bottom.
class TStripSource {
public:
    virtual ~TStripSource() = default;
    // The next strip in order; null past the last one.
    virtual std::shared_ptr<const TMasterStrip> Next() = 0;
};

}  // namespace tavrin
