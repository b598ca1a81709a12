#include "behaviour/Behaviour.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "behaviour/Orientation.h"

namespace tressel::behaviour {
namespace {

constexpr std::size_t kMaxZones = 64;         // zones are bits of a row's zonesHolding
constexpr std::size_t kMaxHeld = 1u << 16;    // rows a stage may hold when frame times do not advance
constexpr std::size_t kLengthBins = 4096;     // body lengths up to this many pixels
constexpr double kPi = 3.14159265358979323846;

double distance(Point2 p, Point2 q) { return std::hypot(p.x - q.x, p.y - q.y); }

tracking::Pixel rounded(Point2 p) {
  return {static_cast<std::int32_t>(std::lround(p.x)), static_cast<std::int32_t>(std::lround(p.y))};
}

// The median of every body length so far, from a histogram of whole pixels:
// constant memory, refreshed every 64 frames (and more often at the start).
class LengthMedian {
 public:
  void add(double length) {
    const auto bin = static_cast<std::size_t>(std::clamp(length, 0.0, double(kLengthBins - 1)) + 0.5);
    ++counts_[std::min(bin, kLengthBins - 1)];
    ++total_;
    if (total_ < 64 || total_ % 64 == 0) refresh();
  }
  double median() const { return median_; }
  void refresh() {
    std::uint64_t seen = 0;
    for (std::size_t i = 0; i < kLengthBins; ++i) {
      seen += counts_[i];
      if (2 * seen >= total_) {
        median_ = i > 0 ? double(i) : NAN;
        return;
      }
    }
  }

 private:
  std::array<std::uint32_t, kLengthBins> counts_{};
  std::uint64_t total_ = 0;
  double median_ = NAN;
};

double median(std::vector<double>& values) {
  const std::size_t mid = values.size() / 2;
  std::nth_element(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(mid), values.end());
  return values[mid];
}

}  // namespace

// One arena's rows through the stages, each of which may hold rows for a
// while and hands them on in order: orientation -> gaps and jumps ->
// smoothing -> movement and zones -> freezing -> the summary and out.
class ArenaTrack {
 public:
  ArenaTrack(std::shared_ptr<const ArenaInfo> info, const BehaviourOptions& options)
      : infoShared_(info), info_(*info), options_(options), path_(static_cast<std::size_t>(options.maxLagFrames)),
        summary_(info, options) {}

  void push(tracking::FrameRecord record, std::deque<BehaviourRow>& out) {
    out_ = &out;
    if (started_ && record.frame <= lastFrame_) {
      throw BehaviourError("frame " + std::to_string(record.frame) + " of arena \"" + info_.arena.name +
                           "\" comes after frame " + std::to_string(lastFrame_));
    }
    started_ = true;
    lastFrame_ = record.frame;
    orient(std::move(record));
  }

  void finish(std::deque<BehaviourRow>& out) {
    out_ = &out;
    endStretch();
    flushGap();
    flushSmoothing();
    flushFreezing(false);
    lengths_.refresh();
    summary_.finish(lengths_.median());
  }

  const ArenaSummary& summary() const { return summary_.summary(); }

 private:
  // 1. Orientation: detected frames wait until their head end is decided.
  void orient(tracking::FrameRecord record) {
    record.bodyRuns = {};
    BehaviourRow row;
    row.record = std::move(record);
    row.arena = infoShared_;
    if (!row.record.hasPoints()) {
      endStretch();
      oriented(std::move(row), nullptr);
      return;
    }
    const tracking::FrameRecord& r = row.record;
    Point2 a, b;
    bodyEnds(r, a, b);
    lengths_.add(distance(a, b));
    row.hasPosition = true;
    row.x = r.bodyAreaPx > 0 ? r.centerSubX : r.center.x;
    row.y = r.bodyAreaPx > 0 ? r.centerSubY : r.center.y;
    const PathStep step = evidence_.next(r, lengths_.median());
    orienting_.push_back(std::move(row));
    decisions_.clear();
    path_.push(step, decisions_);
    applyDecisions();
  }

