// The Flymaster family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::flymaster {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::flymaster
