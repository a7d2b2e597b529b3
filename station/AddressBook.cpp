#include "station/AddressBook.h"

#include "base/catalogue/CatalogueAccess.h"
#include "base/text/TextRules.h"
#include "engines/delivery/MailAddress.h"
#include "station/OperatorDialogs.h"

#include <algorithm>

namespace tavrin {

int TAddressBook::Reload(const std::string& emailField)
{
    Contacts.clear();
    // Only the two known column names ever reach the statement.
    const std::string column = SortColumn == "AddressListEmail" ? "AddressListEmail" : "AddressListName";
    TRecordSet rows;
    // "anna@" and "Bert@" belong together however they were typed.
    OpenQuery(Catalogue, rows,
              "select * from AddressList order by " + column + " collate nocase asc, AddressListID asc");
    for (; !rows.Eof(); rows.MoveNext())
        Contacts.push_back(TContactRow{FieldValue(rows, "AddressListName"), FieldValue(rows, "AddressListEmail"),
                                       ValueAsInteger(FieldValue(rows, "AddressListID"), 0)});
    CloseQuery(rows);
    if (emailField.empty())
        return Contacts.empty() ? -1 : 0;
    for (std::size_t i = 0; i < Contacts.size(); ++i)
        if (Contacts[i].Email == emailField)
            return static_cast<int>(i);
    return -1;
}

bool TAddressBook::AcceptsAddress(const std::string& email)
{
    // One address a server refuses would cost every recipient of a job the mail.
    return IsMailAddress(Trimmed(email));
}

int TAddressBook::SaveContact(const std::string& name, const std::string& email, TOperatorDialogs& dialogs)
{
    if (email.empty()) {
        dialogs.Tell("Cannot add contact", "Email address cannot be blank", TDialogIcon::Warning);
        return -1;
    }
    if (!AcceptsAddress(email)) {
        dialogs.Tell("Cannot add contact",
                     "\"" + email +
                         "\" is not an e-mail address: write it as name@example.com, without "
                         "blanks, line breaks, quotes or the characters < > ( ) [ ] \\ , ; :",
                     TDialogIcon::Warning);
        return -1;
    }
    const auto match = std::find_if(Contacts.begin(), Contacts.end(), [&](const TContactRow& contact) {
        return LowerCase(contact.Email) == LowerCase(email);
    });
    if (match != Contacts.end())
        ExecuteStatement(Catalogue, "update AddressList set AddressListName = " + QuoteText(Trimmed(name)) + ", " +
                                        "AddressListEmail = " + QuoteText(Trimmed(email)) + " " +
                                        "where AddressListID = " + std::to_string(match->AddressID));
    else
        ExecuteStatement(Catalogue, "insert into AddressList (AddressListName, AddressListEmail) values (" +
                                        QuoteText(Trimmed(name)) + ", " + QuoteText(Trimmed(email)) + ")");
    return Reload(email);
}

int TAddressBook::DeleteContact(std::int32_t addressID, const std::string& emailField)
{
    ExecuteStatement(Catalogue, "delete from AddressList where AddressListID = " + std::to_string(addressID));
    return Reload(emailField);
}

}  // namespace tavrin
