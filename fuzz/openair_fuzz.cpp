// OpenAir text: the reader, the outline of every airspace read, the writer with and without
// arcs read back, and both exports.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "formats/openair/airspace_exports.hpp"
#include "formats/openair/ctr_polygon.hpp"
#include "formats/openair/openair_parser.hpp"
#include "formats/openair/openair_writer.hpp"

namespace {

using tracora::CtrArea;
namespace openair = tracora::openair;

int Parse(const std::string& text, std::vector<CtrArea>& areas) {
    openair::OpenAirReport report;
    const int count = openair::ParseOpenAir(text, areas, report);
    if (count < 0 && (!areas.empty() || report.message.empty() || report.code == 0)) {
        std::abort();  // a failure always has its message and keeps nothing
    }
    if (count >= 0 && static_cast<std::size_t>(count) != areas.size()) {
        std::abort();
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    std::vector<CtrArea> areas;
    if (Parse(text, areas) <= 0) {
        return 0;
    }
    std::vector<const CtrArea*> all;
    for (const CtrArea& area : areas) {
        if (area.segments.empty() || area.name.size() > CtrArea::kMaxName) {
            std::abort();
        }
        all.push_back(&area);
    }
    const int segmentError = 1 + static_cast<int>(size % 50);
    std::vector<openair::AirspaceOutline> outlines;
    if (openair::MakeOutlines(all, segmentError, 0, outlines) != 0) {
        std::abort();
    }
    // What the writer writes reads back as the same number of airspaces.
    std::vector<CtrArea> back;
    if (Parse(openair::WriteOpenAir(all, true, segmentError), back) !=
        static_cast<int>(areas.size())) {
        std::abort();
    }
    std::vector<CtrArea> flat;
    Parse(openair::WriteOpenAir(all, false, segmentError), flat);
    const std::string gpx = openair::AirspaceGpx(outlines, {}, "0.01");
    if (gpx.find('\0') != std::string::npos) {
        std::abort();
    }
    openair::AirspaceMapScript(outlines);
    return 0;
}
