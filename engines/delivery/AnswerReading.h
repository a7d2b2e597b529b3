#pragma once

#include "base/catalogue/ProofAnswers.h"

#include <stdexcept>
#include <string>
#include <vector>

namespace tavrin {

// An answer that is not one the answer endpoint could have stored; the text
// says why ("page is not a whole number from 1 to 9999").
class EAnswerError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads one answer: a JSON object with exactly the members job, page,
// decision, comment, name, email, fingerprint, notes and time, each held to
// the endpoint's own rules (job folder name, page 1 to 9999, approve or
// changes, texts of bounded length without control characters, at most 20
// notes of {x, y, text}, a UTC time). Raises EAnswerError otherwise.
TProofAnswer ReadAnswer(const std::string& json, const std::string& source);

// A replies file or a mail comes from outside: however many of its parts
// are damaged, telling them takes a few lines. The first few are described,
// each with its reason and the start of its text (both made safe to print);
// the others are only counted.
constexpr std::size_t DescribedSkipsMax = 5;
constexpr std::size_t SkippedExcerptCharacters = 80;
constexpr std::size_t SkippedReasonCharacters = 160;

struct TAnswerReading {
    std::vector<TProofAnswer> Answers;
    // The first DescribedSkipsMax parts that were skipped, one line each:
    // "line 3: page is not a whole number from 1 to 9999; it reads {...".
    std::vector<std::string> Skipped;
    // Every part that was skipped, the described ones included.
    std::size_t SkippedCount = 0;
    // What the parts are called: "lines" or "answer blocks".
    std::string Parts;
};

// The skipped parts told in at most DescribedSkipsMax + 1 lines: those
// described, then, when more were skipped, "4995 more lines were skipped".
std::vector<std::string> SkippedLines(const TAnswerReading& reading);

// The answers of a replies file, one per line, as the web host wrote them.
// A damaged line, or one for another job folder than jobFolder, is skipped
// with its reason; the others are read.
TAnswerReading ReadRepliesFile(const std::string& content, const std::string& jobFolder);

// The answers of a pasted mail: each block between "-----BEGIN TAVRIN
// ANSWER-----" and "-----END TAVRIN ANSWER-----". Line breaks and quote marks
// ("> ") that mail programs add inside a block are taken out first.
TAnswerReading ReadMailAnswers(const std::string& text);

}  // namespace tavrin
