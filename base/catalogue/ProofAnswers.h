#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;

// A note the customer pinned to a point of a page, in master pixels.
struct TAnswerNote {
    std::int64_t X = 0;
    std::int64_t Y = 0;
    std::string Text;

    bool operator==(const TAnswerNote&) const = default;
};

// One customer's answer about one page of a proof, as the viewer sends it
// and the station keeps it. Every text is the customer's and is only ever
// shown as text or bound as a statement's parameter.
struct TProofAnswer {
    std::string Job;  // the job's web folder name the answer was sent for
    std::int32_t Page = 0;
    std::string Decision;  // "approve" or "changes"
    std::string Comment;
    std::string Name;
    std::string Email;
    std::string Fingerprint;  // the job fingerprint the customer saw; may be empty
    std::vector<TAnswerNote> Notes;
    std::string Time;    // when the web host stored it, "2026-12-10T09:30:00Z"; empty from mail
    std::string Source;  // "web" (the replies file) or "mail" (pasted by the operator)

    bool operator==(const TProofAnswer&) const = default;
};

// The answer as one JSON object in a fixed member order (job, page,
// decision, comment, name, email, fingerprint, notes, time), ASCII only.
std::string AnswerJson(const TProofAnswer& answer);

// What makes two answers the same one: SHA-256 of AnswerJson. The source is
// not part of it, so an answer that came both by the web and by mail counts once.
std::string AnswerIdentity(const TProofAnswer& answer);

// The notes as a JSON array of {"x":X,"y":Y,"text":T}, and back. Reading
// raises std::runtime_error for a text that is not such an array.
std::string NotesJson(const std::vector<TAnswerNote>& notes);
std::vector<TAnswerNote> NotesFromJson(const std::string& json);

// Adds the answers a job does not have yet (same identity) in one
// transaction, in the given order; returns how many were new. Raises the
// catalogue's error, and then adds none.
int AddProofAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                    const std::vector<TProofAnswer>& answers);

// A job's answers in the order they arrived; a row that cannot be what the
// station stored (no page, no decision, damaged notes) is left out.
std::vector<TProofAnswer> LoadProofAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference);

// Removes every answer of a job. Raises the catalogue's error.
void RemoveJobAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference);

}  // namespace tavrin
