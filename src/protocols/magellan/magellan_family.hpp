// The Magellan family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::magellan {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::magellan
