#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tavrin {

class TCatalogueConnection;
class TOperatorDialogs;

struct TContactRow {
    std::string Name;
    std::string Email;
    std::int32_t AddressID = 0;
};

// The contacts of the catalogue as the address book lists them, and the
// operations on them. The sort column lasts as long as the object.
class TAddressBook {
public:
    explicit TAddressBook(TCatalogueConnection& catalogue) : Catalogue(catalogue) {}

    // Lists the contacts ordered by the sort column; then selects the first
    // row whose address equals emailField exactly, or the first row when the
    // field is empty. Returns the selected row, or -1.
    int Reload(const std::string& emailField);

    // Updates the contact whose address matches without regard to case, or
    // adds one; both texts trimmed. A blank address, or one that is not a
    // mail address (IsMailAddress), is refused with the "Cannot add contact"
    // box. Reloads with the address as typed.
    int SaveContact(const std::string& name, const std::string& email, TOperatorDialogs& dialogs);

    // Whether SaveContact takes the address.
    static bool AcceptsAddress(const std::string& email);

    // Deletes the contact, without asking; then reloads.
    int DeleteContact(std::int32_t addressID, const std::string& emailField);

    // "AddressListName" or "AddressListEmail".
    void SortBy(const std::string& column) { SortColumn = column; }
    const std::string& SortedBy() const { return SortColumn; }
    const std::vector<TContactRow>& Rows() const { return Contacts; }

private:
    TCatalogueConnection& Catalogue;
    std::string SortColumn = "AddressListName";
    std::vector<TContactRow> Contacts;
};

}  // namespace tavrin
