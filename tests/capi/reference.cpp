#include "reference.h"

#include <algorithm>

#include "tressel/Tressel.h"

namespace {
tressel_point toPoint(POINT p) { return tressel_point{p.x, p.y}; }
}  // namespace

extern "C" int reference_analyze(const float* x, const float* y, int count, const tressel_params* p,
                                 tressel_result* out) {
  CTressel t;
  t.SetTailWidthPercent(p->tail_width_percent);
  t.SetTailLengthPercent(p->tail_length_percent);
  t.SetTailWidthMinThreshold(p->tail_width_min_threshold);
  t.SetTailLengthMaxThreshold(p->tail_length_max_threshold);
  t.SetLimbWidthPercent(p->limb_width_percent);
  t.SetLimbLengthPercent(p->limb_length_percent);
  t.SetLimbWidthMinThreshold(p->limb_width_min_threshold);
  t.SetLimbLengthMaxThreshold(p->limb_length_max_threshold);
  t.SetLoopLengthMaxPercent(p->loop_length_max_percent);
  out->has_tail = t.Tressel(const_cast<float*>(x), const_cast<float*>(y), count);
  out->tail_base = toPoint(t.GetTailBase());
  out->tail_start = toPoint(t.GetTailStart());
  out->tail_end = toPoint(t.GetTailEnd());
  out->body_center = toPoint(t.GetCenter());
  out->nose = toPoint(t.GetNose());
  return out->has_tail;
}

extern "C" tressel_params reference_defaults(void) {
  CTressel t;
  return tressel_params{t.GetTailWidthPercent(),       t.GetTailLengthPercent(),      t.GetTailWidthMinThreshold(),
                        t.GetTailLengthMaxThreshold(), t.GetLimbWidthPercent(),       t.GetLimbLengthPercent(),
                        t.GetLimbWidthMinThreshold(),  t.GetLimbLengthMaxThreshold(), t.GetLoopLengthMaxPercent()};
}

extern "C" int reference_border(const float* x, const float* y, int count, float* out_x, float* out_y,
                                int capacity) {
  std::copy(x, x + std::min(count, capacity), out_x);
  std::copy(y, y + std::min(count, capacity), out_y);
  return SortOutline(out_x, out_y, count);
}
