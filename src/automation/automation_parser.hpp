// Reading a command line into an AutomationRequest: the tokenizer, the keywords and the check of
// the action against the GPS type; and the names the request's output step gives its files.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "core/automation_request.hpp"
#include "core/host.hpp"
#include "core/time_base.hpp"

namespace tracora {

// What parsing needs from the system, passed in so that parsing itself stays pure.
struct AutomationEnvironment {
    // The millisecond tick count at parse time (becomes the notify tick).
    std::uint32_t tickMs = 0;
    // $XDG_RUNTIME_DIR; empty when unset (notify sockets then live under /tmp).
    std::string runtimeDir;
    // Reads the pilot list from a COMP_FS database file. 0 on success; negative after it has
    // shown its own message, which fails the parse. Absent: the file name is only stored.
    std::function<int(const std::string& file)> readPilotList;
};

// The environment of this process: the steady clock and $XDG_RUNTIME_DIR.
AutomationEnvironment SystemAutomationEnvironment();

// Parses the command line (the program's arguments as one text). Returns 0 with `out` holding
// the request, or 0 with `out` empty when the line is empty; -1 after a parse or validation
// error, which the host shows (title "Parsing command line") unless WIN=0 came before it;
// the caller then ends the program. `errorText`, when given, receives the error's text
// whether or not it was shown.
int ParseCommandLine(std::string_view text, Host& host, const AutomationEnvironment& environment,
                     std::optional<AutomationRequest>& out, std::string* errorText = nullptr);

// The checks of the action against the GPS type, the USB option and the notify target.
// 0, or -1 with the message to show.
int ValidateAutomationRequest(const AutomationRequest& request, std::string_view& message);

// The GPS transfer family of a device action; nothing for the actions that need no device.
std::optional<GpsActionFamily> ActionFamily(AutomationAction action);

// Replaces every "$date" in `name` by the date as YYYYMMDD. 0, or -1 when the result would be
// longer than a path may be (kFileNameMax) (`out` is then left as it was).
int ExpandDateInFileName(std::string_view name, const CalendarTime& date, std::string& out);

// Whether an IGC_LOG value names a directory (it ends in a path separator).
bool NamesDirectory(std::string_view name);

}  // namespace tracora
