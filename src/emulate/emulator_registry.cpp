#include "emulate/emulator_registry.hpp"

#include <termios.h>

#include "emulate/line_probe.hpp"

namespace tracora::emulate {

namespace {

constexpr std::string_view kProbeFaults[] = {"silence", "garbage", "cut"};

constexpr EmulatorEntry kProbe = {
    "probe", "a generic instrument: logs the line settings and every line it receives",
    "  --echo           send every received line back\n"
    "  --reply TEXT     answer every received line with TEXT (CR LF appended)\n"
    "  --silent         receive but never answer\n"
    "  --garbage TEXT   send TEXT before the first answer\n"
    "  --cut-after N    cut the cable after N received lines\n",
    RunLineProbe, kProbeFaults};

struct SpeedName {
    speed_t speed;
    int baud;
};

constexpr SpeedName kSpeeds[] = {{B1200, 1200},     {B2400, 2400},     {B4800, 4800},
                                 {B9600, 9600},     {B19200, 19200},   {B38400, 38400},
                                 {B57600, 57600},   {B115200, 115200}, {B230400, 230400},
                                 {B460800, 460800}, {B921600, 921600}};

}  // namespace

// Made from the families' build lines (family_emulators.cpp in the build folder).
extern const EmulatorEntry* const kFamilyEmulators[];
extern const std::size_t kFamilyEmulatorCount;

std::vector<const EmulatorEntry*> Emulators() {
    std::vector<const EmulatorEntry*> all{&kProbe};
    all.insert(all.end(), kFamilyEmulators, kFamilyEmulators + kFamilyEmulatorCount);
    return all;
}

const EmulatorEntry* FindEmulator(std::string_view name) {
    for (const EmulatorEntry* entry : Emulators()) {
        if (entry->name == name)
            return entry;
    }
    return nullptr;
}

std::string LineSettingsText(int slaveFd) {
    termios line{};
    if (::tcgetattr(slaveFd, &line) != 0)
        return "unknown";
    const speed_t speed = ::cfgetospeed(&line);
    std::string text = "other";
    for (const SpeedName& s : kSpeeds) {
        if (s.speed == speed)
            text = std::to_string(s.baud);
    }
    const tcflag_t size = line.c_cflag & CSIZE;
    text += ' ';
    text += size == CS8 ? '8' : size == CS7 ? '7' : size == CS6 ? '6' : '5';
    text += (line.c_cflag & PARENB) == 0 ? 'N' : (line.c_cflag & PARODD) != 0 ? 'O' : 'E';
    text += (line.c_cflag & CSTOPB) != 0 ? '2' : '1';
    if ((line.c_iflag & (IXON | IXOFF)) != 0)
        text += " xon/xoff";
    if ((line.c_cflag & CRTSCTS) != 0)
        text += " rts/cts";
    return text;
}

}  // namespace tracora::emulate
