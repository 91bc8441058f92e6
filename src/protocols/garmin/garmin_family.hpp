// The Garmin family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::garmin {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::garmin
