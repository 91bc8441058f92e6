// A generic instrument for trying the link: it reports the line settings the session chose and
// every line it receives, and answers as its options say.
#pragma once

#include "emulate/emulator_registry.hpp"

namespace tracora::emulate {

int RunLineProbe(EmulatorSession& session);

}  // namespace tracora::emulate
