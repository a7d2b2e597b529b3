// Replies files and pasted mails of any content: read line by line and
// block by block. Every answer read must come back the same from the
// station's own form of it, and what is told of the skipped parts must be a
// few short lines without a control character; crashes, bad memory access,
// a mismatch and an unsafe or long report are faults.
#include "engines/delivery/AnswerReading.h"

#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

void CheckRoundTrip(const tavrin::TAnswerReading& reading)
{
    for (const tavrin::TProofAnswer& answer : reading.Answers)
        if (!(tavrin::ReadAnswer(tavrin::AnswerJson(answer), answer.Source) == answer))
            std::abort();
    const std::vector<std::string> told = tavrin::SkippedLines(reading);
    if (told.size() > tavrin::DescribedSkipsMax + 1 || (reading.SkippedCount > 0) != !told.empty())
        std::abort();
    for (const std::string& line : told) {
        if (line.size() > 2000)
            std::abort();
        for (const char c : line)
            if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F)
                std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckRoundTrip(tavrin::ReadRepliesFile(text, "20261210093000123"));
    CheckRoundTrip(tavrin::ReadMailAnswers(text));
    return 0;
}
