#include "engines/delivery/MailAddress.h"

#include <gtest/gtest.h>

namespace tavrin {
namespace {

TEST(MailAddress, TakesWhatAServerTakesInRcptTo)
{
    const struct {
        std::string Text;
        bool Accepted;
    } cases[] = {
        {"ann@example.com", true},
        {"first.last+proofs@mail.example.co.uk", true},
        {"o'brien@example.com", true},
        {"j\xC3\xBCrgen@example.de", true},
        {"ann@localhost", true},
        {"", false},
        {"ann", false},
        {"@example.com", false},
        {"ann@", false},
        {"ann@@example.com", false},
        {"ann@exam@ple.com", false},
        {"ann smith@example.com", false},
        {"ann@example.com\r\nRCPT TO:<eve@example.com>", false},
        {"ann@example.com>", false},
        {"<ann@example.com", false},
        {"\"ann\"@example.com", false},
        {"ann@example..com", false},
        {"ann.@example.com", false},
        {".ann@example.com", false},
        {"ann@-example.com", false},
        {"ann@example.com.", false},
        {"ann;bob@example.com", false},
        {std::string(243, 'a') + "@example.com", false},
        {std::string(242, 'a') + "@example.com", true},
    };
    for (const auto& c : cases)
        EXPECT_EQ(IsMailAddress(c.Text), c.Accepted) << c.Text;
}

}  // namespace
}  // namespace tavrin
