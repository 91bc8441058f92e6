// The IQ Basic / Flytec 6015 family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::iqbasic {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::iqbasic
