// The XML tag reader and the KML readers on any bytes: the tags come in order inside the text
// and the walk ends; every track found decodes to as many points as it claims; the Document
// content lies inside the text; the waypoint reader never fails silently.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/common/xml_walker.hpp"
#include "formats/kml/kml_reader.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    tracora::formats::XmlTagReader reader(text);
    std::size_t last = 0;
    for (std::size_t n = 0;; ++n) {
        const tracora::formats::XmlTag tag = reader.Next();
        if (tag.start < last || tag.end < tag.start || tag.end > text.size() || n > size + 1) {
            std::abort();
        }
        last = tag.end;
        if (tag.result == tracora::formats::XmlTagResult::kEndOfText ||
            tag.result == tracora::formats::XmlTagResult::kEndInTag) {
            break;
        }
    }

    const tracora::kml::KmlTracks tracks = tracora::kml::FindKmlTracks(text);
    if ((tracks.status > 0) != !tracks.tracks.empty() ||
        (tracks.status <= 0 && tracks.message.empty())) {
        std::abort();
    }
    for (const tracora::kml::KmlTrackText& track : tracks.tracks) {
        const tracora::kml::KmlTrackRead read = tracora::kml::DecodeKmlTrack(track);
        if (read.status > 0 ? static_cast<std::size_t>(read.status) != read.points.size()
                            : (read.message.empty() || !read.points.empty())) {
            std::abort();
        }
        (void)tracora::kml::KmlTrackLabel(track);
    }

    std::size_t start = 0;
    std::size_t end = 0;
    if (tracora::kml::LocateKmlDocument(text, start, end) == 0 &&
        (start > end || end > text.size())) {
        std::abort();
    }

    tracora::waypoints::WaypointReadOptions options;
    options.lenientNames = true;
    options.readTime = 1000;
    const tracora::waypoints::WaypointReadResult points =
        tracora::kml::ReadKmlWaypoints(text, options);
    if (points.status < 0 && points.message.empty()) {
        std::abort();
    }
    return 0;
}
