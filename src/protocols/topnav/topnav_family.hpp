// The Top Navigator and XC Trainer family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::topnav {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::topnav
