// The pilot list commands: reading a list file (named, or chosen in the open dialog) into the
// program's list, and "Save pilot list as .csv".
#pragma once

#include <string>

#include "core/host.hpp"
#include "core/pilot_list.hpp"
#include "core/settings.hpp"

namespace tracora::competition {

inline constexpr const char* kReadPilotListTitle = "Read pilot list file";

struct PilotListReadOptions {
    // Asked before an existing list is replaced ("Current list will be overwritten, continue ?").
    bool askBeforeReplacing = false;
};

// Reads pilot list file `path` and, when it holds pilots, replaces `list` with them. Every
// failure shows one message and leaves `list` as it was. Returns the number of pilots or -1.
int ReadPilotListFile(Host& host, const std::string& path, PilotList& list,
                      const PilotListReadOptions& options);

// The open dialog (title "Read pilot list file", FS database files first, starting in
// `PilotListDir`), then ReadPilotListFile with the question before replacing a list unless
// `commandLineRun`. The chosen folder and file are remembered in the settings. Returns the
// number of pilots, 0 when cancelled, or -1.
int ReadPilotListWithDialog(Host& host, Settings& settings, PilotList& list, bool commandLineRun);

// "Save pilot list as .csv". Returns 0 when written, -1 otherwise (a message was shown unless the
// user cancelled).
int SavePilotListCsv(Host& host, Settings& settings, const PilotList& list);

}  // namespace tracora::competition