  void endStretch() {
    decisions_.clear();
    path_.finish(decisions_);
    applyDecisions();
    evidence_.endStretch();
  }

  void applyDecisions() {
    for (const PathDecision& d : decisions_) {
      BehaviourRow row = std::move(orienting_.front());
      orienting_.pop_front();
      oriented(std::move(row), &d);
    }
  }

  void oriented(BehaviourRow row, const PathDecision* d) {
    if (d == nullptr) {
      hasPreviousVector_ = false;
      gap(std::move(row));
      return;
    }
    const tracking::FrameRecord& r = row.record;
    Point2 a, b;
    bodyEnds(r, a, b);
    if (r.hasTail() && d->state == 0) {
      row.orientation = Orientation::found;
      row.nose = r.nose;
      row.tailBase = r.tailBase;
    } else {
      row.orientation = r.hasTail() ? Orientation::reversed : Orientation::track;
      row.nose = rounded(d->state == 0 ? a : b);
      row.tailBase = rounded(d->state == 0 ? b : a);
      // Reversed with a tail found: mostly the nose went astray (onto a
      // second, blurred copy of the tail, say) while the tail was cut where
      // it joins the body, so the analysis's tail base stays where it lies
      // at the tail's end of the body.
      if (r.hasTail()) {
        const Point2 base{double(r.tailBase.x), double(r.tailBase.y)};
        const Point2 tailEnd = d->state == 0 ? b : a, headEnd = d->state == 0 ? a : b;
        if (distance(base, tailEnd) < distance(base, headEnd)) row.tailBase = r.tailBase;
      }
    }
    row.confidence = d->confidence;
    row.orientationForced = d->forced;
    // Heading from the tail base, or from the body centre without a tail.
    const Point2 from = row.orientation == Orientation::track ? Point2{row.x, row.y}
                                                              : Point2{double(row.tailBase.x), double(row.tailBase.y)};
    const double dx = row.nose.x - from.x, dy = row.nose.y - from.y;
    if (dx != 0 || dy != 0) {
      double degrees = std::atan2(dy, dx) * 180 / kPi;
      if (degrees < 0) degrees += 360;
      row.headingDeg = degrees >= 360 ? 0 : degrees;
      if (hasPreviousVector_) {
        const double cosine = (dx * previousVector_.x + dy * previousVector_.y) /
                              (std::hypot(dx, dy) * std::hypot(previousVector_.x, previousVector_.y));
        row.sharpTurn = std::acos(std::clamp(cosine, -1.0, 1.0)) * 180 / kPi > options_.sharpTurnDegrees;
      }
      previousVector_ = {dx, dy};
      hasPreviousVector_ = true;
    } else {
      hasPreviousVector_ = false;
    }
    gap(std::move(row));
  }

  // 2. Gaps: frames without an animal wait for the next position, up to
  // --interpolate of them; jumps are flagged against the last position.
  void gap(BehaviourRow row) {
    if (!row.hasPosition) {
      if (options_.interpolate > 0 && hasLastPosition_ && !gapTooLong_) {
        gapRows_.push_back(std::move(row));
        if (gapRows_.size() > static_cast<std::size_t>(options_.interpolate)) {
          gapTooLong_ = true;
          flushGap();
        }
      } else {
        smooth(std::move(row));
      }
      return;
    }
    if (!gapRows_.empty()) {
      const double t0 = lastTime_, t1 = row.record.time;
      const std::size_t n = gapRows_.size();
      for (std::size_t i = 0; i < n; ++i) {
        BehaviourRow& g = gapRows_[i];
        const double f = t1 > t0 ? (g.record.time - t0) / (t1 - t0) : double(i + 1) / double(n + 1);
        g.hasPosition = g.interpolated = true;
        g.x = lastX_ + std::clamp(f, 0.0, 1.0) * (row.x - lastX_);
        g.y = lastY_ + std::clamp(f, 0.0, 1.0) * (row.y - lastY_);
      }
      flushGap();
    }
    gapTooLong_ = false;
    if (hasLastPosition_ && options_.maxSpeed.value > 0) {
      const double limit = speedInUnits(options_.maxSpeed, info_.calibration, lengths_.median());
      const double dt = row.record.time - lastTime_;
      const double step = std::hypot((row.x - lastX_) * info_.calibration.perPxX, (row.y - lastY_) * info_.calibration.perPxY);
      row.jump = dt > 0 && step / dt > limit;
    }
    hasLastPosition_ = true;
    lastTime_ = row.record.time;
    lastX_ = row.x;
    lastY_ = row.y;
    smooth(std::move(row));
  }

