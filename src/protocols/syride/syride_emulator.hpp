// The Syride SYS'Nav for tests: a HID device behind the fake HID back end that answers the
// report exchange from a flash memory image holding real flights and a waypoint table, erases
// and writes that memory, and injects faults into chosen answers.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "core/track_log.hpp"
#include "device/hid_transport.hpp"

namespace tracora::protocols::syride {

// The answers a fault can hit.
enum class SyrideStep { kIdentify, kList, kMemory, kErase, kWrite };

enum class SyrideFault {
    kSilence,  // the request is not answered (once)
    kGarbage,  // the answer's checksum is wrong (once): the request is made again
    kCut,      // the device is unplugged
    kNever,    // from then on no answer is ever valid
};

struct SyrideEmulatorConfig {
    std::string product = "SYS'Nav";
    std::uint32_t serial = 31337;
    // The flights, oldest first; each one point a second (UTC times).
    std::vector<std::vector<TrackPoint>> flights;
    std::vector<Waypoint> waypoints;
    // A flight whose entry announces a longer duration than its memory holds.
    int inconsistentFlight = -1;
};

class SyrideEmulator final : public device::HidDevice {
public:
    explicit SyrideEmulator(SyrideEmulatorConfig config);

    std::vector<std::vector<std::uint8_t>> Report(std::span<const std::uint8_t> request) override;
    std::uint16_t VendorId() const override;
    std::uint16_t ProductId() const override;
    std::string ProductString() const override { return config_.product; }
    bool Present() const override;

    void ArmFault(SyrideStep step, SyrideFault fault);
    // The stored waypoints as the instrument would list them.
    std::vector<Waypoint> Waypoints() const;
    // Sectors erased and pages written so far; the commands received.
    int Erased() const;
    int Written() const;
    std::vector<std::uint8_t> Commands() const;
    const std::vector<std::uint8_t>& Memory() const { return memory_; }

private:
    struct ArmedFault {
        SyrideStep step;
        SyrideFault fault;
    };
    bool TakeFault(SyrideStep step, SyrideFault& fault);

    SyrideEmulatorConfig config_;
    std::vector<std::uint8_t> memory_;
    std::vector<std::array<std::uint8_t, 20>> entries_;
    std::array<std::uint8_t, 256> pageBuffer_{};

    mutable std::mutex mutex_;
    std::vector<ArmedFault> faults_;
    std::vector<std::uint8_t> commands_;
    bool present_ = true;
    bool never_ = false;
    int erased_ = 0;
    int written_ = 0;
};

}  // namespace tracora::protocols::syride
