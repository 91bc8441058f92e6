// The LogIt and Tracklogger family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::logit {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::logit
