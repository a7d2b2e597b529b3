#pragma once

#include "base/catalogue/AnswerStatus.h"

#include <cstdint>

namespace tavrin {

class TCatalogueConnection;

// The answers a later round keeps from its earlier round: for every page the
// stored compare found pixel for pixel the same, the earlier round's latest
// answer about its current proof on that page, or, where it has none, the
// answer that round keeps itself (so a page unchanged since round 1 keeps
// round 1's answer in round 3). None for a first proof or a round whose
// proof was not built since it was linked. Raises the catalogue's error.
TCarriedAnswers LoadCarriedAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
