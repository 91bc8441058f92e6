// Results of the serial layer's calls: 0 or a count on success, one of these codes on failure.
#pragma once

namespace tracora::device {

inline constexpr int kIoError = -1;        // a system call failed; LastErrno() tells which
inline constexpr int kIoAborted = -2;      // the wake event was set (an abort)
inline constexpr int kIoLinkLost = -3;     // the device went away or the other end hung up
inline constexpr int kIoTimedOut = -4;     // a write could not be finished in time
inline constexpr int kIoBusy = -5;         // another program holds the port
inline constexpr int kIoNotFound = -6;     // no device under that name
inline constexpr int kIoNotOpen = -7;      // the port or link is closed
inline constexpr int kIoBadArgument = -8;  // an unusable baud rate or buffer size

// A short English name of a status for traces and test messages ("aborted", "link lost").
const char* IoStatusName(int status);

}  // namespace tracora::device
