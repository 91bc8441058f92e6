// The DSX flight recorder family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::dsx {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::dsx
