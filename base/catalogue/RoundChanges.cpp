#include "base/catalogue/RoundChanges.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"
#include "base/catalogue/PageRowTable.h"
#include "base/catalogue/RecordSet.h"
#include "base/text/JsonText.h"

#include <array>

namespace tavrin {

namespace {

const TPageRowTable RoundChangeList("RoundChangeList",
                                    "RoundChangeListEarlierJobReference, RoundChangeListState, RoundChangeListDetail");

constexpr std::array<const char*, 4> StateWords = {"same", "changed", "new", "removed"};
constexpr std::array<const char*, 3> PlateKindWords = {"changed", "new", "gone"};

std::string Number(std::uint64_t value)
{
    return std::to_string(value);
}

// What a row holds beside its page and state, as one JSON object: the
// plates, the whole-page changes and the area.
std::string DetailJson(const TPageComparison& page)
{
    std::string plates;
    for (const TPlateDifference& plate : page.Plates)
        plates += std::string(plates.empty() ? "" : ",") + "{\"name\":" + JsonQuoted(plate.ColorName) +
                  ",\"change\":\"" + PlateKindWords[static_cast<std::size_t>(plate.Kind)] +
                  "\",\"pixels\":" + Number(plate.Pixels) + "}";
    std::string json = "{\"plates\":[" + plates + "],\"bydigests\":" + (page.ByDigests ? "true" : "false");
    json += ",\"size\":[" + Number(page.OldWidth) + "," + Number(page.OldHeight) + "," + Number(page.NewWidth) + "," +
            Number(page.NewHeight) + "],\"sizechanged\":" + (page.SizeChanged ? "true" : "false");
    json += ",\"resolution\":[" + Number(page.OldXResolution) + "," + Number(page.OldYResolution) + "," +
            Number(page.NewXResolution) + "," + Number(page.NewYResolution) +
            "],\"resolutionchanged\":" + (page.ResolutionChanged ? "true" : "false");
    if (page.HasArea)
        json += ",\"area\":[" + Number(page.Left) + "," + Number(page.Top) + "," + Number(page.Right) + "," +
                Number(page.Bottom) + "]";
    return json + "}";
}

template <typename TNumber>
bool ReadNumber(const TJsonValue* value, TNumber& number)
{
    return value && value->Kind == TJsonValue::TKind::Number && ParseFieldNumber(value->Text, number);
}

bool ReadFlag(const TJsonValue& detail, const char* name, bool& flag)
{
    const TJsonValue* value = detail.Member(name);
    if (!value || value->Kind != TJsonValue::TKind::Boolean)
        return false;
    flag = value->Boolean;
    return true;
}

// Four numbers of an array member into a, b, c, d.
bool ReadFour(const TJsonValue& detail, const char* name, std::uint32_t& a, std::uint32_t& b, std::uint32_t& c,
              std::uint32_t& d)
{
    const TJsonValue* value = detail.Member(name);
    if (!value || value->Kind != TJsonValue::TKind::Array || value->Items.size() != 4)
        return false;
    return ReadNumber(&value->Items[0], a) && ReadNumber(&value->Items[1], b) && ReadNumber(&value->Items[2], c) &&
           ReadNumber(&value->Items[3], d);
}

template <std::size_t N>
bool WordIndex(const std::string& text, const std::array<const char*, N>& words, std::size_t& index)
{
    for (index = 0; index < N; ++index)
        if (text == words[index])
            return true;
    return false;
}

template <std::size_t N>
bool ReadWord(const TJsonValue* value, const std::array<const char*, N>& words, std::size_t& index)
{
    return value && value->Kind == TJsonValue::TKind::Text && WordIndex(value->Text, words, index);
}

bool ReadPlates(const TJsonValue& detail, std::vector<TPlateDifference>& plates)
{
    const TJsonValue* list = detail.Member("plates");
    if (!list || list->Kind != TJsonValue::TKind::Array)
        return false;
    for (const TJsonValue& item : list->Items) {
        TPlateDifference plate;
        std::size_t kind = 0;
        const TJsonValue* name = item.Member("name");
        if (!name || name->Kind != TJsonValue::TKind::Text || !ReadWord(item.Member("change"), PlateKindWords, kind) ||
            !ReadNumber(item.Member("pixels"), plate.Pixels))
            return false;
        plate.ColorName = name->Text;
        plate.Kind = static_cast<TPlateDifference::TKind>(kind);
        plates.push_back(std::move(plate));
    }
    return true;
}

// The page of one row; false for a row the station cannot have written.
bool ReadDetail(const std::string& json, TPageComparison& page)
{
    try {
        const TJsonValue detail = ReadJson(json);
        if (detail.Kind != TJsonValue::TKind::Object || !ReadPlates(detail, page.Plates) ||
            !ReadFlag(detail, "bydigests", page.ByDigests) || !ReadFlag(detail, "sizechanged", page.SizeChanged) ||
            !ReadFlag(detail, "resolutionchanged", page.ResolutionChanged) ||
            !ReadFour(detail, "size", page.OldWidth, page.OldHeight, page.NewWidth, page.NewHeight) ||
            !ReadFour(detail, "resolution", page.OldXResolution, page.OldYResolution, page.NewXResolution,
                      page.NewYResolution))
            return false;
        page.HasArea = detail.Member("area") != nullptr;
        return !page.HasArea || ReadFour(detail, "area", page.Left, page.Top, page.Right, page.Bottom);
    } catch (const EJsonError&) {
        return false;
    }
}

}  // namespace

void SaveRoundChanges(TCatalogueConnection& catalogue, std::uint32_t jobReference, std::uint32_t earlierReference,
                      const std::vector<TPageComparison>& pages)
{
    InTransaction(catalogue, [&] {
        RoundChangeList.RemoveJob(catalogue, jobReference);
        for (const TPageComparison& page : pages)
            RoundChangeList.ReplacePage(catalogue, jobReference, page.Page,
                                        {std::to_string(earlierReference) + ", " +
                                         QuoteText(StateWords[static_cast<std::size_t>(page.State)]) + ", " +
                                         QuoteText(DetailJson(page))});
    });
}

std::optional<TRoundChanges> LoadRoundChanges(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    RoundChangeList.OpenJobRows(catalogue, rows, jobReference);
    std::optional<TRoundChanges> changes;
    for (; !rows.Eof(); rows.MoveNext()) {
        TPageComparison page;
        std::uint32_t earlier = 0;
        std::size_t state = 0;
        if (!ParseFieldNumber(FieldValue(rows, "RoundChangeListPageNumber"), page.Page) ||
            !ParseFieldNumber(FieldValue(rows, "RoundChangeListEarlierJobReference"), earlier) ||
            !WordIndex(FieldValue(rows, "RoundChangeListState"), StateWords, state) ||
            !ReadDetail(FieldValue(rows, "RoundChangeListDetail"), page))
            continue;
        page.State = static_cast<TPageComparison::TState>(state);
        if (!changes)
            changes.emplace().EarlierReference = earlier;
        if (earlier == changes->EarlierReference)
            changes->Pages.push_back(std::move(page));
    }
    CloseQuery(rows);
    return changes;
}

void RemoveRoundChanges(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    RoundChangeList.RemoveJob(catalogue, jobReference);
}

}  // namespace tavrin
