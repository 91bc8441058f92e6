#include "documents/airspace_commands.hpp"

#include <algorithm>
#include <new>

#include "core/file_io.hpp"
#include "core/save_file.hpp"
#include "core/strings.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "core/version.hpp"
#include "documents/file_read_messages.hpp"
#include "formats/igc/igc_writer.hpp"
#include "formats/openair/airspace_exports.hpp"
#include "formats/openair/ctr_polygon.hpp"
#include "formats/openair/openair_parser.hpp"
#include "formats/openair/openair_writer.hpp"

namespace tracora::documents {

namespace {

constexpr const char* kReadCtrFileTitle = "Read CTR file";
constexpr const char* kReadingCtrFileTitle = "Reading CTR file";
constexpr const char* kSaveCtrTitle = "Save CTR(s)";
// The characters of a name the instrument keeps.
constexpr std::size_t kInstrumentNameChars = 17;

std::vector<const CtrArea*> AreasAt(const AppState& state, std::span<const std::size_t> rows) {
    std::vector<const CtrArea*> areas;
    for (const std::size_t row : rows) {
        if (row < state.airspaces.areas.size()) {
            areas.push_back(&state.airspaces.areas[row]);
        }
    }
    return areas;
}

}  // namespace

int ParseAirspaceText(Host& host, std::string_view text, std::vector<CtrArea>& out) {
    openair::OpenAirReport report;
    const int count = openair::ParseOpenAir(text, out, report);
    for (const openair::OpenAirNotice& notice : report.notices) {
        if (host.ShowCtrNotification(notice.text)) {
            break;
        }
    }
    if (count < 0) {
        host.ShowMessage(openair::kParseTitle, report.message);
        out.clear();
        return -1;
    }
    return count;
}

int FixEqualCtrNames(Host& host, std::vector<CtrArea>& areas) {
    bool asked = false;
    int changed = 0;
    for (std::size_t i = 0; i < areas.size(); ++i) {
        int number = 0;
        for (std::size_t j = i + 1; j < areas.size(); ++j) {
            if (areas[j].name != areas[i].name) {
                continue;
            }
            if (!asked) {
                asked = true;
                if (host.Ask("Equal CTR name(s)", "Fix name by appending number ?",
                             QuestionButtons::kYesNo) != Answer::kYes) {
                    return 0;
                }
            }
            const std::string suffix = StringPrintf("(%d)", ++number);
            const std::size_t room =
                CtrArea::kMaxName > suffix.size() ? CtrArea::kMaxName - suffix.size() : 0;
            areas[j].name = CutUtf8(areas[j].name, room) + suffix;
            ++changed;
        }
    }
    return changed;
}

int ReadCtrFileCommand(AppState& state, Host& host) {
    if (state.busy.load()) {
        host.ShowMessage(kReadCtrFileTitle, std::string(kBusyGpsDriver));
        return 0;
    }
    FileDialogRequest request;
    request.title = "Read CTR";
    request.filters = {{"OpenAir files", "txt"}, {"All Files", "*"}};
    request.folder = state.settings.ctrDir;
    const std::optional<FileDialogResult> chosen = host.OpenFileDialog(request);
    if (!chosen) {
        return 0;
    }
    std::filesystem::path path = chosen->path;
    if (chosen->filterIndex == 1 && !path.has_extension()) {
        path += ".txt";
    }
    if (path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kReadCtrFileTitle, kTooLongFileName);
        return 0;
    }
    state.settings.ctrDir = path.parent_path().string();
    std::string text;
    if (const char* message = FileReadMessage(ReadWholeFile(path, text), "Error opening CTR file",
                                              "CTR file read error")) {
        host.ShowMessage(kReadingCtrFileTitle, message);
        return 0;
    }
    std::vector<CtrArea> read;
    const int count = ParseAirspaceText(host, text, read);
    if (count < 0) {
        return 0;
    }
    if (count == 0) {
        host.ShowMessage(kReadingCtrFileTitle, "No CTR found");
        return 0;
    }
    host.SetStatus(StringPrintf("%d CTRs read", count));
    std::vector<CtrArea>& list = state.airspaces.areas;
    if (!list.empty() && host.Ask(kReadCtrFileTitle, "Keep current CTR list ?",
                                  QuestionButtons::kYesNo) == Answer::kYes) {
        read.insert(read.end(), std::make_move_iterator(list.begin()),
                    std::make_move_iterator(list.end()));
    }
    list = std::move(read);
    FixEqualCtrNames(host, list);
    return count;
}

