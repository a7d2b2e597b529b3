#pragma once

#include "base/catalogue/ProofFingerprint.h"

#include <string>

namespace tavrin {

// The proof's fingerprint for the viewer, beside the viewer page in the job
// folder: every answer the customer sends carries the job's.
constexpr const char* ProofPrintFileName = "proof.js";

// The file's one statement: "var proofprint=" and a JSON object
// {"job":"<hex or empty>","pages":[{"page":1,"fingerprint":"<hex>",
// "plates":[{"name":"Cyan","sha256":"<hex>"},...]},...]}, then ";" and CR LF.
// Names are JSON strings in ASCII (JSONQuoted).
std::string ProofPrintScript(const TProofFingerprint& proof);

// Writes the statement into fileName under its unfinished name and names it
// once whole. Raises std::runtime_error, leaving no unfinished file.
void WriteProofPrint(const std::string& fileName, const TProofFingerprint& proof);

}  // namespace tavrin
