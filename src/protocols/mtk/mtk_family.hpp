// The MTK logger family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::mtk {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::mtk
