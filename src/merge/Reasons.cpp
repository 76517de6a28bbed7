#include "merge/Reasons.h"

#include "texts/Texts.h"

namespace gridmoor {

std::string_view reasonText(const DroppedStep& failure) {
    if (!failure.cause) return texts::kReasonErrorValue;
    switch (*failure.cause) {
        case HostError::Cause::Protected:
            return texts::kReasonProtected;
        case HostError::Cause::Gone:
            return texts::kReasonGone;
        case HostError::Cause::Busy:
            return texts::kReasonBusy;
        case HostError::Cause::NotFound:
            return texts::kReasonNotFound;
        case HostError::Cause::BadArgument:
        case HostError::Cause::Other:
            break;
    }
    return texts::kReasonOther;
}

}  // namespace gridmoor
