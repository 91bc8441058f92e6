#include "protocols/common/pilot_ids.hpp"

#include <string>

namespace tracora::protocols {

void AdoptPilotIds(device::GpsAccessJob& job, const competition::PilotIds& ids) {
    job.competitionId = ids.competitionId;
    job.civlId = ids.civlId;
    if (const std::string text = competition::PilotIdStatusText(ids); !text.empty()) {
        job.Status(text);
    }
}

}  // namespace tracora::protocols
