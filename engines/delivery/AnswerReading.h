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

struct TAnswerReading {
    std::vector<TProofAnswer> Answers;
    // One line per part that was skipped: "line 3: page is not ...".
    std::vector<std::string> Skipped;
};

// The answers of a replies file, one per line, as the web host wrote them.
// A damaged line, or one for another job folder than jobFolder, is skipped
// with its reason; the others are read.
TAnswerReading ReadRepliesFile(const std::string& content, const std::string& jobFolder);

// The answers of a pasted mail: each block between "-----BEGIN TAVRIN
// ANSWER-----" and "-----END TAVRIN ANSWER-----". Line breaks and quote marks
// ("> ") that mail programs add inside a block are taken out first.
TAnswerReading ReadMailAnswers(const std::string& text);

}  // namespace tavrin