int WriteCtrFileCommand(AppState& state, Host& host, std::span<const std::size_t> rows,
                        CtrWriteKind kind) {
    const std::vector<const CtrArea*> areas = AreasAt(state, rows);
    if (areas.empty()) {
        host.ShowMessage("Write CTR", kNoCtrSelected);
        return 0;
    }
    const bool gpx = kind == CtrWriteKind::kGpx;
    FileDialogRequest request;
    request.title = kSaveCtrTitle;
    request.filters = {{"CTR files", gpx ? "gpx" : "txt"}, {"All files", "*"}};
    request.folder = state.settings.ctrDir;
    const std::optional<FileDialogResult> chosen = host.SaveFileDialog(request);
    if (!chosen) {
        return 0;
    }
    std::filesystem::path path = chosen->path;
    if (chosen->filterIndex == 1) {
        path = WithDefaultExtension(path, gpx ? "gpx" : "txt");
    }
    if (path.native().size() > kMaxSavePathLength) {
        host.ShowMessage(kSaveCtrTitle, kTooLongFileName);
        return 0;
    }
    state.settings.ctrDir = path.parent_path().string();
    std::string text;
    try {
        switch (kind) {
            case CtrWriteKind::kOpenAir:
            case CtrWriteKind::kOpenAirNoArcs:
                text = openair::WriteOpenAir(areas, kind == CtrWriteKind::kOpenAir,
                                             state.maxSegmentError);
                break;
            case CtrWriteKind::kGpx:
            case CtrWriteKind::kMapScript: {
                std::vector<openair::AirspaceOutline> outlines;
                if (openair::MakeOutlines(areas, state.maxSegmentError, CurrentTime(), outlines) !=
                    0) {
                    throw std::bad_alloc();
                }
                text = gpx ? openair::AirspaceGpx(outlines, CurrentCalendarTime(),
                                                  igc::IgcVersionText(kVersion))
                           : openair::AirspaceMapScript(outlines);
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        host.ShowMessage(gpx ? "Save CTR(s) in .gpx file" : "Make CTR file buffer",
                         gpx ? "Memory allocation error" : "File buffer memory allocation error");
        return 0;
    }
    if (WriteDocumentFile(host, path, text, ExistingFile::kAsk, kSaveCtrTitle) != kSaveWritten) {
        return 0;
    }
    host.SetStatus(path.string() + ": " + StringPrintf("%zu CTR(s) written", areas.size()));
    return static_cast<int>(areas.size());
}

int DeleteCtrCommand(AppState& state, Host& host, std::span<const std::size_t> rows) {
    std::vector<std::size_t> sorted(rows.begin(), rows.end());
    std::sort(sorted.begin(), sorted.end());
    sorted.erase(std::unique(sorted.begin(), sorted.end()), sorted.end());
    std::vector<CtrArea>& list = state.airspaces.areas;
    int removed = 0;
    for (auto it = sorted.rbegin(); it != sorted.rend(); ++it) {
        if (*it < list.size()) {
            list.erase(list.begin() + static_cast<std::ptrdiff_t>(*it));
            ++removed;
        }
    }
    if (removed == 0) {
        host.ShowMessage("Delete CTR", kNoCtrSelected);
    }
    return removed;
}

int ShowCtrAsWaypointsCommand(AppState& state, Host& host, std::span<const std::size_t> rows) {
    const std::vector<const CtrArea*> areas = AreasAt(state, rows);
    if (areas.empty()) {
        host.ShowMessage("Show CTR", "No CTR selected");
        return 0;
    }
    std::vector<Waypoint> points;
    const auto number = static_cast<int>(areas.front() - state.airspaces.areas.data());
    if (openair::CtrToPolygon(*areas.front(), number, state.maxSegmentError, CurrentTime(),
                              points) != 0) {
        host.ShowMessage("Show CTR", "Memory allocation error");
        return 0;
    }
    state.waypoints.items = std::move(points);
    return 1;
}

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// Blanks and line ends around `text` removed.
std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsBlank(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

// An unsigned decimal number of at most nine digits.
bool UnsignedNumber(std::string_view text, std::int32_t& value) {
    if (text.empty() || text.size() > 9) {
        return false;
    }
    std::int32_t v = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return false;
        }
        v = v * 10 + (c - '0');
    }
    value = v;
    return true;
}

}  // namespace

