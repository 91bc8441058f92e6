// The online-contest submission file: the value encoding, the checks of the pilot's values, and
// the fields of a constructed flight. Day numbers and times were worked out with Python's
// datetime, the positions by hand.
#include "documents/olc_file.hpp"

#include <gtest/gtest.h>

#include <string>

#include "core/angles.hpp"

namespace tracora::olc {
namespace {

TEST(OlcFile, ValuesAreEncodedSoThatEveryFieldDecodesBack) {
    struct Case {
        const char* text;
        const char* encoded;
    };
    const Case cases[] = {
        {"Gin Boomerang 12", "Gin%20Boomerang%2012"},
        // '&' would start a field and '+' would arrive as a blank.
        {"Sky & Co+", "Sky%20%26%20Co%2B"},
        {"a!$()*,-._z", "a!$()*,-._z"},
        {"M\xC3\xBCller", "M%C3%BCller"},
        {"12:30:05\r\n", "12%3A30%3A05%0D%0A"},
        {"50%/=?#", "50%25%2F%3D%3F%23"},
        {"", ""},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(EncodeValue(c.text), c.encoded) << c.text;
    }
}

PilotData GoodPilot() {
    PilotData d;
    d.firstName = "Anna";
    d.lastName = "Rossi";
    d.birthDate = "4.7.1981";
    d.gliderClass = 3;
    d.gliderType = "Gin Bonanza 2";
    d.startPlace = "Monte Cucco";
    d.flightNumber = "2";
    return d;
}

TEST(OlcFile, PilotValuesAreCheckedInTheDialogsOrder) {
    struct Case {
        void (*change)(PilotData&);
        const char* message;
    };
    const Case cases[] = {
        {[](PilotData& d) { d.firstName = " "; }, "Missing first name"},
        {[](PilotData& d) { d.lastName.clear(); }, "Missing last name"},
        {[](PilotData& d) { d.birthDate.clear(); }, "Missing birth date"},
        {[](PilotData& d) { d.birthDate = "4 July 1981"; }, "Bad birth date format"},
        {[](PilotData& d) { d.birthDate = "31.13.81"; }, "Bad birth date format"},
        {[](PilotData& d) { d.gliderClass = 6; }, "Combo box read error"},
        {[](PilotData& d) { d.gliderType.clear(); }, "Missing glider type"},
        {[](PilotData& d) { d.startPlace.clear(); }, "Missing start place"},
        {[](PilotData& d) { d.flightNumber.clear(); }, "Missing flight number"},
        {[](PilotData& d) { d.flightNumber = "2a"; }, "Bad flight number input"},
        {[](PilotData& d) { d.flightNumber = "36"; }, "Flight number out of range"},
        {[](PilotData& d) { d.firstName.clear(), d.flightNumber = "36"; }, "Missing first name"},
    };
    for (const Case& c : cases) {
        PilotData d = GoodPilot();
        c.change(d);
        int flight = 0;
        const char* message = CheckPilotData(d, flight);
        ASSERT_NE(message, nullptr) << c.message;
        EXPECT_STREQ(message, c.message);
    }
    PilotData d = GoodPilot();
    int flight = 0;
    EXPECT_EQ(CheckPilotData(d, flight), nullptr);
    EXPECT_EQ(d.birthDate, "04.07.81");  // written back in the file's form
    EXPECT_EQ(flight, 2);
}

TrackPoint At(std::uint32_t time, double latitude, double longitude) {
    TrackPoint p;
    p.time = time;
    p.latitude = DegreesToSemicircles(latitude);
    p.longitude = DegreesToSemicircles(longitude);
    return p;
}

TEST(OlcFile, FieldsOfAFlightInTheirOrder) {
    PilotData d = GoodPilot();
    int flight = 0;
    ASSERT_EQ(CheckPilotData(d, flight), nullptr);
    d.regionCode = "IT";
    d.callSign = "I-AR";
    Flight f;
    f.igcFileName = "2021-03-06-XCT-ABC-02.igc";
    // 2021-03-06 23:40:00 UTC: receiver second 984008400, day 153466 since 1601-01-01. The
    // finish at 00:20:10 the next day is written as 24:20:10.
    f.points = {At(984008400, 43.5, 12.25), At(984008400 + 600, -33.95, -70.365),
                At(984008400 + 1200, 0.0005, 179.99999), At(984008400 + 1800, 46.5, 7.5),
                At(984008400 + 2410, 43.5, 12.25)};
    f.igcText = "AXCTABC\r\nB+\r\n";
    const std::string text = BuildOlcText(d, f, "1.2.3");
    EXPECT_EQ(text,
              "OLCvnolc=Anna&na=Rossi&geb=04.07.81&gty=Gin%20Bonanza%202&sta=Monte%20Cucco"
              "&region=IT&gid=I-AR&klasse=3&igcfn=2021-03-06-XCT-ABC-02.igc&flugzeug=1"
              "&ft=153466&s0=23%3A40%3A00"
              "&w0bh=N&w0bg=43&w0bm=30&w0bmd=000&w0lh=E&w0lg=12&w0lm=15&w0lmd=000"
              "&w1bh=S&w1bg=33&w1bm=57&w1bmd=000&w1lh=W&w1lg=70&w1lm=21&w1lmd=900"
              "&w2bh=N&w2bg=0&w2bm=00&w2bmd=030&w2lh=E&w2lg=179&w2lm=59&w2lmd=999"
              "&w3bh=N&w3bg=46&w3bm=30&w3bmd=000&w3lh=E&w3lg=7&w3lm=30&w3lmd=000"
              "&w4bh=N&w4bg=43&w4bm=30&w4bmd=000&w4lh=E&w4lg=12&w4lm=15&w4lmd=000"
              "&s4=24%3A20%3A10&software=Tracora102"
              "&IGCigcIGC=AXCTABC%0D%0AB%2B%0D%0A");
}

}  // namespace
}  // namespace tracora::olc
