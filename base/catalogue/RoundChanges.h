#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

struct TPlateDifference {
    enum class TKind { Changed, New, Gone };
    std::string ColorName;
    TKind Kind = TKind::Changed;
    std::uint64_t Pixels = 0;  // whose inked state differs; 0 when compared by digests
};

// What changed on one page between two rounds.
struct TPageComparison {
    enum class TState { Same, Changed, New, Removed };
    int Page = 0;
    TState State = TState::Same;
    // Another size or resolution: the page is changed as a whole.
    bool SizeChanged = false;
    bool ResolutionChanged = false;
    std::uint32_t OldWidth = 0, OldHeight = 0, NewWidth = 0, NewHeight = 0;
    std::uint32_t OldXResolution = 0, OldYResolution = 0, NewXResolution = 0, NewYResolution = 0;
    // The newer round's plates in index-bit order, then the plates gone
    // from the earlier one in its index-bit order; only those that differ.
    std::vector<TPlateDifference> Plates;
    // Compared by the recorded digests because a master no longer exists:
    // which plates changed is known, where is not.
    bool ByDigests = false;
    // The rectangle holding every changed pixel of a plate in both rounds,
    // in master pixels, both corners inside; only when pixels were compared
    // and some differ.
    bool HasArea = false;
    std::uint32_t Left = 0, Top = 0, Right = 0, Bottom = 0;
};

// The compare of a later round with its earlier one, as the Web task made it
// when it built the later round's proof: what the mail, the answers and the
// window go by, without decoding both rounds' masters again.
struct TRoundChanges {
    std::uint32_t EarlierReference = 0;
    std::vector<TPageComparison> Pages;  // in page order
};

// Replaces the stored compare of a job with these pages, in one transaction.
// Raises the catalogue's error; the old rows then stay.
void SaveRoundChanges(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::uint32_t earlierReference,
                      const std::vector<TPageComparison>& pages);

// The job's stored compare; none when it has never been compared (a first
// proof, or a later round whose proof was not built since it was linked).
// A row that cannot be what was stored is left out. Raises the catalogue's
// error.
std::optional<TRoundChanges> LoadRoundChanges(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// Removes a job's stored compare. Raises the catalogue's error.
void RemoveRoundChanges(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
