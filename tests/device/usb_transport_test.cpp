// The USB back end's names for a unit (bus addresses in the forms users give them) and the
// libusb back end facing a machine without the unit asked for.
#include "device/usb_transport.hpp"

#include <gtest/gtest.h>

#include <string>

#include "device/io_status.hpp"

namespace tracora::device {
namespace {

TEST(UsbBusAddressTest, EveryFormGivesTheCanonicalAddress) {
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"001:005", "001:005"},
        {"1:5", "001:005"},
        {"255:127", "255:127"},
        {"usb:3:17", "003:017"},
        {"USB:003:017", "003:017"},
        {"/dev/bus/usb/002/009", "002:009"},
        {"/dev/bus/usb/2/9", "002:009"},
        // Not a bus address.
        {"", ""},
        {"COM3", ""},
        {"/dev/ttyUSB0", ""},
        {"/dev/bus/usb/002:009", ""},
        {"1:", ""},
        {":5", ""},
        {"0:5", ""},
        {"1:0", ""},
        {"256:1", ""},
        {"1:5:7", ""},
        {"0001:5", ""},
        {"1 :5", ""},
        {"usb:", ""},
        {"usb1:5", ""},
        {"-1:5", ""},
    };
    for (const Case& c : cases)
        EXPECT_EQ(UsbBusAddress(c.name), c.expected) << c.name;
}

TEST(LibusbTransportTest, MissingUnitIsNotFound) {
    // No machine has a device at address 255 of bus 255 (addresses end at 127).
    auto usb = MakeLibusbTransport();
    ASSERT_NE(usb, nullptr);
    EXPECT_EQ(usb->Open("255:255"), kIoNotFound);
    EXPECT_FALSE(usb->IsOpen());
    // A name that is no bus address finds nothing either.
    EXPECT_EQ(usb->Open("COM1"), kIoNotFound);
    EXPECT_FALSE(usb->IsOpen());
}

}  // namespace
}  // namespace tracora::device
