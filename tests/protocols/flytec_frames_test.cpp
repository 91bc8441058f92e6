#include "protocols/flytec/flytec_frames.hpp"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tracora::protocols::flytec {
namespace {

TEST(FlytecFrames, Requests) {
    EXPECT_EQ(kProductRequest, "\x11$PBRSNP,*21\r\n");
    EXPECT_EQ(TrackRequest(0), "\x11$PBRTR,00*6A\r\n");
    EXPECT_EQ(TrackRequest(5), "\x11$PBRTR,05*6F\r\n");
    // Indexes above 99 keep all their digits.
    EXPECT_EQ(TrackRequest(123), "\x11$PBRTR,123*5A\r\n");
}

TEST(FlytecFrames, ModelNames) {
    struct Case {
        const char* product;
        const char* display;
    } cases[] = {
        {"COMPETINO+", "Competino+"}, {"COMPETINO", "Competino"},
        {"COMPEO+", "Compeo+"},       {"COMPEO", "Compeo"},
        {"GALILEO", "Galileo"},       {"FLYTEC 6030", "6030"},
        {"BRAUNIGER 5020", "5020"},   {"6020 COMPEO", "6020"},
        {"IQ ONE", "Unknown"},        {"", "Unknown"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(FlytecModelName(c.product), c.display) << c.product;
    }
}

TEST(FlytecFrames, TrackListCapability) {
    struct Case {
        const char* product;
        const char* software;
        bool hasList;
    } cases[] = {
        {"COMPETINO+", "0.1", true},
        {"COMPEO+", "", true},
        {"6030", "1.0", true},
        {"6020", "1.0", true},
        {"COMPETINO", "1.13", false},
        {"COMPETINO", "1.14", true},
        // Compared as text: "1.2" is above "1.13", "1.100" below it.
        {"COMPETINO", "1.2", true},
        {"COMPETINO", "1.100", false},
        {"5020", "1.14", true},
        {"COMPEO", "2.19", false},
        {"COMPEO", "2.20", true},
        {"5030", "2.3", true},
        {"GALILEO", "2.19", false},
        {"GALILEO", "3.00", true},
        // Exact product text only.
        {"COMPEO PLUS", "9.99", false},
        {"FLYTEC 6030", "9.99", false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(HasTrackList(c.product, c.software), c.hasList) << c.product << " " << c.software;
    }
}

TEST(FlytecFrames, ProductData) {
    FlytecProduct product;
    ASSERT_EQ(DecodeProductData({"$PBRSNP", " compeo+  ", "  Hans   Muster ", " 12 34 ", "1.22 "},
                                product),
              0);
    EXPECT_EQ(product.product, "COMPEO+");
    EXPECT_EQ(product.userName, "Hans Muster");
    EXPECT_EQ(product.serial, "12 34");
    EXPECT_EQ(product.software, "1.22");
    EXPECT_EQ(DeviceDescription(product), "Compeo+ SN12 34 SW1.22");
    EXPECT_EQ(DeviceIdentifier(product), "Compeo+: 12 34");

    // Field lengths: product 16, user 40, serial 7, software 6.
    ASSERT_EQ(DecodeProductData({"$PBRSNP", "ABCDEFGHIJKLMNOPQRS", std::string(50, 'u'),
                                 "123456789", "1.2345678"},
                                product),
              0);
    EXPECT_EQ(product.product, "ABCDEFGHIJKLMNOP");
    EXPECT_EQ(product.userName, std::string(40, 'u'));
    EXPECT_EQ(product.serial, "1234567");
    EXPECT_EQ(product.software, "1.2345");

    EXPECT_EQ(DecodeProductData({"$PBRSNP", "COMPEO+", "   ", "1", "1"}, product), -1);
}

// Feeds a sentence; returns the first result other than 1, or 1.
int FeedAll(FlytecWaypointParser& parser, std::string_view text) {
    for (const char c : text) {
        const int rc = parser.Feed(static_cast<std::uint8_t>(c));
        if (rc != 1) {
            return rc;
        }
    }
    return 1;
}

// The body with its checksum (computed by hand with Python) and CR LF.
struct ParserCase {
    const char* sentence;
    int result;
};

TEST(FlytecWaypointParser, ErrorCodes) {
    const ParserCase cases[] = {
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*60\r\n", 0},
        {"$PBRWPS,46300.000,N,00730.500,E,,MY WPT,1234*50\r\n", -1},
        {"$PBRWPS,46x0.000,N,00730.500,E,,MY WPT,1234*28\r\n", -2},
        {"$PBRWPS,4630.0x0,N,00730.500,E,,MY WPT,1234*28\r\n", -3},
        {"$PBRWPS,4630.0000000000,N,00730.500,E,,MY WPT,1234*50\r\n", -3},
        {"$PBRWPS,4630.000,X,00730.500,E,,MY WPT,1234*7E\r\n", -4},
        {"$PBRWPS,4630.000,NN00730.500,E,,MY WPT,1234*42\r\n", -5},
        {"$PBRWPS,4630.000,N,180000.000,E,,MY WPT,1234*7E\r\n", -6},
        {"$PBRWPS,4630.000,N,007x0.500,E,,MY WPT,1234*28\r\n", -7},
        {"$PBRWPS,4630.000,N,00730.5x0,E,,MY WPT,1234*28\r\n", -8},
        {"$PBRWPS,4630.000,N,00730.500,X,,MY WPT,1234*7B\r\n", -9},
        {"$PBRWPS,4630.000,N,00730.500,EE,MY WPT,1234*4C\r\n", -10},
        {"$PBRWPS,4630.000,N,00730.500,E,AB\r\n", -11},
        {"$PBRWPS,4630.000,N,00730.500,E,ABCDEFG,MY WPT,1234*00\r\n", -12},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY\r\n", -13},
        {"$PBRWPS,4630.000,N,00730.500,E,,ABCDEFGHIJKLMNOPQR,1234*00\r\n", -14},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,x234*00\r\n", -15},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,*00\r\n", -15},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,12x4*00\r\n", -15},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,123456*00\r\n", -16},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*g0\r\n", -17},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*6a\r\n", -18},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*60\n", -19},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*61\r\n", -20},
        {"$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*60\rX", -21},
    };
    for (const ParserCase& c : cases) {
        FlytecWaypointParser parser;
        EXPECT_EQ(FeedAll(parser, c.sentence), c.result) << c.sentence;
    }
}

