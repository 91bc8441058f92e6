#include "formats/openair/openair_format.hpp"

#include <new>
#include <vector>

#include "formats/openair/ctr_polygon.hpp"
#include "formats/openair/openair_parser.hpp"
#include "formats/openair/openair_writer.hpp"

namespace tracora::openair {
namespace {

constexpr std::string_view kExtensions[] = {"txt", "openair"};

formats::ReadResult ReadOpenAir(std::string_view text) {
    formats::ReadResult result;
    OpenAirReport report;
    const int count = ParseOpenAir(text, result.airspaces, report);
    if (count < 0) {
        result.status = -1;
        result.message = report.message;
        return result;
    }
    if (count == 0) {
        result.status = -1;
        result.message = "No CTRs found";
        return result;
    }
    result.status = count;
    return result;
}

int WriteOpenAirDocument(const formats::WriteInput& input, formats::TextBuffer& out,
                         std::string& message) {
    if (input.airspaces.empty()) {
        message = "No CTR(s) selected";
        return -1;
    }
    try {
        std::vector<const CtrArea*> areas;
        areas.reserve(input.airspaces.size());
        for (const CtrArea& area : input.airspaces) {
            areas.push_back(&area);
        }
        out.Append(WriteOpenAir(areas, true, kDefaultMaxSegmentError));
    } catch (const std::bad_alloc&) {
        message = "File buffer memory allocation error";
        return -1;
    }
    return 0;
}

}  // namespace

const formats::FormatRecord kOpenAirFormat{
    .id = "openair",
    .name = "OpenAir files",
    .extensions = kExtensions,
    .holds = {.airspace = true},
    .directions = {.read = true, .write = true},
    .read = &ReadOpenAir,
    .write = &WriteOpenAirDocument,
};

}  // namespace tracora::openair
