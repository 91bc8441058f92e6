#include "device/port_names.hpp"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>

namespace tracora::device {
namespace {

namespace fs = std::filesystem;

TEST(ResolvePortNameTest, NamesResolveToDevicePaths) {
    const PortTable table = {
        {5, "/dev/ttyUSB0"},
        {7, "/dev/serial/by-id/usb-Maker_Cable-if00-port0"},
        {2, "ttyUSB1"},  // not a path: ignored
    };
    struct Case {
        const char* name;
        const char* expected;
    };
    const Case cases[] = {
        {"/dev/ttyUSB0", "/dev/ttyUSB0"},
        {"/tmp/odd path", "/tmp/odd path"},
        {"./port", "./port"},
        {"../emulator/port", "../emulator/port"},
        {"COM1", "/dev/ttyS0"},
        {"com3", "/dev/ttyS2"},
        {"Com10", "/dev/ttyS9"},
        {"\\\\.\\COM12", "/dev/ttyS11"},
        {"\\\\.\\com12", "/dev/ttyS11"},
        {"  COM4 \r\n", "/dev/ttyS3"},
        {"COM011", "/dev/ttyS10"},
        {"COM5", "/dev/ttyUSB0"},
        {"\\\\.\\COM7", "/dev/serial/by-id/usb-Maker_Cable-if00-port0"},
        {"COM2", "/dev/ttyS1"},
        {"COM0", ""},
        {"COM", ""},
        {"COM-1", ""},
        {"COM+1", ""},
        {"COM 1", ""},
        {"COM1x", ""},
        {"COM1:", ""},
        {"COM99999999999999999999", ""},
        {"LPT1", ""},
        {"ttyUSB0", ""},
        {"\\\\.\\", ""},
        {"", ""},
        {"   ", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ResolvePortName(c.name, table), c.expected);
    }
}

TEST(NaturalLessTest, DigitRunsCompareByValue) {
    struct Case {
        const char* a;
        const char* b;
        bool less;
    };
    const Case cases[] = {
        {"ttyUSB2", "ttyUSB10", true}, {"ttyUSB10", "ttyUSB2", false},
        {"ttyACM0", "ttyS0", true},    {"ttyS9", "ttyUSB0", true},
        {"ttyS", "ttyS0", true},       {"a", "a", false},
        {"a1", "a01", true},           {"a01", "a1", false},
        {"x2y10", "x2y9", false},      {"x99999999999999999999", "x100000000000000000000", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.a) + " < " + c.b);
        EXPECT_EQ(NaturalLess(c.a, c.b), c.less);
    }
}

// A small /dev and /sys as udev and the kernel lay them out, in a temporary folder.
class FakeTreeTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::path(::testing::TempDir()) / "ports-XXXXXX").string();
        ASSERT_NE(::mkdtemp(pattern.data()), nullptr);
        root_ = fs::canonical(pattern);
        dev_ = root_ / "dev";
        sys_ = root_ / "sys";
    }
    void TearDown() override {
        std::error_code ec;
        fs::remove_all(root_, ec);
    }

    static void WriteFile(const fs::path& path, std::string_view text) {
        fs::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }
    static void Link(const fs::path& link, const fs::path& target) {
        fs::create_directories(link.parent_path());
        fs::create_directory_symlink(target, link);
    }
    void DeviceNode(std::string_view name) { WriteFile(dev_ / name, ""); }
    // /sys/class/tty/<name>/device -> a folder under /sys/devices.
    void TtyDevice(const std::string& name, const fs::path& deviceUnderDevices) {
        fs::create_directories(sys_ / "devices" / deviceUnderDevices);
        Link(sys_ / "class" / "tty" / name / "device",
             fs::path("../../..") / "devices" / deviceUnderDevices);
    }
    // A legacy port with the 8250 driver bound and the given type ("" = no type attribute).
    void LegacyPort(const std::string& name, std::string_view type) {
        const fs::path device = fs::path("platform/serial8250") / name;
        TtyDevice(name, device);
        fs::create_directories(sys_ / "bus/platform/drivers/serial8250");
        Link(sys_ / "devices" / device / "driver", "../../../../bus/platform/drivers/serial8250");
        if (!type.empty()) {
            WriteFile(sys_ / "class/tty" / name / "type", type);
        }
    }

    fs::path root_, dev_, sys_;
};

