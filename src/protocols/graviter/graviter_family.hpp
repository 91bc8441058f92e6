// The Graviter family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::graviter {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::graviter
