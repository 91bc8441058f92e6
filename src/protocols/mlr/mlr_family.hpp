// The MLR family's record: MLR, MLR Fast and the Leonardo reading at 38,400 baud.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::mlr {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::mlr