TEST_F(FakeTreeTest, ListsRealPortsOnceInNaturalOrderWithProductNames) {
    // USB adapters: the tty's device is the usb-serial port or the interface; the USB device
    // with its descriptor texts is one or two levels up.
    DeviceNode("ttyUSB10");
    TtyDevice("ttyUSB10", "pci0/usb1/1-1/1-1:1.0/ttyUSB10");
    WriteFile(sys_ / "devices/pci0/usb1/1-1/product", "Cable\n");
    WriteFile(sys_ / "devices/pci0/usb1/1-1/manufacturer", "Maker\n");
    Link(dev_ / "serial/by-id/usb-Maker_Cable_A1-if00-port0", "../../ttyUSB10");

    DeviceNode("ttyUSB2");
    TtyDevice("ttyUSB2", "pci0/usb1/1-2/1-2:1.0/ttyUSB2");
    WriteFile(sys_ / "devices/pci0/usb1/1-2/product", "Bad\x1b[31mName\n");

    DeviceNode("ttyACM0");
    TtyDevice("ttyACM0", "pci0/usb1/1-3/1-3:1.0");
    WriteFile(sys_ / "devices/pci0/usb1/1-3/product", "Flight Co Vario 2\n");
    WriteFile(sys_ / "devices/pci0/usb1/1-3/manufacturer", "Flight Co\n");
    Link(dev_ / "serial/by-id/usb-Flight_Co_Vario_2-if00", "../../ttyACM0");

    // Legacy ports: a UART (type 4), an empty slot (type 0), a node without a driver, one
    // whose type is not published (kept: the driver is bound), and a sysfs entry without node.
    DeviceNode("ttyS0");
    LegacyPort("ttyS0", "4\n");
    DeviceNode("ttyS1");
    LegacyPort("ttyS1", "0\n");
    DeviceNode("ttyS2");
    fs::create_directories(sys_ / "class/tty/ttyS2");
    DeviceNode("ttyS4");
    LegacyPort("ttyS4", "");
    LegacyPort("ttyS3", "4\n");

    // Not ports, or not there.
    DeviceNode("ttyUSBx");
    DeviceNode("tty0");
    DeviceNode("ttyUSB");
    Link(dev_ / "serial/by-id/usb-Gone-if00-port0", "../../ttyUSB7");

    std::vector<SerialPortInfo> ports = {{"stale", "", ""}};
    const int count = ListComPorts(ports, dev_, sys_);

    const std::string dev = dev_.string();
    const std::vector<SerialPortInfo> expected = {
        {dev + "/ttyACM0", dev + "/serial/by-id/usb-Flight_Co_Vario_2-if00", "Flight Co Vario 2"},
        {dev + "/ttyS0", "", ""},
        {dev + "/ttyS4", "", ""},
        {dev + "/ttyUSB2", "", "Bad?[31mName"},
        {dev + "/ttyUSB10", dev + "/serial/by-id/usb-Maker_Cable_A1-if00-port0", "Maker Cable"},
    };
    EXPECT_EQ(count, static_cast<int>(expected.size()));
    ASSERT_EQ(ports.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].path);
        EXPECT_EQ(ports[i].path, expected[i].path);
        EXPECT_EQ(ports[i].byIdPath, expected[i].byIdPath);
        EXPECT_EQ(ports[i].product, expected[i].product);
    }
}

TEST_F(FakeTreeTest, MissingTreesGiveAnEmptyList) {
    std::vector<SerialPortInfo> ports = {{"stale", "", ""}};
    EXPECT_EQ(ListComPorts(ports, root_ / "no-dev", root_ / "no-sys"), 0);
    EXPECT_TRUE(ports.empty());

    // Without sysfs, USB nodes are still listed (no product), legacy ports are not.
    DeviceNode("ttyUSB0");
    DeviceNode("ttyS0");
    ASSERT_EQ(ListComPorts(ports, dev_, root_ / "no-sys"), 1);
    EXPECT_EQ(ports[0], (SerialPortInfo{dev_.string() + "/ttyUSB0", "", ""}));
}

}  // namespace
}  // namespace tracora::device
