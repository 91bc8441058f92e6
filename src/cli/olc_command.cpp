#include "cli/olc_command.hpp"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <string_view>

#include "analysis/analysis_report.hpp"
#include "analysis/olc_optimisation.hpp"
#include "cli/cli_common.hpp"
#include "core/file_io.hpp"
#include "core/time_base.hpp"
#include "core/track_store.hpp"
#include "core/version.hpp"
#include "documents/olc_file.hpp"
#include "formats/igc/igc_names.hpp"
#include "formats/igc/igc_reader.hpp"

namespace tracora::cli {

namespace {

constexpr const char* kOlcUsage =
    "olc needs FILE.igc [--json] [--exact] [--olc OUT.olc [--with-igc] [--force]] and, for the\n"
    "  file, --first NAME --last NAME --birth DD.MM.YY --class 1-5 --glider TYPE --site PLACE\n"
    "  [--call SIGN] [--region CODE] [--flight 1-35] (pilot, glider and site default to\n"
    "  the IGC header's)";

// "Francis Durand": the first word is the first name, the rest the last name.
void SplitPilot(const std::string& pilot, olc::PilotData& data) {
    const std::size_t blank = pilot.find(' ');
    if (data.firstName.empty()) {
        data.firstName = pilot.substr(0, blank);
    }
    if (data.lastName.empty() && blank != std::string::npos) {
        data.lastName = pilot.substr(blank + 1);
    }
}

bool IsRegionCode(std::string_view code) {
    for (const olc::Region& region : olc::Regions()) {
        if (code == region.code) {
            return true;
        }
    }
    return false;
}

}  // namespace

int Olc(const std::vector<const char*>& args) {
    const char* path = nullptr;
    const char* olcPath = nullptr;
    bool json = false;
    bool withIgc = false;
    bool force = false;
    bool exact = false;
    olc::PilotData data;
    data.flightNumber = "1";
    data.gliderClass = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--json") {
            json = true;
        } else if (arg == "--with-igc") {
            withIgc = true;
        } else if (arg == "--force") {
            force = true;
        } else if (arg == "--exact") {
            exact = true;
        } else if (arg == "--olc" && hasValue) {
            olcPath = args[++i];
        } else if (arg == "--first" && hasValue) {
            data.firstName = args[++i];
        } else if (arg == "--last" && hasValue) {
            data.lastName = args[++i];
        } else if (arg == "--birth" && hasValue) {
            data.birthDate = args[++i];
        } else if (arg == "--class" && hasValue) {
            data.gliderClass = std::atoi(args[++i]);
        } else if (arg == "--glider" && hasValue) {
            data.gliderType = args[++i];
        } else if (arg == "--site" && hasValue) {
            data.startPlace = args[++i];
        } else if (arg == "--call" && hasValue) {
            data.callSign = args[++i];
        } else if (arg == "--region" && hasValue) {
            data.regionCode = args[++i];
            if (!IsRegionCode(data.regionCode)) {
                return UsageError("--region needs one of the two-letter codes of the list");
            }
        } else if (arg == "--flight" && hasValue) {
            data.flightNumber = args[++i];
        } else if (path == nullptr && !arg.starts_with("-")) {
            path = args[i];
        } else {
            return UsageError(kOlcUsage);
        }
    }
    if (path == nullptr || (withIgc && olcPath == nullptr)) {
        return UsageError(kOlcUsage);
    }
    std::string text;
    igc::IgcParseResult parsed;
    if (!ReadIgcFlight(path, text, parsed)) {
        return 1;
    }
    std::vector<std::string> warnings;
    if (std::string notice = RemoveBackwardTimesWithNotice(parsed.points); !notice.empty()) {
        warnings.push_back(std::move(notice));
    }
    if (parsed.points.size() < analysis::kOlcMinimumPoints) {
        std::fprintf(stderr, "tracora-cli: %s: Number of positions must be 5 or more\n", path);
        return 1;
    }

    // The pilot's values are checked before the search, so that a missing one costs no wait.
    int flight = 1;
    if (olcPath != nullptr) {
        const igc::IgcSourceHeader header = igc::ReadIgcSourceHeader(text);
        SplitPilot(header.pilot, data);
        if (data.gliderType.empty()) {
            data.gliderType = header.gliderType;
        }
        if (data.startPlace.empty()) {
            data.startPlace = header.site;
        }
        if (data.gliderClass < 1 || data.gliderClass > 5) {
            return UsageError(
                "--olc needs --class: 1 flexible wing, 2 rigid wing, 3 paraglider (open), 4 "
                "paraglider (sport), 5 paraglider (tandem)");
        }
        if (const char* message = olc::CheckPilotData(data, flight)) {
            std::fprintf(stderr, "tracora-cli: %s: %s\n", olc::kUserInputTitle, message);
            return 1;
        }
        std::error_code ec;
        if (!force && std::filesystem::exists(olcPath, ec)) {
            std::fprintf(stderr,
                         "tracora-cli: %s: File already exists, not replaced (--force "
                         "replaces it)\n",
                         olcPath);
            return 1;
        }
    }

    analysis::OlcResults results;
    analysis::CancelFlag cancel{0};
    if (analysis::RunOlcOptimisation(parsed.points, results, 2, {}, cancel) != 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s\n", path, analysis::kMemoryAllocationError);
        return 1;
    }
    if (exact) {
        // The proven optimum over every fix, started from the two-stage results; the best
        // result and the file follow it.
        analysis::ExactOptions options;
        options.rules = analysis::ExactRules::Olc;
        const analysis::OptimisationResults seeds = analysis::OlcSeeds(results);
        try {
            analysis::ApplyExactResults(
                results, analysis::SolveExactAll(parsed.points, options, cancel, &seeds));
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "tracora-cli: %s: %s\n", path, analysis::kMemoryAllocationError);
            return 1;
        }
    }
    const std::string report = json ? analysis::OlcReportJson(results, parsed.points, warnings)
                                    : analysis::OlcReportText(results, parsed.points, warnings);
    std::fputs(report.c_str(), stdout);
    if (olcPath == nullptr) {
        return 0;
    }

    olc::Flight what = olc::BestResultFlight(parsed.points, results, igc::IgcNameStyle::kLong,
                                             parsed.manufacturer, parsed.serial, flight);
    if (withIgc) {
        what.igcText = text;  // the file as it is, with its own security record
    }
    const std::string olcText = olc::BuildOlcText(data, what, kVersion);
    if (const int error = ReplaceFileAtomically(olcPath, olcText + "\r\n"); error != 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s: File write error (%s)\n", olc::kSaveOlcTitle,
                     olcPath, std::strerror(error));
        return 1;
    }
    const bool signedIgc = withIgc && olc::CarriesSecurityRecord(text);
    std::fprintf(stderr, "%s: %s\n", olcPath,
                 withIgc && !signedIgc ? "File written. NO security record" : "File written");
    return 0;
}

}  // namespace tracora::cli
