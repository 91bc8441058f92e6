// What a Magellan unit (or line noise) can send: bytes through the sentence receiver, and each
// complete sentence as a version answer, a track point and a waypoint.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "protocols/magellan/magellan_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols::magellan;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    SentenceReceiver receiver;
    for (std::size_t i = 0; i < size; ++i) {
        if (receiver.Feed(data[i]) != 0)
            continue;
        const std::string& body = receiver.Body();
        VersionAnswer version;
        if (ParseVersion(body, version) == 0) {
            InstrumentDescription(version);
            TrackLogRefusal(version);
        }
        tracora::TrackPoint point;
        ParseTrackPoint(body, point);
        tracora::Waypoint waypoint;
        if (ParseWaypoint(body, waypoint) == 0)
            WaypointUploadSentence(waypoint);
        IsEndOfDownload(body);
    }
    // The whole input as one body, as a sentence longer than the receiver keeps.
    tracora::TrackPoint point;
    ParseTrackPoint(text, point);
    tracora::Waypoint waypoint;
    ParseWaypoint(text, waypoint);
    VersionAnswer version;
    ParseVersion(text, version);
    return 0;
}
