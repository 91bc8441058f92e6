#include "competition/pilot_id_upload.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

namespace tracora::competition {
namespace {

// Semicircles of an angle given in degrees, minutes and seconds (2^31 / 180 per degree).
std::int32_t Semicircles(int degrees, int minutes, int seconds) {
    return static_cast<std::int32_t>(
        std::lround((degrees + minutes / 60.0 + seconds / 3600.0) * 2147483648.0 / 180.0));
}

TEST(PilotIdUpload, WaypointsOfBothIdsAndTheNnnWaypoint) {
    const std::vector<Waypoint> all = PilotIdWaypoints(4711, 12345, true, 999);
    ASSERT_EQ(all.size(), 3u);
    EXPECT_EQ(all[0].Id(), "COMPID");
    EXPECT_EQ(all[0].Description(), "COMPID 4711");
    // 4711: latitude 7 degrees 1 minute 1 second, longitude 0 degrees 0 minutes 4 seconds.
    EXPECT_NEAR(all[0].latitude, Semicircles(7, 1, 1), 1);
    EXPECT_NEAR(all[0].longitude, Semicircles(0, 0, 4), 1);
    EXPECT_EQ(all[1].Id(), "CIVLID");
    EXPECT_EQ(all[1].Description(), "CIVLID 12345");
    EXPECT_NEAR(all[1].latitude, Semicircles(3, 4, 5), 1);
    EXPECT_NEAR(all[1].longitude, Semicircles(0, 1, 2), 1);
    EXPECT_EQ(all[2].Id(), "-4711");
    EXPECT_EQ(all[2].Description(), "-4711");
    EXPECT_EQ(all[2].latitude, 0);
    EXPECT_EQ(all[2].longitude, 0);
    for (const Waypoint& w : all) {
        EXPECT_EQ(w.time, 999u);
        EXPECT_EQ(w.altitude, 0);
    }
    // Without a competition ID there is no "-NNN" waypoint; an ID out of range gets none.
    const std::vector<Waypoint> civl = PilotIdWaypoints(-1, 7, true, 0);
    ASSERT_EQ(civl.size(), 1u);
    EXPECT_EQ(civl[0].Id(), "CIVLID");
    EXPECT_TRUE(PilotIdWaypoints(18'000'000, -1, false, 0).empty());
}

struct OfferCase {
    const char* name;
    int protocol;
    int logComp, logCivl;      // what the instrument carried
    int pilotComp, pilotCivl;  // the pilot chosen
    bool nnn;
    bool offered;
    int parameter;
    std::size_t waypoints;
};

class PilotIdOfferTest : public ::testing::TestWithParam<OfferCase> {};

TEST_P(PilotIdOfferTest, OfferedOnlyForAnInstrumentWithoutIdsThatTakesThem) {
    const OfferCase& c = GetParam();
    AppState state;
    state.trackLog.protocol = c.protocol;
    state.trackLog.compPilotId = c.logComp;
    state.trackLog.civlPilotId = c.logCivl;
    state.trackLog.productText = "COMPEO+: 1234";
    state.pilot = CurrentPilot{"Smith, John", c.pilotComp, c.pilotCivl};
    state.settings.compWptNnn = c.nnn ? 1 : 0;
    PilotIdUpload upload;
    ASSERT_EQ(PreparePilotIdUpload(state, 5, upload), c.offered);
    if (!c.offered) {
        return;
    }
    EXPECT_EQ(ProtocolNumber(upload.protocol), c.protocol);
    EXPECT_EQ(upload.parameter, c.parameter);
    EXPECT_EQ(upload.waypoints.size(), c.waypoints);
    EXPECT_EQ(upload.pilotName, "Smith, John");
    EXPECT_EQ(upload.deviceId, "COMPEO+: 1234");
    EXPECT_EQ(upload.competitionId, c.pilotComp);
    EXPECT_EQ(upload.civlId, c.pilotCivl);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PilotIdOfferTest,
    ::testing::Values(OfferCase{"Flytec", 4, -1, -1, 4711, 12, false, true, 0, 2},
                      OfferCase{"FlytecNnn", 4, -1, -1, 4711, 12, true, true, 0, 3},
                      OfferCase{"GarminCivlOnly", 0, -1, -1, -1, 12, true, true, 0, 1},
                      OfferCase{"DigiflyAirCompetitionList", 17, -1, -1, 4711, -1, false, true, 3,
                                1},
                      OfferCase{"Syride", 20, -1, -1, 4711, -1, false, true, 0, 1},
                      OfferCase{"InstrumentHadACompId", 4, 4711, -1, 4711, 12, false, false, 0, 0},
                      OfferCase{"InstrumentHadACivlId", 4, -1, 12, 4711, 12, false, false, 0, 0},
                      OfferCase{"PilotWithoutIds", 4, -1, -1, -1, -1, true, false, 0, 0},
                      OfferCase{"LogIt", 3, -1, -1, 4711, 12, false, false, 0, 0},
                      OfferCase{"Ascent", 19, -1, -1, 4711, 12, false, false, 0, 0},
                      OfferCase{"ReadFromFile", -1, -1, -1, 4711, 12, false, false, 0, 0}),
    [](const auto& param) { return std::string(param.param.name); });

// The model of the flight's instrument decides the line speed of the upload; the IDs go into the
// competition list, where a download in competition mode reads them.
TEST(PilotIdOffer, LeonardoProIdsGoToItsCompetitionListAtItsOwnSpeed) {
    AppState state;
    state.trackLog.protocol = ProtocolNumber(GpsProtocol::kLeonardo);
    state.trackLog.instrumentDescription = "LeonardoPro SN1234 SW2.10";
    state.pilot = CurrentPilot{"Smith, John", 4711, -1};
    PilotIdUpload upload;
    ASSERT_TRUE(PreparePilotIdUpload(state, 5, upload));
    EXPECT_EQ(upload.parameter, 2);
    state.trackLog.instrumentDescription = "DigiflyAir SN1234 SW2.10";
    ASSERT_TRUE(PreparePilotIdUpload(state, 5, upload));
    EXPECT_EQ(upload.parameter, 3);
}

}  // namespace
}  // namespace tracora::competition
