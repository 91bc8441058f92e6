// The Ascent logger family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::ascent {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::ascent
