// The Digifly Air and Leonardo Pro family's record ($PDGF memory protocol).
#pragma once

#include "protocols/family.hpp"

namespace tracora::protocols::digifly {

extern const InstrumentFamily kFamily;

}  // namespace tracora::protocols::digifly
