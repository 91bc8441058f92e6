// The airspace ("CTR") commands of the window: reading an OpenAir file (with its notifications
// and the equal-name fixing), writing the selected airspaces as OpenAir (with or without arcs),
// GPX or web-map script, deleting them, showing one as waypoints, and the checks and the
// installing around the instrument transfers. Pure of any GUI: every question and dialog goes
// through the Host.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "core/app_state.hpp"
#include "core/host.hpp"

namespace tracora::documents {

inline constexpr const char* kNoCtrSelected = "No CTR(s) selected";

// Parses an OpenAir text; each dropped airspace is told in the "CTR error notification" box
// until the user ticks "Skip further notifications". The count, or -1 with the parser's
// message shown (nothing in `out`).
int ParseAirspaceText(Host& host, std::string_view text, std::vector<CtrArea>& out);

// Appends "(1)", "(2)", ... to the later airspaces that repeat an earlier one's name, after
// asking "Fix name by appending number ?" once. The number of names changed.
int FixEqualCtrNames(Host& host, std::vector<CtrArea>& areas);

// "Read CTR(s) from file": refused while a device job runs; the open dialog (in the CtrDir
// folder, which it updates); the read; "Keep current CTR list ?" when a list exists (Yes puts
// the new airspaces first); the equal-name fixing. The count read, 0 when nothing changed.
int ReadCtrFileCommand(AppState& state, Host& host);

enum class CtrWriteKind { kOpenAir, kOpenAirNoArcs, kGpx, kMapScript };

// The write commands for the airspaces at `rows`: the save dialog ("Save CTR(s)"), the whole
// text built in memory, then the file. Outlines are made for the exports only: the track log is
// never touched. The count written, 0 when nothing was.
int WriteCtrFileCommand(AppState& state, Host& host, std::span<const std::size_t> rows,
                        CtrWriteKind kind);

// "Delete CTR(s)". The count removed.
int DeleteCtrCommand(AppState& state, Host& host, std::span<const std::size_t> rows);

// "Show CTR as waypoints": the outline of the first selected airspace replaces the waypoint
// list. 1 when it did, 0 otherwise.
int ShowCtrAsWaypointsCommand(AppState& state, Host& host, std::span<const std::size_t> rows);

// The OK of the "Edit CTR" and "New CTR" dialogs (`title`): the warning distance text must be
// an unsigned number ("Missing warning distance input", "Bad warning distance format"), the
// text not empty ("Missing text") and an OpenAir text with at least one airspace; the first one,
// with the warning distance, goes to `out` (any further ones are dropped). 0, or -1 with the
// message shown (the dialog stays open).
int AcceptCtrEdit(Host& host, const std::string& title, std::string_view warningText,
                  std::string_view text, CtrArea& out);

// The OK of "Set max. segment error": input required ("Missing input"), an unsigned number
// ("Bad input"), at least 1 ("Use 1m or greater"). 0 with the new value in state, or -1 with
// the message shown.
int AcceptSegmentError(AppState& state, Host& host, std::string_view input);

// Before an upload: marks the airspaces at `rows` selected (all others not) and copies them to
// `selected`. 0, or -1 with the refusal shown: none selected, or two names equal in the 17
// characters the instrument keeps.
int PrepareCtrUpload(AppState& state, Host& host, std::span<const std::size_t> rows,
                     std::vector<CtrArea>& selected);

}  // namespace tracora::documents
