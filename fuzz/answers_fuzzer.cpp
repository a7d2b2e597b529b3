// Replies files and pasted mails of any content: read line by line and
// block by block. Every answer read must come back the same from the
// station's own form of it; crashes, bad memory access and a mismatch are faults.
#include "engines/delivery/AnswerReading.h"

#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void CheckRoundTrip(const tavrin::TAnswerReading& reading)
{
    for (const tavrin::TProofAnswer& answer : reading.Answers)
        if (!(tavrin::ReadAnswer(tavrin::AnswerJson(answer), answer.Source) == answer))
            std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CheckRoundTrip(tavrin::ReadRepliesFile(text, "20261210093000123"));
    CheckRoundTrip(tavrin::ReadMailAnswers(text));
    return 0;
}