  void flushGap() {
    while (!gapRows_.empty()) {
      BehaviourRow row = std::move(gapRows_.front());
      gapRows_.pop_front();
      smooth(std::move(row));
    }
  }

  // 3. Smoothing: the median of the window around each position within a
  // run of positions, the window shrinking symmetrically at the run's ends.
  void smooth(BehaviourRow row) {
    if (!row.hasPosition) {
      flushSmoothing();
      measure(std::move(row));
      return;
    }
    runPositions_.push_back({row.x, row.y});
    smoothing_.push_back(std::move(row));
    const std::size_t half = static_cast<std::size_t>(options_.smoothFrames / 2);
    while (smoothing_.size() > half) smoothOne();
  }

  void smoothOne() {
    const std::size_t half = static_cast<std::size_t>(options_.smoothFrames / 2);
    const std::size_t i = runPositions_.size() - smoothing_.size();
    const std::size_t reach = std::min({half, i, runPositions_.size() - 1 - i});
    std::vector<double>& xs = smoothXs_;  // kept: a pair of fresh vectors cost a frame eight allocations
    std::vector<double>& ys = smoothYs_;
    xs.clear();
    ys.clear();
    for (std::size_t k = i - reach; k <= i + reach; ++k) {
      xs.push_back(runPositions_[k].x);
      ys.push_back(runPositions_[k].y);
    }
    BehaviourRow row = std::move(smoothing_.front());
    smoothing_.pop_front();
    row.smoothX = median(xs);
    row.smoothY = median(ys);
    while (runPositions_.size() - smoothing_.size() > half) runPositions_.pop_front();
    measure(std::move(row));
  }

  void flushSmoothing() {
    while (!smoothing_.empty()) smoothOne();
    runPositions_.clear();
  }

  // 4. Speed, distance, zones, moving (with hysteresis) and mobility.
  void measure(BehaviourRow row) {
    const Calibration& c = info_.calibration;
    if (row.hasPosition) {
      const double t = row.record.time;
      if (hasMeasured_) {
        const double dt = t - measuredTime_;
        const double step = std::hypot((row.smoothX - measuredX_) * c.perPxX, (row.smoothY - measuredY_) * c.perPxY);
        if (dt > 0) {
          row.speed = step / dt;
          row.stepSeconds = dt;
        }
        if (!row.jump) travelled_ += step;
      }
      hasMeasured_ = true;
      measuredTime_ = t;
      measuredX_ = row.smoothX;
      measuredY_ = row.smoothY;
      for (std::size_t z = 0; z < info_.zones.size(); ++z) {
        if (!info_.zones[z].contains(row.smoothX, row.smoothY)) continue;
        row.zonesHolding |= std::uint64_t{1} << z;
        if (row.zone < 0) row.zone = static_cast<int>(z);
      }
      // Moving: the displacement since the newest frame at least a window old.
      window_.push_back({t, row.smoothX, row.smoothY});
      while (window_.size() > 2 && window_[1].time <= t - options_.moveWindowSeconds) window_.pop_front();
      while (window_.size() > kMaxHeld) window_.pop_front();
      const Sample& from = window_.front();
      if (t > from.time) {
        const double speed = std::hypot((row.smoothX - from.x) * c.perPxX, (row.smoothY - from.y) * c.perPxY) / (t - from.time);
        const double bodyLength = lengths_.median();
        if (!moving_ && speed >= speedInUnits(options_.moveStart, c, bodyLength)) moving_ = true;
        else if (moving_ && speed < speedInUnits(options_.moveStop, c, bodyLength)) moving_ = false;
      }
      row.moving = moving_;
    } else {
      // The step across the gap still counts, from the last position; the
      // moving state starts afresh.
      moving_ = false;
      window_.clear();
    }
    row.distance = travelled_;
    const tracking::FrameRecord& r = row.record;
    if (r.hasPoints() && r.bodyChangePx >= 0 && previousBodyArea_ > 0) {
      row.mobility = double(r.bodyChangePx) / double(r.bodyAreaPx + previousBodyArea_);
    }
    previousBodyArea_ = r.hasPoints() ? r.bodyAreaPx : 0;
    freeze(std::move(row));
  }

