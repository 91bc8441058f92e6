// A pseudo-terminal pair standing in for a serial cable: the session opens the slave's path
// with SerialPort like any port, and an instrument emulator talks through the master.
#pragma once

#include <string>

#include "core/unique_fd.hpp"

namespace tracora::device {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;
    PseudoTerminal(PseudoTerminal&&) noexcept = default;
    PseudoTerminal& operator=(PseudoTerminal&&) noexcept = default;
    ~PseudoTerminal() = default;

    // Creates the pair and sets the line raw at once, so that nothing the emulator writes
    // before the session configures the port is echoed back or edited. The pair also keeps
    // one descriptor of the slave open: without it the master reports a hang-up each time
    // the session closes the port, as a session does between connection attempts.
    // Returns 0 or kIoError (errno set). Closes a pair held before.
    int Open();

    // The slave's device path, for SerialPort::Open. Empty when closed.
    const std::string& SlavePath() const { return slavePath_; }
    // The master side (non-blocking), -1 when closed or handed over.
    int MasterFd() const { return master_.Get(); }
    // The slave descriptor the pair keeps open (for inspecting the line's state).
    int SlaveFd() const { return slave_.Get(); }

    // Hands the master over, typically to an EmulatorLink. Closing it cuts the cable.
    UniqueFd TakeMaster() { return std::move(master_); }

    void Close();

private:
    UniqueFd master_;
    UniqueFd slave_;
    std::string slavePath_;
};

}  // namespace tracora::device
