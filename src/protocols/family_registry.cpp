#include "protocols/family_registry.hpp"

#include <algorithm>

#include "protocols/ascent/ascent_family.hpp"
#include "protocols/digifly/digifly_family.hpp"
#include "protocols/dsx/dsx_family.hpp"
#include "protocols/flymaster/flymaster_family.hpp"
#include "protocols/flytec/flytec_family.hpp"
#include "protocols/garmin/garmin_family.hpp"
#include "protocols/graviter/graviter_family.hpp"
#include "protocols/iqbasic/iqbasic_family.hpp"
#include "protocols/logit/logit_family.hpp"
#include "protocols/magellan/magellan_family.hpp"
#include "protocols/mlr/mlr_family.hpp"
#include "protocols/mtk/mtk_family.hpp"
#include "protocols/syride/syride_family.hpp"
#include "protocols/topnav/topnav_family.hpp"

namespace tracora::protocols {

namespace {

// One line per family.
constexpr const InstrumentFamily* kFamilies[] = {
    &flytec::kFamily,   &flymaster::kFamily, &iqbasic::kFamily, &dsx::kFamily,     &garmin::kFamily,
    &graviter::kFamily, &magellan::kFamily,  &mtk::kFamily,     &topnav::kFamily,  &syride::kFamily,
    &mlr::kFamily,      &logit::kFamily,     &ascent::kFamily,  &digifly::kFamily,
};

}  // namespace

std::span<const InstrumentFamily* const> Families() {
    return kFamilies;
}

const InstrumentFamily* FamilyOfProtocol(GpsProtocol protocol) {
    for (const InstrumentFamily* family : kFamilies) {
        if (std::ranges::find(family->protocols, protocol) != family->protocols.end())
            return family;
    }
    return nullptr;
}

const InstrumentFamily* FindFamily(std::string_view id) {
    for (const InstrumentFamily* family : kFamilies) {
        if (family->id == id)
            return family;
    }
    return nullptr;
}

bool DeliversIgcText(GpsProtocol protocol) {
    const InstrumentFamily* family = FamilyOfProtocol(protocol);
    return family != nullptr && family->deliversIgcText;
}

}  // namespace tracora::protocols
