// The Flytec/Brauniger family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::flytec {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::flytec
