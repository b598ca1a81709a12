#include "behaviour/Orientation.h"

#include <algorithm>
#include <cmath>

namespace tressel::behaviour {

TwoStatePath::TwoStatePath(std::size_t maxLag) : maxLag_(std::max<std::size_t>(maxLag, 2)) {}

double TwoStatePath::transition(const PathStep& step, int from, int to) {
  const bool physicalSwitch = (from != to) != step.crossed;
  return physicalSwitch ? step.switchCost : 0;
}

void TwoStatePath::extend(Pending& p, const Pending* previous) const {
  for (int s = 0; s < 2; ++s) {
    if (previous == nullptr) {
      p.forward[s] = p.step.cost[s];
      p.back[s] = static_cast<std::uint8_t>(s);
      continue;
    }
    const double stay = previous->forward[s] + transition(p.step, s, s);
    const double change = previous->forward[1 - s] + transition(p.step, 1 - s, s);
    // Ties keep the state: the decision then follows the analysis.
    p.back[s] = static_cast<std::uint8_t>(stay <= change ? s : 1 - s);
    p.forward[s] = std::min(stay, change) + p.step.cost[s];
  }
  const double least = std::min(p.forward[0], p.forward[1]);
  p.forward[0] -= least;
  p.forward[1] -= least;
}

void TwoStatePath::push(const PathStep& step, std::vector<PathDecision>& decided) {
  Pending p{step, {0, 0}, {0, 1}};
  extend(p, pending_.empty() ? nullptr : &pending_.back());
  pending_.push_back(p);

  // Follow the two survivors back until they meet: from there back, every
  // frame is decided whatever comes next.
  int a = 0, b = 1;
  for (std::size_t i = pending_.size() - 1; i > 0; --i) {
    a = pending_[i].back[a];
    b = pending_[i].back[b];
    if (a == b) {
      // Frames 0 .. i-1 are final; the state at i-1 is a.
      commit(i, -1, false, decided);
      break;
    }
  }
  if (pending_.size() > maxLag_) {
    const Pending& newest = pending_.back();
    commit(pending_.size() - maxLag_ / 2, newest.forward[1] < newest.forward[0] ? 1 : 0, true, decided);
  }
}

void TwoStatePath::finish(std::vector<PathDecision>& decided) {
  if (pending_.empty()) return;
  const Pending& newest = pending_.back();
  commit(pending_.size(), newest.forward[1] < newest.forward[0] ? 1 : 0, false, decided);
}

// Decides the oldest `count` pending frames along the path that ends in
// `newestState` at the newest frame (-1: along either survivor, which agree
// on them), with a confidence from the costs seen so far on both sides.
void TwoStatePath::commit(std::size_t count, int newestState, bool forced, std::vector<PathDecision>& decided) {
  const std::size_t n = pending_.size();
  std::vector<int> states(n);
  std::vector<double> backward0(n), backward1(n);
  states[n - 1] = newestState < 0 ? 0 : newestState;
  backward0[n - 1] = backward1[n - 1] = 0;
  for (std::size_t i = n - 1; i > 0; --i) {
    states[i - 1] = pending_[i].back[states[i]];
    const PathStep& next = pending_[i].step;
    for (int s = 0; s < 2; ++s) {
      const double via0 = transition(next, s, 0) + next.cost[0] + backward0[i];
      const double via1 = transition(next, s, 1) + next.cost[1] + backward1[i];
      (s == 0 ? backward0 : backward1)[i - 1] = std::min(via0, via1);
    }
  }
  for (std::size_t i = 0; i < count; ++i) {
    const double total0 = pending_[i].forward[0] + backward0[i];
    const double total1 = pending_[i].forward[1] + backward1[i];
    const int s = states[i];
    const double margin = std::max(0.0, s == 0 ? total1 - total0 : total0 - total1);
    decided.push_back({firstIndex_ + i, s, std::tanh(margin / 2), forced});
  }
  if (forced) forced_ += count;

  if (count == n) {
    pending_.clear();
  } else {
    const int kept = states[count - 1];
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<std::ptrdiff_t>(count));
    if (forced) {
      // The remaining frames continue from the decided state only.
      Pending anchor{};
      anchor.forward[kept] = 0;
      anchor.forward[1 - kept] = INFINITY;
      extend(pending_[0], &anchor);
      for (std::size_t i = 1; i < pending_.size(); ++i) extend(pending_[i], &pending_[i - 1]);
    }
  }
  firstIndex_ += count;
}

void bodyEnds(const tracking::FrameRecord& r, Point2& a, Point2& b) {
  if (r.bodyEndA != r.bodyEndB) {
    a = {double(r.bodyEndA.x), double(r.bodyEndA.y)};
    b = {double(r.bodyEndB.x), double(r.bodyEndB.y)};
    return;
  }
  a = {double(r.nose.x), double(r.nose.y)};
  if (r.hasTail()) {
    b = {double(r.tailBase.x), double(r.tailBase.y)};
  } else {
    b = {2.0 * r.center.x - r.nose.x, 2.0 * r.center.y - r.nose.y};
  }
}

namespace {
double distance(Point2 p, Point2 q) { return std::hypot(p.x - q.x, p.y - q.y); }
}  // namespace

PathStep OrientationEvidence::next(const tracking::FrameRecord& r, double bodyLengthPx) {
  PathStep step;
  Point2 a, b;
  bodyEnds(r, a, b);
  if (r.hasTail()) step.cost[1] += weights_.tail;

  // Moving steadily: the head is more likely in front.
  const double x = r.bodyAreaPx > 0 ? r.centerSubX : r.center.x;
  const double y = r.bodyAreaPx > 0 ? r.centerSubY : r.center.y;
  const double path = recent_.empty() ? 0 : recent_.back().path + std::hypot(x - recent_.back().x, y - recent_.back().y);
  recent_.push_back({r.time, x, y, path});
  // Keep one frame at least windowSeconds old, as the reference.
  while (recent_.size() > 2 && recent_[1].time <= r.time - weights_.windowSeconds) recent_.pop_front();
  while (recent_.size() > 4096) recent_.pop_front();  // times that do not advance
  const Recent& from = recent_.front();
  const double elapsed = r.time - from.time;
  const double dx = x - from.x, dy = y - from.y;
  const double displacement = std::hypot(dx, dy);
  const double length = distance(a, b);
  if (elapsed >= weights_.windowSeconds && bodyLengthPx > 0 && length >= 1 &&
      displacement >= weights_.steadySpeed * bodyLengthPx * elapsed &&
      displacement >= weights_.straightness * (path - from.path)) {
    const double cosine = ((a.x - b.x) * dx + (a.y - b.y) * dy) / (length * displacement);
    step.cost[0] += weights_.motion * (1 - cosine) / 2;
    step.cost[1] += weights_.motion * (1 + cosine) / 2;
  }

  // Continuity of the ends: which of this frame's ends continues which of
  // the previous frame's, and how clearly.
  if (hasPrevious_) {
    const double same = distance(a, previousA_) + distance(b, previousB_);
    const double cross = distance(a, previousB_) + distance(b, previousA_);
    const double scale = std::max(1.0, (length + distance(previousA_, previousB_)) / 2);
    step.crossed = cross < same;
    step.switchCost = weights_.switchAny + weights_.switchEnds * std::min(1.0, std::fabs(cross - same) / scale);
  }
  hasPrevious_ = true;
  previousA_ = a;
  previousB_ = b;
  return step;
}

void OrientationEvidence::endStretch() {
  hasPrevious_ = false;
  recent_.clear();
}

}  // namespace tressel::behaviour
