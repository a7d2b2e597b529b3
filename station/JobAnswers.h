#pragma once

#include "base/catalogue/AnswerStatus.h"
#include "base/catalogue/ProofAnswers.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tavrin {

// A job's answers as the station shows them: against its current proof.
struct TJobAnswers {
    std::string Fingerprint;  // the job's current fingerprint; empty without one
    std::int32_t PageCount = 0;
    TAnswerSummary Summary;
    std::vector<TProofAnswer> Answers;  // in the order they arrived
    // The answers of earlier rounds that count for pages unchanged since,
    // those pages having no answer of their own about the current proof.
    TCarriedAnswers Carried;
};

// A job's stored answers and where it stands. Raises the catalogue's error.
TJobAnswers LoadJobAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// The answers as plain text lines, one per answer:
//   page 2 changes by Zoe Lang <zoe@example.com> at 2026-12-10T09:31:00Z, proof 2432e9d78a66 (earlier proof)
// ("(no such page now)" for a page past the job's pages),
// followed by its comment and notes, each indented:
//       comment: Move the logo
//       note at 1200, 340: too close to the edge
// then the carried answers that count, in page order, each marked with its
// round:
//   page 1 approve by Zoe Lang <zoe@example.com> at 2026-12-10T09:31:00Z, proof 2432e9d78a66 (round 1, unchanged)
// Control characters of a text are shown as "?": the lines are safe to print.
std::vector<std::string> AnswerLines(const TJobAnswers& answers);

// The same lines grouped for a list: each answer's first line with the page
// it is about, then its comment and each note, indented as above, a text of
// several lines in one item. A note's item holds the note, whose point
// (master pixels) it is about.
struct TAnswerItem {
    std::string Text;
    std::int32_t Page = 0;
    bool Heading = false;  // the answer's first line
    std::optional<TAnswerNote> Note;
};
std::vector<TAnswerItem> AnswerItems(const TJobAnswers& answers);

// What pasting a mail did.
struct TMailAnswers {
    int Added = 0;                    // answers new to the catalogue
    int Known = 0;                    // answers it had already
    std::vector<std::uint32_t> Jobs;  // the jobs that got answers
    // The blocks that were not taken: the first few each with its reason,
    // then one line with the count of the others. Empty when all were taken.
    std::vector<std::string> Problems;
};

// Reads the answer blocks of a pasted mail and adds each to the job whose
// web folder it names; a block for a folder that no catalogued job has is
// not taken. Raises the catalogue's error.
TMailAnswers AddMailAnswers(TCatalogueConnection& catalogue, const std::string& mailText);

}  // namespace tavrin
