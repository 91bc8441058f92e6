// tracora-emulate's "flytec" instrument: the Flytec/Brauniger emulator with its options.
#pragma once

#include <string_view>

#include "emulate/emulator_registry.hpp"

namespace tracora::emulate {

int RunFlytecInstrument(EmulatorSession& session);

// The emulator's own options, for --list.
inline constexpr std::string_view kFlytecUsage =
    "  --igc FILE...         the stored flights (flight-list index 0 first); several files\n"
    "                        may follow one --igc\n"
    "  --model NAME[:SW]     product text and software version (default COMPEO+:1.22);\n"
    "                        COMPETINO:1.13 and COMPEO:2.19 have no flight list\n"
    "  --user NAME           the pilot name of the product data (default TEST PILOT)\n"
    "  --serial TEXT         the serial number (default 1234)\n"
    "  --no-track-list       answer no flight-list request whatever the model\n"
    "  --waypoints FILE      waypoints, one a line: latitude,longitude,short,long,altitude\n"
    "                        (decimal degrees, negative south/west); built-in ones otherwise\n"
    "  --rate BAUD           pace the answers at this line rate (10 bits a byte)\n"
    "  --no-g                leave the G records out of the IGC texts\n"
    "  --fault STEP:FAULT    STEP product, list, track or waypoints; FAULT silence,\n"
    "                        checksum, garbage, long-line, record-type, b-before-date or\n"
    "                        cut; hits the next answer of that step (repeatable)\n";

}  // namespace tracora::emulate