int AcceptCtrEdit(Host& host, const std::string& title, std::string_view warningText,
                  std::string_view text, CtrArea& out) {
    const std::string_view warning = Trimmed(warningText);
    if (warning.empty()) {
        host.ShowMessage(title, "Missing warning distance input");
        return -1;
    }
    std::int32_t distance = 0;
    if (!UnsignedNumber(warning, distance)) {
        host.ShowMessage(title, "Bad warning distance format");
        return -1;
    }
    if (Trimmed(text).empty()) {
        host.ShowMessage(title, "Missing text");
        return -1;
    }
    std::vector<CtrArea> parsed;
    const int count = ParseAirspaceText(host, text, parsed);
    if (count < 0) {
        return -1;
    }
    if (count == 0) {
        host.ShowMessage(title, "No CTR found");
        return -1;
    }
    out = std::move(parsed.front());
    out.warningDistance = distance;
    return 0;
}

int AcceptSegmentError(AppState& state, Host& host, std::string_view input) {
    constexpr const char* kTitle = "Set segment error";
    const std::string_view value = Trimmed(input);
    if (value.empty()) {
        host.ShowMessage(kTitle, "Missing input");
        return -1;
    }
    std::int32_t metres = 0;
    if (!UnsignedNumber(value, metres)) {
        host.ShowMessage(kTitle, "Bad input");
        return -1;
    }
    if (metres < 1) {
        host.ShowMessage(kTitle, "Use 1m or greater");
        return -1;
    }
    state.maxSegmentError = metres;
    return 0;
}

int PrepareCtrUpload(AppState& state, Host& host, std::span<const std::size_t> rows,
                     std::vector<CtrArea>& selected) {
    selected.clear();
    for (CtrArea& area : state.airspaces.areas) {
        area.selected = false;
    }
    for (const std::size_t row : rows) {
        if (row < state.airspaces.areas.size()) {
            state.airspaces.areas[row].selected = true;
        }
    }
    for (const CtrArea& area : state.airspaces.areas) {
        if (area.selected) {
            selected.push_back(area);
        }
    }
    if (selected.empty()) {
        host.ShowMessage("Upload CTR", kNoCtrSelected);
        return -1;
    }
    for (std::size_t i = 0; i < selected.size(); ++i) {
        for (std::size_t j = i + 1; j < selected.size(); ++j) {
            const std::string_view a = selected[i].name;
            const std::string_view b = selected[j].name;
            if (a.substr(0, kInstrumentNameChars) != b.substr(0, kInstrumentNameChars)) {
                continue;
            }
            host.ShowMessage("Upload CTR",
                             a.size() <= kInstrumentNameChars && b.size() <= kInstrumentNameChars
                                 ? "One or more of the selected CTRs have equal names"
                                 : "One or more of the selected CTRs have equal\r\nnames after "
                                   "limiting the length to fit the GPS");
            selected.clear();
            return -1;
        }
    }
    return 0;
}

}  // namespace tracora::documents
