#include "base/catalogue/ProofAnswers.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/catalogue/CatalogueTransaction.h"
#include "base/text/JsonText.h"
#include "base/text/SHA256Digest.h"

#include <charconv>
#include <set>
#include <stdexcept>

namespace tavrin {

namespace {

std::string JobCondition(std::uint32_t jobReference)
{
    return " where AnswerListJobReference = " + std::to_string(jobReference);
}

bool ParseWholeNumber(const std::string& text, std::int32_t& number)
{
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

std::set<std::string> StoredIdentities(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows, "select AnswerListDigest from AnswerList" + JobCondition(jobReference));
    std::set<std::string> identities;
    for (; !rows.Eof(); rows.MoveNext())
        identities.insert(FieldValue(rows, "AnswerListDigest"));
    CloseQuery(rows);
    return identities;
}

}  // namespace

std::string NotesJson(const std::vector<TAnswerNote>& notes)
{
    std::string json = "[";
    for (const TAnswerNote& note : notes) {
        if (json.size() > 1)
            json += ",";
        json += "{\"x\":" + std::to_string(note.X) + ",\"y\":" + std::to_string(note.Y) +
                ",\"text\":" + JsonQuoted(note.Text) + "}";
    }
    return json + "]";
}

std::vector<TAnswerNote> NotesFromJson(const std::string& json)
{
    const TJsonValue array = ReadJson(json, 3);
    if (array.Kind != TJsonValue::TKind::Array)
        throw std::runtime_error("the notes are not a list");
    std::vector<TAnswerNote> notes;
    for (const TJsonValue& item : array.Items) {
        const TJsonValue* x = item.Member("x");
        const TJsonValue* y = item.Member("y");
        const TJsonValue* text = item.Member("text");
        if (item.Members.size() != 3 || !x || !y || !text || !x->Integer || !y->Integer ||
            text->Kind != TJsonValue::TKind::Text)
            throw std::runtime_error("a note is not {x, y, text}");
        notes.push_back(TAnswerNote{*x->Integer, *y->Integer, text->Text});
    }
    return notes;
}

std::string AnswerJson(const TProofAnswer& answer)
{
    return "{\"job\":" + JsonQuoted(answer.Job) + ",\"page\":" + std::to_string(answer.Page) +
           ",\"decision\":" + JsonQuoted(answer.Decision) + ",\"comment\":" + JsonQuoted(answer.Comment) +
           ",\"name\":" + JsonQuoted(answer.Name) + ",\"email\":" + JsonQuoted(answer.Email) +
           ",\"fingerprint\":" + JsonQuoted(answer.Fingerprint) + ",\"notes\":" + NotesJson(answer.Notes) +
           ",\"time\":" + JsonQuoted(answer.Time) + "}";
}

std::string AnswerIdentity(const TProofAnswer& answer)
{
    return TextSHA256(AnswerJson(answer));
}

int AddProofAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference,
                    const std::vector<TProofAnswer>& answers)
{
    if (answers.empty())
        return 0;
    return InTransaction(catalogue, [&] {
        int added = 0;
        std::set<std::string> stored = StoredIdentities(catalogue, jobReference);
        for (const TProofAnswer& answer : answers) {
            const std::string identity = AnswerIdentity(answer);
            if (!stored.insert(identity).second)
                continue;
            ExecuteWithTexts(catalogue,
                             "insert into AnswerList (AnswerListJobReference, AnswerListPageNumber, "
                             "AnswerListDecision, AnswerListComment, AnswerListName, AnswerListEmail, "
                             "AnswerListFingerprint, AnswerListNotes, AnswerListTime, AnswerListJob, "
                             "AnswerListSource, AnswerListDigest) values (" +
                                 std::to_string(jobReference) + ", " + std::to_string(answer.Page) +
                                 ", ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)",
                             {answer.Decision, answer.Comment, answer.Name, answer.Email, answer.Fingerprint,
                              NotesJson(answer.Notes), answer.Time, answer.Job, answer.Source, identity});
            ++added;
        }
        return added;
    });
}

std::vector<TProofAnswer> LoadProofAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    TRecordSet rows;
    OpenQuery(catalogue, rows, "select * from AnswerList" + JobCondition(jobReference) + " order by AnswerListID");
    std::vector<TProofAnswer> answers;
    for (; !rows.Eof(); rows.MoveNext()) {
        TProofAnswer answer;
        answer.Decision = FieldValue(rows, "AnswerListDecision");
        if (!ParseWholeNumber(FieldValue(rows, "AnswerListPageNumber"), answer.Page) || answer.Page < 1 ||
            (answer.Decision != "approve" && answer.Decision != "changes"))
            continue;
        try {
            answer.Notes = NotesFromJson(FieldValue(rows, "AnswerListNotes"));
        } catch (const std::exception&) {
            continue;
        }
        answer.Comment = FieldValue(rows, "AnswerListComment");
        answer.Name = FieldValue(rows, "AnswerListName");
        answer.Email = FieldValue(rows, "AnswerListEmail");
        answer.Fingerprint = FieldValue(rows, "AnswerListFingerprint");
        answer.Time = FieldValue(rows, "AnswerListTime");
        answer.Job = FieldValue(rows, "AnswerListJob");
        answer.Source = FieldValue(rows, "AnswerListSource");
        answers.push_back(std::move(answer));
    }
    CloseQuery(rows);
    return answers;
}

void RemoveJobAnswers(TCatalogueConnection& catalogue, std::uint32_t jobReference)
{
    ExecuteStatement(catalogue, "delete from AnswerList" + JobCondition(jobReference));
}

}  // namespace tavrin
