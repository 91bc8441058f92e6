// What a Flytec instrument (or line noise) can send: the received bytes through the IGC
// download receiver, the waypoint answer parser, the NMEA splitter and the flight-list fields,
// the airspace acknowledgement parser and the airspace list (assembler and parser, whose
// airspaces are encoded again as the emulator would serve them).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "protocols/common/flight_list.hpp"
#include "protocols/common/igc_download.hpp"
#include "protocols/common/nmea.hpp"
#include "protocols/flytec/flytec_ctr.hpp"
#include "protocols/flytec/flytec_frames.hpp"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    using namespace tracora::protocols;
    const std::string_view text(reinterpret_cast<const char*>(data), size);

    IgcReceiver receiver;
    for (std::size_t i = 0; i < size; ++i) {
        const IgcReceiver::Event event = receiver.Feed(data[i]);
        if (event != IgcReceiver::Event::kNone && event != IgcReceiver::Event::kLineParsed) {
            // The session gives the track up here; the fuzzer goes on with a fresh one.
            receiver.StartTrack();
        }
    }

    flytec::FlytecWaypointParser parser;
    for (std::size_t i = 0; i < size; ++i) {
        if (parser.Feed(data[i]) == 0) {
            flytec::ToWaypoint(parser.Fields(), 0);
        }
    }

    std::vector<std::string> fields;
    const int split = SplitNmeaSentence(text, fields, 8);
    FlightListEntry entry;
    ParseFlightListFields(split, fields, "$PBRTL", entry);
    flytec::FlytecProduct product;
    flytec::DecodeProductData(fields, product);
    flytec::UploadedWaypoint upload;
    flytec::DecodeWaypointUpload(text, upload);

    flytec::CtrAckParser ack;
    flytec::CtrSentenceAssembler assembler;
    flytec::CtrListParser list;
    for (std::size_t i = 0; i < size; ++i) {
        ack.Feed(data[i]);
        if (assembler.Feed(data[i]) == 0 && list.Sentence(assembler.Sentence()) > 0) {
            list.Reset();
        }
    }
    std::vector<flytec::CtrSentence> sentences;
    for (const tracora::CtrArea& area : list.Areas()) {
        flytec::CtrSentences(area, flytec::kCtrListIdentifier, false, sentences);
    }
    return 0;
}
