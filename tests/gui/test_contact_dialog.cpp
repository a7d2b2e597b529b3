#include "gui/ContactDlg.h"
#include "tests/gui/StationWindowFixture.h"

#include <QHeaderView>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

namespace tavrin::testing {
namespace {

class ContactDialog : public CatalogueFixture {
protected:
    void Type(const char* field, const QString& text) { Dialog->findChild<QLineEdit*>(field)->setText(text); }
    void Click(const char* button) { QTest::mouseClick(Dialog->findChild<QPushButton*>(button), Qt::LeftButton); }

    std::vector<std::string> Listed() const
    {
        std::vector<std::string> rows;
        auto* list = Dialog->findChild<QTreeWidget*>("AddressListView");
        for (int row = 0; row < list->topLevelItemCount(); ++row)
            rows.push_back((list->topLevelItem(row)->text(0) + " " + list->topLevelItem(row)->text(1)).toStdString());
        return rows;
    }

    void ClickHeader(int column)
    {
        QHeaderView* header = Dialog->findChild<QTreeWidget*>("AddressListView")->header();
        QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, QPoint(header->sectionPosition(column) + 5, 5));
    }

    TOffscreenApplication Application;
    TScriptedDialogs Dialogs;
    std::unique_ptr<TContactDlg> Dialog = std::make_unique<TContactDlg>(Catalogue, nullptr, &Dialogs);
};

TEST_F(ContactDialog, SavingAnAddressAgainInAnyCaseRenamesThatContact)
{
    Dialog->show();
    EXPECT_TRUE(Listed().empty());
    Type("Name", "Ann");
    Type("Email", "ann@example.com");
    Click("SaveBtn");
    Type("Name", "  Annie ");
    Type("Email", "ANN@Example.com");
    Click("SaveBtn");
    EXPECT_EQ(Listed(), std::vector<std::string>{"Annie ANN@Example.com"});

    // A new address adds a contact; one typed with a leading space is stored
    // trimmed and then no row matches the field exactly.
    Type("Name", "Bob");
    Type("Email", " bob@example.com");
    Click("SaveBtn");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Annie ANN@Example.com", "Bob bob@example.com"}));
    EXPECT_FALSE(Dialog->SelectedContact());
    Click("DeleteBtn");  // nothing selected: nothing deleted
    EXPECT_EQ(Listed().size(), 2u);

    Type("Email", "");
    Click("SaveBtn");
    EXPECT_EQ(Dialogs.Told, std::vector<std::string>{"Cannot add contact: Email address cannot be blank"});
    EXPECT_EQ(Listed().size(), 2u);

    // An address a mail server would refuse never reaches the book.
    Type("Email", "eve@example.com> NOTIFY=NEVER");
    Click("SaveBtn");
    ASSERT_EQ(Dialogs.Told.size(), 2u);
    EXPECT_EQ(Dialogs.Told[1], "Cannot add contact: \"eve@example.com> NOTIFY=NEVER\" is not an e-mail address: "
                               "write it as name@example.com, without blanks, line breaks, quotes or the "
                               "characters < > ( ) [ ] \\ , ; :");
    EXPECT_EQ(Listed().size(), 2u);
}

TEST_F(ContactDialog, TheClickedColumnOrdersTheListWithoutRegardToCaseAndTheOrderLastsAcrossOpenings)
{
    Run("insert into AddressList (AddressListName, AddressListEmail) values (\"Annie\", \"zed@example.com\")");
    Run("insert into AddressList (AddressListName, AddressListEmail) values (\"Bob\", \"bob@example.com\")");
    Run("insert into AddressList (AddressListName, AddressListEmail) values (\"anton\", \"Cat@example.com\")");
    Dialog->show();
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"Annie zed@example.com", "anton Cat@example.com", "Bob bob@example.com"}));
    // Opened with an empty address field: the first contact is selected and fills the fields.
    EXPECT_EQ(Dialog->findChild<QLineEdit*>("Email")->text(), "zed@example.com");

    ClickHeader(1);
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"Bob bob@example.com", "anton Cat@example.com", "Annie zed@example.com"}));
    // The field still names Annie's address: her row stays selected.
    EXPECT_EQ(Dialog->SelectedContact()->Name, "Annie");
    Dialog->hide();
    Dialog->show();
    EXPECT_EQ(Listed(),
              (std::vector<std::string>{"Bob bob@example.com", "anton Cat@example.com", "Annie zed@example.com"}));

    Click("DeleteBtn");
    EXPECT_EQ(Listed(), (std::vector<std::string>{"Bob bob@example.com", "anton Cat@example.com"}));
    ClickHeader(0);
    QTest::keyClick(Dialog->findChild<QTreeWidget*>("AddressListView"), Qt::Key_Return);
    EXPECT_EQ(Dialog->result(), QDialog::Accepted);
}

}  // namespace
}  // namespace tavrin::testing
