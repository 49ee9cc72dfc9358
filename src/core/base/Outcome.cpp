#include "core/base/Outcome.h"

namespace corvel {

const char* LinkErrorKindName(LinkErrorKind kind) {
  switch (kind) {
    case LinkErrorKind::PortFailure: return "port failure";
    case LinkErrorKind::Timeout: return "time-out";
    case LinkErrorKind::ShortReply: return "short reply";
    case LinkErrorKind::BadChecksum: return "bad checksum";
    case LinkErrorKind::WrongType: return "wrong type";
    case LinkErrorKind::Refused: return "refused";
    case LinkErrorKind::WrongEcho: return "wrong echo";
    case LinkErrorKind::NoDevice: return "no device";
    case LinkErrorKind::Cancelled: return "cancelled";
  }
  return "unknown";
}

}  // namespace corvel
