#include "device/io_status.hpp"

namespace tracora::device {

const char* IoStatusName(int status) {
    switch (status) {
        case kIoError:
            return "system error";
        case kIoAborted:
            return "aborted";
        case kIoLinkLost:
            return "link lost";
        case kIoTimedOut:
            return "timed out";
        case kIoBusy:
            return "port busy";
        case kIoNotFound:
            return "no such port";
        case kIoNotOpen:
            return "not open";
        case kIoBadArgument:
            return "bad argument";
        default:
            return status >= 0 ? "ok" : "unknown status";
    }
}

}  // namespace tracora::device
