#include "remote/network_command.hpp"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

namespace tracora::remote {
namespace {

struct DecodeCase {
    std::string text;
    std::string error;  // empty: decodes
};

class DecodeTest : public ::testing::TestWithParam<DecodeCase> {};

TEST_P(DecodeTest, GivesTheClientsErrorText) {
    NetworkCommand command;
    std::string error;
    const int result = DecodeNetworkCommand(GetParam().text, command, error);
    if (GetParam().error.empty()) {
        EXPECT_EQ(result, 0) << error;
    } else {
        EXPECT_EQ(result, -1);
        EXPECT_EQ(error, GetParam().error);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Commands, DecodeTest,
    ::testing::Values(DecodeCase{"$Tracora /com=3 /gps=garmin", ""}, DecodeCase{"$Tracora ", ""},
                      DecodeCase{"$Tracora   /abort=1  ", ""},
                      DecodeCase{"$Tracora /gps=\"iqcompeo\" /com=12", ""},
                      DecodeCase{"$tracora /com=3", "Bad command identifier"},
                      DecodeCase{"$Tracora/com=3", "Bad command identifier"},
                      DecodeCase{"$Tracora com=3", "Missing parameter start '/'"},
                      DecodeCase{"$Tracora /com", "Missing parameter assignment character '='"},
                      DecodeCase{"$Tracora /com 3", "Missing parameter assignment character '='"},
                      DecodeCase{"$Tracora /com=", "Missing parameter value"},
                      DecodeCase{"$Tracora /com= /gps=garmin", "Missing parameter value"},
                      DecodeCase{"$Tracora /gps=\"garmin", "Missing '\"'"},
                      DecodeCase{"$Tracora /com=x", "Bad COM port value"},
                      DecodeCase{"$Tracora /com=3x", "Bad COM port value"},
                      DecodeCase{"$Tracora /com=99999999999", "Bad COM port value"},
                      DecodeCase{"$Tracora /gps=Garmin", "Unrecognized GPS type"},
                      DecodeCase{"$Tracora /abort=yes", "Bad abort value"},
                      DecodeCase{"$Tracora /track=", "Missing parameter value"},
                      DecodeCase{"$Tracora /track=1.5", "Bad track select"},
                      DecodeCase{"$Tracora /COM=3", "Unrecognized parameter"},
                      DecodeCase{"$Tracora /port=3", "Unrecognized parameter"}));

TEST(DecodeNetworkCommand, FillsWhatTheCommandNames) {
    NetworkCommand command;
    std::string error;
    ASSERT_EQ(
        DecodeNetworkCommand("$Tracora /gps=xct_mxp /com=4 /track=40 /abort=0", command, error), 0);
    EXPECT_EQ(command.gps, GpsProtocol::kXcTrainerMxp);
    EXPECT_EQ(command.com, 4);
    EXPECT_EQ(command.track, 40);
    EXPECT_EQ(command.abort, 0);
    ASSERT_EQ(DecodeNetworkCommand("$Tracora /abort=1", command, error), 0);
    EXPECT_FALSE(command.gps.has_value());
    EXPECT_FALSE(command.com.has_value());
    EXPECT_EQ(command.abort, 1);
}

TEST(ProtocolOfNetworkName, KnowsEveryNameOfTheTable) {
    const std::vector<std::pair<std::string, int>> names = {
        {"flymaster", 12}, {"iqcompeo", 4}, {"garmin", 0},   {"garminusb", 8}, {"logit", 3},
        {"topnav", 2},     {"mlr", 1},      {"graviter", 5}, {"magellan", 6},  {"xctrainer", 7},
        {"xct_mxp", 10},   {"dsx", 13},     {"iqbasic", 16}, {"mtk", 15}};
    for (const auto& [name, number] : names) {
        const auto protocol = ProtocolOfNetworkName(name);
        ASSERT_TRUE(protocol.has_value()) << name;
        EXPECT_EQ(ProtocolNumber(*protocol), number) << name;
    }
    EXPECT_FALSE(ProtocolOfNetworkName("syride").has_value());
}

std::vector<std::string> FeedAll(CommandBuffer& buffer, const std::string& bytes) {
    std::vector<std::string> commands;
    buffer.Feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                [&commands](std::string_view command) { commands.emplace_back(command); });
    return commands;
}

TEST(CommandBuffer, CutsCommandsAtTheirNul) {
    CommandBuffer buffer;
    const std::string two = std::string("$Tracora /abort=1") + '\0' + "$Tracora /tr";
    EXPECT_EQ(FeedAll(buffer, two), std::vector<std::string>{"$Tracora /abort=1"});
    EXPECT_EQ(FeedAll(buffer, std::string("ack=2") + '\0'),
              std::vector<std::string>{"$Tracora /track=2"});
    EXPECT_EQ(buffer.Size(), 0u);
}

TEST(CommandBuffer, NinetyNineBytesAndTheNulAreACommand) {
    CommandBuffer buffer;
    const std::string longest = "$Tracora /gps=garmin " + std::string(78, ' ');
    ASSERT_EQ(longest.size(), 99u);
    EXPECT_EQ(FeedAll(buffer, longest + '\0'), std::vector<std::string>{longest});
}

TEST(CommandBuffer, ALongerCommandIsDroppedUpToTheNextLineFeed) {
    CommandBuffer buffer;
    const std::string tooLong = "$Tracora /gps=garmin " + std::string(79, ' ');  // 100 bytes
    // The NUL finds the buffer full and is dropped with the rest of the line.
    EXPECT_TRUE(FeedAll(buffer, tooLong + '\0' + "$Tracora /abort=1" + '\0').empty());
    EXPECT_EQ(FeedAll(buffer, std::string("\n$Tracora /abort=1") + '\0'),
              std::vector<std::string>{"$Tracora /abort=1"});
}

TEST(ServerMessages, EndWithANulAndCarryTheirTexts) {
    EXPECT_EQ(StatusMessage("Reading track"), std::string("$Tracora Status Reading track") + '\0');
    EXPECT_EQ(ProductMessage("Compeo+ 1.22"), std::string("$Tracora Product Compeo+ 1.22") + '\0');
    EXPECT_EQ(ErrorMessage("Decode network command", "Bad abort value"),
              std::string("$Tracora Error Decode network command\nBad abort value") + '\0');
}

TEST(ServerMessages, TrackListRunsToTheLastUsedSlot) {
    device::FlightList list;
    list.start[0] = 1000;
    list.duration[0] = 3600;
    list.start[2] = 5000;
    list.duration[2] = 60;
    list.duration[3] = 99;  // a slot without a start time is empty
    EXPECT_EQ(TrackListMessage(list),
              std::string("$Tracora TrackList 1000,3600\n0,0\n5000,60") + '\0');
    EXPECT_EQ(TrackListMessage(device::FlightList{}), std::string("$Tracora TrackList ") + '\0');
}

TEST(SocketErrorName, NamesErrorsAsTheClientsKnowThem) {
    EXPECT_STREQ(SocketErrorName(EADDRINUSE), "WSAEADDRINUSE");
    EXPECT_STREQ(SocketErrorName(ECONNRESET), "WSAECONNRESET");
    EXPECT_STREQ(SocketErrorName(EAGAIN), "WSAEWOULDBLOCK");
    EXPECT_STREQ(SocketErrorName(ENOENT), "UNKNOWN");
}

}  // namespace
}  // namespace tracora::remote
