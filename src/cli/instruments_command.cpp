#include "cli/instruments_command.hpp"

#include <cstdio>
#include <string>

#include "core/gps_types.hpp"
#include "protocols/dispatch_table.hpp"
#include "protocols/family_registry.hpp"

namespace tracora::cli {

namespace {

std::string LineText(const protocols::InstrumentFamily& family) {
    std::string text = device::TransportKindName(family.transport);
    if (family.transport == device::TransportKind::kSerial) {
        for (std::size_t i = 0; i < family.baudRates.size(); ++i)
            text += (i == 0 ? " " : "/") + std::to_string(family.baudRates[i]);
        text += " 8N1";
        if (family.xonXoff)
            text += " xon/xoff";
    }
    return text;
}

}  // namespace

int Instruments(const std::vector<const char*>& args) {
    if (!args.empty()) {
        std::fprintf(stderr, "tracora-cli: instruments takes no arguments\n");
        return 2;
    }
    for (const protocols::InstrumentFamily* family : protocols::Families()) {
        std::printf("%.*s (%.*s), %s\n", static_cast<int>(family->name.size()), family->name.data(),
                    static_cast<int>(family->id.size()), family->id.data(),
                    LineText(*family).c_str());
        for (const GpsProtocol protocol : family->protocols) {
            const GpsProtocolInfo& info =
                GpsProtocols()[static_cast<std::size_t>(ProtocolNumber(protocol))];
            std::string names;
            for (std::string_view name : info.menuNames) {
                if (name.empty())
                    continue;
                if (!names.empty())
                    names += ", ";
                names += '"' + std::string(name) + '"';
            }
            std::printf("  protocol %d %s\n", ProtocolNumber(protocol), names.c_str());
            for (int f = 0; f < device::kAccessFunctionCount; ++f) {
                const auto function = static_cast<device::AccessFunction>(f);
                if (protocols::HasWorkingRoutine(function, protocol))
                    std::printf("    %s\n", protocols::AccessFunctionName(function));
            }
        }
    }
    std::string waiting;
    for (const GpsProtocolInfo& info : GpsProtocols()) {
        if (protocols::FamilyOfProtocol(info.protocol) != nullptr || info.menuNames[0].empty())
            continue;
        if (!waiting.empty())
            waiting += ", ";
        waiting += '"' + std::string(info.menuNames[0]) + '"';
    }
    if (!waiting.empty())
        std::printf("Not available yet: %s\n", waiting.c_str());
    return 0;
}

}  // namespace tracora::cli
