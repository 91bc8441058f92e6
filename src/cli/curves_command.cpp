#include "cli/curves_command.hpp"

#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "analysis/flight_curves.hpp"
#include "cli/cli_common.hpp"
#include "core/file_io.hpp"
#include "core/save_file.hpp"
#include "documents/curve_plot.hpp"

namespace tracora::cli {

namespace {

constexpr const char* kCurvesUsage =
    "curves needs FILE.igc --kind vario|glide|polar [--interval N] [--svg OUT.svg [--force]]";

}  // namespace

int Curves(const std::vector<const char*>& args) {
    const char* path = nullptr;
    const char* svgPath = nullptr;
    bool force = false;
    std::optional<analysis::CurveKind> kind;
    analysis::CurveIntervals intervals;
    int interval = 0;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (arg == "--kind" && i + 1 < args.size()) {
            const std::string_view value = args[++i];
            if (value == "vario") {
                kind = analysis::CurveKind::kVario;
            } else if (value == "glide") {
                kind = analysis::CurveKind::kGlide;
            } else if (value == "polar") {
                kind = analysis::CurveKind::kPolar;
            } else {
                return UsageError(kCurvesUsage);
            }
        } else if (arg == "--interval" && i + 1 < args.size()) {
            char* end = nullptr;
            const long value = std::strtol(args[++i], &end, 10);
            if (*end != '\0' || value <= 0 || value > 1'000'000)
                return UsageError("--interval needs a positive whole number");
            interval = static_cast<int>(value);
        } else if (arg == "--svg" && i + 1 < args.size()) {
            svgPath = args[++i];
        } else if (arg == "--force") {
            force = true;
        } else if (path == nullptr && !arg.starts_with("-")) {
            path = args[i];
        } else {
            return UsageError(kCurvesUsage);
        }
    }
    if (path == nullptr || !kind)
        return UsageError(kCurvesUsage);
    if (interval > 0) {
        intervals.varioSeconds = intervals.glideSeconds = intervals.polarPoints = interval;
    }

    std::string text;
    igc::IgcParseResult parsed;
    if (!ReadIgcFlight(path, text, parsed))
        return 1;
    analysis::CurveData data;
    std::string message;
    if (analysis::ComputeCurve(parsed.points, *kind, intervals, data, message) != 0) {
        std::fprintf(stderr, "tracora-cli: %s: %s: %s\n", path, analysis::CurveCommandTitle(*kind),
                     message.c_str());
        return 1;
    }
    if (*kind == analysis::CurveKind::kPolar) {
        std::printf("%zu polar points\n", data.polar.size());
    } else {
        std::printf("%zu seconds\n%s\n%s\n", data.seconds.value.size(),
                    analysis::CurveExtremeText(data.seconds.greatest, true).c_str(),
                    analysis::CurveExtremeText(data.seconds.smallest, false).c_str());
    }
    if (svgPath != nullptr) {
        const std::string svg = documents::CurvePlotSvg(documents::BuildCurvePlot(data), 1000, 500);
        const int error =
            force ? ReplaceFileAtomically(svgPath, svg) : CreateFileAtomically(svgPath, svg);
        if (error != 0) {
            std::fprintf(
                stderr, "tracora-cli: %s\n",
                SaveErrorText(force ? "File open error" : kErrorOpeningFile, svgPath, error)
                    .c_str());
            return 1;
        }
    }
    return 0;
}

}  // namespace tracora::cli
