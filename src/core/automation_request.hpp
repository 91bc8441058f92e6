// The request one command line (or one remote command) makes: which device job to run and
// what to do with its result.
#pragma once

namespace tracora {

struct AutomationRequest {
    bool exitWhenDone = false;  // EXIT: close the program when the job is done
    bool noSplit = false;       // NOSPLIT: save whole track logs without the split question
};

}  // namespace tracora
