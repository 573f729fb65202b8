// Adapters are told apart by what they report, and what they report never
// reaches a screen or a file name with a control character in it.
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "frontends/cli/terminal_text.h"
#include "platform/adapter_list.h"
#include "test_support.h"

namespace {

class AdapterHost : public TestHost {
public:
    std::map<std::string, PortDetails> details;
    PortDetails DescribePort(const std::string& port) override { return details[port]; }
};

TEST(AdapterList, AdaptersSoldWithOneSerialNumberAreTwoPositionsAndNoIdentityHoldsAControlCharacter)
{
    AdapterHost host;
    host.portNames = {"/dev/ttyUSB0", "/dev/ttyUSB1", "/dev/ttyUSB2", "/dev/ttyS4"};
    host.details["/dev/ttyUSB0"] = {"", "0403:6001", "0001", "1-1.2"};
    host.details["/dev/ttyUSB1"] = {"", "0403:6001", "0001", "1-1.3"};
    host.details["/dev/ttyUSB2"] = {"", "0403:6001", "A\x1b[2J\x07", ""};
    const std::vector<Adapter> adapters = ListAdapters(host);
    ASSERT_EQ(adapters.size(), 4u);
    EXPECT_EQ(adapters[0].identity, "USB 0001 at hub 1-1.2");
    EXPECT_EQ(adapters[1].identity, "USB 0001 at hub 1-1.3");
    EXPECT_EQ(adapters[2].identity, "USB A?[2J?");
    EXPECT_EQ(adapters[3].identity, "/dev/ttyS4");
    // A command printed with an identity finds the adapter's port now.
    EXPECT_EQ(PortOfAdapter(host, "USB 0001 at hub 1-1.3"), "/dev/ttyUSB1");
    EXPECT_EQ(PortOfAdapter(host, "USB 9999"), "USB 9999");

    // One twin pulled out: the other stays the position it was, and a
    // command that names it still finds it.
    std::set<std::string> twins;
    ListAdapters(host, &twins);
    host.portNames = {"/dev/ttyUSB1"};
    EXPECT_EQ(ListAdapters(host, &twins).at(0).identity, "USB 0001 at hub 1-1.3");
    EXPECT_EQ(PortOfAdapter(host, "USB 0001 at hub 1-1.3"), "/dev/ttyUSB1");
}

// What the station prints of a device's or a file's words: never a control
// character, a stray byte or half a character.
TEST(AdapterList, TheTableShowsWholeCharactersAndNoControls)
{
    EXPECT_EQ(PrintableText("bench \xc3\xa9\x1b[2J\xc2\x9b\x9b\xe2\x82"), "bench \xc3\xa9?[2J????");
    EXPECT_EQ(PrintableText("a\nb", true), "a\nb");
    EXPECT_EQ(FittedText("\xc3\xa9t\xc3\xa9", 2), "\xc3\xa9t");
    EXPECT_EQ(FittedText("ab", 4), "ab  ");
}

}  // namespace