  // 5. Freezing: a run of frames with low mobility is freezing once it has
  // lasted --freeze-min (from the frame before its first, whose body it is
  // compared with); until then its frames wait.
  void freeze(BehaviourRow row) {
    const double t = row.record.time;
    const bool low = std::isfinite(row.mobility) && row.mobility < options_.freezeBelow;
    if (!low) {
      flushFreezing(false);
      freezeRun_ = false;
      previousRowTime_ = t;
      row.freezing = row.record.hasPoints() ? 0 : -1;
      emit(std::move(row));
      return;
    }
    if (!freezeRun_) {
      freezeRun_ = true;
      freezeReached_ = false;
      freezeStart_ = previousRowTime_;
    }
    previousRowTime_ = t;
    if (freezeReached_) {
      row.freezing = 1;
      emit(std::move(row));
      return;
    }
    freezing_.push_back(std::move(row));
    if (t - freezeStart_ >= options_.freezeMinSeconds - 1e-9) {
      freezeReached_ = true;
      flushFreezing(true);
    } else if (freezing_.size() > kMaxHeld) {
      flushFreezing(false);  // times that hardly advance: no freezing rather than holding without end
      freezeStart_ = t;
    }
  }

  void flushFreezing(bool frozen) {
    while (!freezing_.empty()) {
      BehaviourRow row = std::move(freezing_.front());
      freezing_.pop_front();
      row.freezing = frozen ? 1 : 0;
      emit(std::move(row));
    }
  }

  void emit(BehaviourRow row) {
    summary_.add(row);
    out_->push_back(std::move(row));
  }

  struct Sample {
    double time, x, y;
  };

  std::shared_ptr<const ArenaInfo> infoShared_;
  const ArenaInfo& info_;
  const BehaviourOptions& options_;
  std::deque<BehaviourRow>* out_ = nullptr;
  bool started_ = false;
  std::int64_t lastFrame_ = 0;
  LengthMedian lengths_;

  OrientationEvidence evidence_;
  TwoStatePath path_;
  std::vector<PathDecision> decisions_;
  std::deque<BehaviourRow> orienting_;
  bool hasPreviousVector_ = false;
  Point2 previousVector_;

  std::deque<BehaviourRow> gapRows_;
  bool gapTooLong_ = false;
  bool hasLastPosition_ = false;
  double lastTime_ = 0, lastX_ = 0, lastY_ = 0;

  std::deque<Point2> runPositions_;
  std::vector<double> smoothXs_, smoothYs_;  // smoothOne's window
  std::deque<BehaviourRow> smoothing_;

  bool hasMeasured_ = false;
  double measuredTime_ = 0, measuredX_ = 0, measuredY_ = 0;
  double travelled_ = 0;
  std::deque<Sample> window_;
  bool moving_ = false;
  std::int64_t previousBodyArea_ = 0;

  std::deque<BehaviourRow> freezing_;
  bool freezeRun_ = false;
  bool freezeReached_ = false;
  double freezeStart_ = 0;
  double previousRowTime_ = 0;