TEST(FlytecWaypointParser, FieldsOfAGoodAnswer) {
    FlytecWaypointParser parser;
    // Noise and other sentences before it are skipped.
    ASSERT_EQ(
        FeedAll(parser, "xx$PBRSNP,A*00\r\n$PB$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*60\r\n"),
        0);
    const Waypoint w = ToWaypoint(parser.Fields(), 4242);
    EXPECT_EQ(w.Id(), "MY");
    EXPECT_EQ(w.Description(), "MY WPT");
    EXPECT_EQ(w.altitude, 1234);
    EXPECT_EQ(w.latitude, 554766609);  // round(46.5 * 2^31 / 180)
    EXPECT_EQ(w.longitude, 89577906);  // round((7 + 30.5 / 60) * 2^31 / 180)
    EXPECT_EQ(w.time, 4242u);
    EXPECT_EQ(w.kind, 0);

    // No fraction; no hemisphere letters; a short name; a negative altitude.
    ASSERT_EQ(FeedAll(parser, "$PBRWPS,4630,,00730,,TOP,lower case,-12*3F\r\n"), 0);
    const Waypoint top = ToWaypoint(parser.Fields(), 0);
    EXPECT_EQ(top.Id(), "TOP");
    EXPECT_EQ(top.Description(), "LOWER CASE");
    EXPECT_EQ(top.altitude, -12);
    EXPECT_EQ(top.latitude, 554766609);  // 46 deg 30 min
    EXPECT_EQ(top.longitude, 89478485);  // round(7.5 * 2^31 / 180)

    // South and west; the sentence ends after the short name.
    ASSERT_EQ(FeedAll(parser, "$PBRWPS,3357.120,S,07021.900,W,LAGUNI*18\r\n"), 0);
    const Waypoint south = ToWaypoint(parser.Fields(), 0);
    EXPECT_EQ(south.Id(), "LAGUNI");
    EXPECT_EQ(south.Description(), "");
    EXPECT_EQ(south.altitude, 0);
    EXPECT_EQ(south.latitude, -405063138);
    EXPECT_EQ(south.longitude, -839487149);

    // Neither name: "Z"; a long name's first word, cut at six characters.
    ASSERT_EQ(FeedAll(parser, "$PBRWPS,0000.000,N,00000.000,E,,,0*33\r\n"), 0);
    EXPECT_EQ(ToWaypoint(parser.Fields(), 0).Id(), "Z");
    ASSERT_EQ(FeedAll(parser, "$PBRWPS,0000.000,N,00000.000,E,,landeplatz x,0*7A\r\n"), 0);
    EXPECT_EQ(ToWaypoint(parser.Fields(), 0).Id(), "LANDEP");
}

TEST(FlytecFrames, UploadSentence) {
    Waypoint w;
    w.latitude = 554766609;  // 46 deg 30 min N
    w.longitude = 89577906;  // 7 deg 30.5 min E
    w.altitude = -20;
    // A three-letter name goes out padded to 17; a negative altitude as 0000.
    EXPECT_EQ(WaypointUploadSentence(w, "ABC"),
              "\x11$PBRWPR,4630.000,N,00730.500,E,,ABC              ,0000*42\r\n");
    w.altitude = 99999;
    EXPECT_EQ(WaypointUploadSentence(w, "NAME,WITH*ALL$OF\r\nTHEM"),
              "\x11$PBRWPR,4630.000,N,00730.500,E,,NAME WITH ALL OF ,9999*4F\r\n");

    UploadedWaypoint upload;
    ASSERT_EQ(
        DecodeWaypointUpload("$PBRWPR,4630.000,N,00730.500,E,,ABC              ,0000*42", upload),
        0);
    EXPECT_EQ(upload.latitude, "4630.000");
    EXPECT_EQ(upload.northSouth, 'N');
    EXPECT_EQ(upload.longitude, "00730.500");
    EXPECT_EQ(upload.eastWest, 'E');
    EXPECT_EQ(upload.name, "ABC              ");
    EXPECT_EQ(upload.altitude, 0);
    EXPECT_EQ(
        DecodeWaypointUpload("$PBRWPR,4630.000,N,00730.500,E,,ABC              ,0000*41", upload),
        -1);
}

TEST(FlytecFrames, InstrumentAnswers) {
    EXPECT_EQ(ProductAnswer({"COMPEO+", "TEST PILOT", "1234", "1.22"}),
              "$PBRSNP,COMPEO+,TEST PILOT,1234,1.22*5E\r\n");
    EXPECT_EQ(WaypointAnswer(46 * 60000 + 30000, 7 * 60000 + 30500, "", "MY WPT", 1234),
              "$PBRWPS,4630.000,N,00730.500,E,,MY WPT,1234*60\r\n");
}

}  // namespace
}  // namespace tracora::protocols::flytec
