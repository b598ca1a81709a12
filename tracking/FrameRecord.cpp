#include "tracking/FrameRecord.h"

namespace tressel::tracking {

const char* statusName(FrameStatus status) {
  switch (status) {
    case FrameStatus::ok: return "ok";
    case FrameStatus::noTail: return "no_tail";
    case FrameStatus::noAnimal: return "no_animal";
    case FrameStatus::oddSize: return "odd_size";
    case FrameStatus::decodeError: return "decode_error";
  }
  return "?";
}

}  // namespace tressel::tracking
