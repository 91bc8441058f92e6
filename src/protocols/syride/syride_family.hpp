// The Syride SYS'Nav family's record.
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::syride {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::syride
