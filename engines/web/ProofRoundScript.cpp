#include "engines/web/ProofRoundScript.h"

#include "base/catalogue/OutputLayout.h"
#include "engines/web/DataScript.h"
#include "engines/web/TextEncoders.h"

#include <stdexcept>

namespace tavrin {

namespace {

std::string Numbers(std::initializer_list<std::uint32_t> values)
{
    std::string text = "[";
    for (const std::uint32_t value : values)
        text += (text.size() > 1 ? "," : "") + std::to_string(value);
    return text + "]";
}

const char* StateText(TPageComparison::TState state)
{
    switch (state) {
    case TPageComparison::TState::Same: return "same";
    case TPageComparison::TState::Changed: return "changed";
    case TPageComparison::TState::New: return "new";
    case TPageComparison::TState::Removed: return "removed";
    }
    return "same";
}

std::string PlateText(const TPlateDifference& plate, bool byDigests)
{
    std::string text = "{\"name\":" + JSONQuoted(plate.ColorName) + ",\"change\":";
    switch (plate.Kind) {
    case TPlateDifference::TKind::Changed: text += "\"changed\""; break;
    case TPlateDifference::TKind::New: text += "\"new\""; break;
    case TPlateDifference::TKind::Gone: text += "\"gone\""; break;
    }
    // The compare counts the pixels of a plate both rounds have, and only
    // when it looked at them.
    const bool counted = plate.Kind == TPlateDifference::TKind::Changed && !byDigests;
    return text + ",\"pixels\":" + (counted ? std::to_string(plate.Pixels) : "null") + "}";
}

std::string PageText(const TPageComparison& page, const TProofRoundData& round)
{
    std::string text = "{\"page\":" + std::to_string(page.Page) + ",\"state\":\"" + StateText(page.State) + "\"";
    if (page.State == TPageComparison::TState::Changed) {
        if (page.SizeChanged)
            text += ",\"size\":" + Numbers({page.OldWidth, page.OldHeight, page.NewWidth, page.NewHeight});
        if (page.ResolutionChanged)
            text += ",\"resolution\":" +
                    Numbers({page.OldXResolution, page.OldYResolution, page.NewXResolution, page.NewYResolution});
        text += ",\"plates\":[";
        for (std::size_t i = 0; i < page.Plates.size(); ++i)
            text += (i ? "," : "") + PlateText(page.Plates[i], page.ByDigests);
        text += "]";
        if (page.HasArea)
            text += ",\"area\":" + Numbers({page.Left, page.Top, page.Right, page.Bottom});
    }
    if (page.ByDigests)
        text += ",\"bydigests\":true";
    if (round.Mapped.count(page.Page))
        text += ",\"map\":true";
    if (page.State == TPageComparison::TState::Same)
        if (const auto carried = round.Carried.find(page.Page); carried != round.Carried.end())
            text += ",\"carried\":{\"round\":" + std::to_string(carried->second.Round) +
                    ",\"decision\":" + JSONQuoted(carried->second.Answer.Decision) +
                    ",\"name\":" + JSONQuoted(carried->second.Answer.Name) +
                    ",\"time\":" + JSONQuoted(carried->second.Answer.Time) + "}";
    return text + "}";
}

}  // namespace

std::string ProofRoundScript(const TProofRoundData& round)
{
    std::string script = "var proofround={\"round\":" + std::to_string(round.Round);
    if (round.Round > 1) {
        script += ",\"jobname\":" + JSONQuoted(round.JobName);
        if (round.Earlier)
            script += ",\"earlier\":{\"round\":" + std::to_string(round.Earlier->Round) +
                      ",\"directory\":" + JSONQuoted(round.Earlier->Directory) + "}";
        script += ",\"pages\":";
        if (round.Pages) {
            script += "[";
            for (std::size_t p = 0; p < round.Pages->size(); ++p)
                script += (p ? "," : "") + PageText((*round.Pages)[p], round);
            script += "]";
        } else {
            script += "null";
        }
    }
    // A line end as the pages have: the file travels as text.
    return script + "};\r\n";
}

void WriteProofRound(const std::string& fileName, const TProofRoundData& round)
{
    WriteDataScript(fileName, [&] { return ProofRoundScript(round); });
}

}  // namespace tavrin
