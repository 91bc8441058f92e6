// The pilot list's file forms: the scoring program's FS database (.fsdb), a RACE database
// export (both XML), and comma-separated text, read from text in memory; and the
// comma-separated export.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/pilot_list.hpp"

namespace tracora::competition {

enum class PilotListKind { kCsv, kFsDatabase, kRaceDatabase };

struct PilotListRead {
    PilotListKind kind = PilotListKind::kCsv;
    std::vector<PilotEntry> pilots;
    std::string title;    // of the message when the read failed
    std::string message;  // empty on success
};

inline constexpr const char* kDecodingPilotListTitle = "Decoding pilot list file";

// Reads a whole pilot list file's text. The first tag decides the form: none (or the text ends
// inside it) is comma-separated text, "RACE" a RACE database, "?xml" an FS database; anything but
// a UTF-8 byte-order mark before that tag is refused. Returns the number of pilots (at least
// one), or -1 with `read.title` and `read.message` set.
int ReadPilotListText(std::string_view text, PilotListRead& read);

// The comma-separated export: "Name,CompId,CivlId,Device1,...,Device4" and one line per pilot,
// CR LF ends. A field holding a comma, a quote, a line break or blanks the import would drop
// is written in double quotes (a quote doubled inside).
std::string PilotListCsvText(std::span<const PilotEntry> pilots);

}  // namespace tracora::competition