  SummaryBuilder summary_;
};

std::vector<Arena> resolveArenas(const BehaviourOptions& options, int frameWidth, int frameHeight,
                                 const RegionOfInterest* roi) {
  if (!options.arenasFile.empty()) return loadArenasFile(options.arenasFile);
  if (roi != nullptr && roi->width > 0 && roi->height > 0) return {roiArena(roi->x, roi->y, roi->width, roi->height)};
  if (frameWidth <= 0 || frameHeight <= 0) throw BehaviourError("the arena is unknown: no frame size and no --roi");
  return {frameArena(frameWidth, frameHeight)};
}

Behaviour::Behaviour(const BehaviourOptions& options, const std::vector<Arena>& arenas) : options_(options) {
  if (const std::string problem = checkBehaviourOptions(options); !problem.empty()) throw BehaviourError(problem);
  if (arenas.empty()) throw BehaviourError("no arena to measure in");
  std::vector<Zone> fileZones;
  if (!options.zonesFile.empty()) {
    fileZones = loadZonesFile(options.zonesFile);
    for (const Zone& zone : fileZones) {
      const bool known = zone.arena.empty() || std::any_of(arenas.begin(), arenas.end(), [&](const Arena& a) {
                           return a.name == zone.arena;
                         });
      if (!known) {
        throw BehaviourError(options.zonesFile + ": zone \"" + zone.name + "\": there is no arena \"" + zone.arena + "\"");
      }
    }
  }
  for (std::size_t i = 0; i < arenas.size(); ++i) {
    auto shared = std::make_shared<ArenaInfo>();
    ArenaInfo& info = *shared;
    info.index = static_cast<int>(i);
    info.arena = arenas[i];
    if (options.zonesFile.empty()) {
      info.zones = openFieldZones(arenas[i]);
    } else {
      for (const Zone& zone : fileZones) {
        if (zone.arena.empty() || zone.arena == arenas[i].name) info.zones.push_back(zone);
      }
    }
    if (info.zones.size() > kMaxZones) {
      throw BehaviourError(options.zonesFile + ": arena \"" + arenas[i].name + "\" has more than 64 zones");
    }
    info.calibration = calibrationFor(options, arenas[i]);
    infos_.push_back(std::move(shared));
  }
  summary_.options = options;
  summary_.unit = infos_[0]->calibration.unit;
  columns_ = tableColumns(summary_.unit);
  for (const auto& info : infos_) tracks_.push_back(std::make_unique<ArenaTrack>(info, options_));
  finished_.resize(infos_.size());
}

Behaviour::~Behaviour() = default;

void Behaviour::push(tracking::FrameRecord record, std::vector<BehaviourRow>& rows) {
  if (finished_all_) throw BehaviourError("a record after the end of the recording");
  if (record.arena < 0 || static_cast<std::size_t>(record.arena) >= tracks_.size()) {
    throw BehaviourError("a record of arena " + std::to_string(record.arena) + ", but the recording has " +
                         std::to_string(tracks_.size()) + (tracks_.size() == 1 ? " arena" : " arenas"));
  }
  const auto a = static_cast<std::size_t>(record.arena);
  tracks_[a]->push(std::move(record), finished_[a]);
  release(rows, false);
}

void Behaviour::finish(std::vector<BehaviourRow>& rows) {
  if (finished_all_) return;
  finished_all_ = true;
  for (std::size_t a = 0; a < tracks_.size(); ++a) tracks_[a]->finish(finished_[a]);
  release(rows, true);
  summary_.arenas.clear();
  for (const auto& track : tracks_) summary_.arenas.push_back(track->summary());
}

// Rows leave in the order (frame, arena): a row waits while another arena may
// still produce an earlier one, that is while that arena has none waiting.
void Behaviour::release(std::vector<BehaviourRow>& rows, bool all) {
  for (;;) {
    std::size_t best = finished_.size();
    std::size_t held = 0;
    bool someEmpty = false;
    for (std::size_t a = 0; a < finished_.size(); ++a) {
      held += finished_[a].size();
      if (finished_[a].empty()) {
        someEmpty = true;
        continue;
      }
      if (best == finished_.size() || finished_[a].front().record.frame < finished_[best].front().record.frame) best = a;
    }
    if (best == finished_.size()) return;
    if (someEmpty && !all && held <= kMaxHeld) return;
    rows.push_back(std::move(finished_[best].front()));
    finished_[best].pop_front();
  }
}

}  // namespace tressel::behaviour
