#include "tracker/Session.h"

#include <algorithm>
#include <cmath>
#include <sstream>
#include <thread>
#include <utility>

#include "behaviour/Json.h"
#include "capi/parameters.h"
#include "image/png.h"
#include "image/readImage.h"

namespace tressel::tracker {
namespace {

using behaviour::jsonNumber;
using behaviour::jsonQuoted;

std::string sizeText(int width, int height) { return std::to_string(width) + "x" + std::to_string(height); }

// The frames held first (a stream's start, sampled for the background), then
// the rest of the source; frames before `start` are passed over.
class HeldThenRest : public video::FrameSource {
 public:
  HeldThenRest(std::vector<video::Frame>& held, video::FrameSource& rest, double start)
      : held_(held), rest_(rest), start_(start) {}
  const video::SourceInfo& info() const override { return rest_.info(); }
  bool next(video::Frame& frame) override {
    for (;;) {
      if (next_ < held_.size()) {
        frame = std::move(held_[next_++]);
        if (next_ == held_.size()) held_.clear();
      } else {
        next_ = held_.size();
        if (!rest_.next(frame)) return false;
      }
      if (frame.time >= start_) return true;
    }
  }
  void seekExact(double t) override { rest_.seekExact(t); }
  void seekKey(double t) override { rest_.seekKey(t); }
  std::vector<double> keyframeTimes() const override { return rest_.keyframeTimes(); }

 private:
  std::vector<video::Frame>& held_;
  video::FrameSource& rest_;
  double start_;
  std::size_t next_ = 0;
};

tracking::Rect boundsRect(const behaviour::Shape& shape, int width, int height) {
  const behaviour::Bounds b = shape.bounds();
  const int x0 = std::clamp(static_cast<int>(std::floor(b.minX)), 0, width);
  const int y0 = std::clamp(static_cast<int>(std::floor(b.minY)), 0, height);
  const int x1 = std::clamp(static_cast<int>(std::ceil(b.maxX)), 0, width);
  const int y1 = std::clamp(static_cast<int>(std::ceil(b.maxY)), 0, height);
  return tracking::Rect{x0, y0, x1 - x0, y1 - y0};
}

tracking::Rect intersect(const tracking::Rect& a, const tracking::Rect& b) {
  const int x0 = std::max(a.x, b.x), y0 = std::max(a.y, b.y);
  const int x1 = std::min(a.x + a.width, b.x + b.width), y1 = std::min(a.y + a.height, b.y + b.height);
  return tracking::Rect{x0, y0, std::max(0, x1 - x0), std::max(0, y1 - y0)};
}

std::string rectJson(const tracking::Rect& r) {
  return "[" + std::to_string(r.x) + "," + std::to_string(r.y) + "," + std::to_string(r.width) + "," +
         std::to_string(r.height) + "]";
}

void checkOptions(const TrackOptions& o) {
  auto fail = [](const std::string& message) { throw OptionsError(message); };
  if (o.inputs.empty()) fail("no input given");
  if (o.jobs < 1 || o.jobs > 256) fail("--jobs must be 1 to 256");
  if (!(o.start >= 0)) fail("--start must be 0 or more seconds");
  if (!(o.end > o.start)) fail("--end must come after --start");
  if (o.backgroundSamples < 3 || o.backgroundSamples > 1001) fail("--background-samples must be 3 to 1001");
  if (o.threshold && (*o.threshold < 1 || *o.threshold > 254)) fail("--threshold must be 1 to 254");
  if (o.open < 0 || o.open > 50) fail("--open must be 0 to 50");
  if (o.roi && (o.roi->width <= 0 || o.roi->height <= 0 || o.roi->x < 0 || o.roi->y < 0)) {
    fail("--roi needs x,y,w,h with x, y >= 0 and w, h > 0");
  }
  const std::string behaviour = behaviour::checkBehaviourOptions(o.behaviour);
  if (!behaviour.empty()) fail(behaviour);
}

}  // namespace

Session::Session(TrackOptions options) : options_(std::move(options)) {
  checkOptions(options_);
  try {
    source_ = video::openInput(options_.inputs, options_.input);
  } catch (const video::SourceError& e) {
    throw SessionError(e.what());
  }
  const video::SourceInfo& info = source_->info();
  prepare(info.width, info.height);
  sampleSource();
  if (options_.start > 0 && info.seekable && streamStart_.empty()) {
    try {
      source_->seekExact(options_.start);
    } catch (const video::SourceError& e) {
      throw SessionError(e.what());
    }
  }
}

Session::Session(TrackOptions options, int width, int height, const std::vector<video::Frame>& samples)
    : options_(std::move(options)) {
  if (options_.inputs.empty()) options_.inputs = {"frames"};
  checkOptions(options_);
  pushedInfo_.name = options_.inputs.front();
  pushedInfo_.format = "frames";
  pushedInfo_.codec = "none";
  pushedInfo_.width = width;
  pushedInfo_.height = height;
  prepare(width, height);
  for (const video::Frame& f : samples) {
    if (f.ok() && (f.width != width || f.height != height)) {
      throw SessionError("a background sample is " + sizeText(f.width, f.height) + ", the frames are " +
                         sizeText(width, height));
    }
  }
  backgroundSource_ = "median of " + std::to_string(samples.size()) + " frames given";
  prepareBackground(samples);
  pushTracker_ = std::make_unique<tracking::FrameTracker>(setup_);
}

Session::~Session() = default;

const video::SourceInfo& Session::source() const { return source_ ? source_->info() : pushedInfo_; }

// What needs only the frames' size: the arenas and the measures.
void Session::prepare(int width, int height) {
  const std::string name = options_.inputs.front();
  if (width <= 0 || height <= 0) throw SessionError(name + ": the frames' size is not known");
  if (options_.roi) {
    const tracking::Rect whole{0, 0, width, height};
    const tracking::Rect inside = intersect(*options_.roi, whole);
    if (inside.width != options_.roi->width || inside.height != options_.roi->height) {
      throw SessionError("--roi " + rectJson(*options_.roi) + " reaches outside the " + sizeText(width, height) +
                         " frame");
    }
  }
  if (options_.holdFrames) {
    // The frames wait for their rows as long as the orientation may wait.
    const std::size_t frames = framesHeldBytes / (static_cast<std::size_t>(width) * height);
    options_.behaviour.maxLagFrames = static_cast<int>(
        std::clamp<std::size_t>(frames, 2, static_cast<std::size_t>(options_.behaviour.maxLagFrames)));
  }
  setup_.parameters = options_.parameters;
  setup_.keep = options_.keep;
}

// The arenas of the measures: --arenas, --roi, the floor found in the
// background (unless --arena frame, --arena-mask or either of those), or the
// frame.
void Session::resolveArenas() {
  const int width = setup_.background.width, height = setup_.background.height;
  try {
    const bool given = options_.roi || !options_.arenaMaskImage.empty() || !options_.behaviour.arenasFile.empty();
    if (!given && options_.detectArena) {
      detected_ = tracking::detectArena(setup_.background);
      if (detected_.found) {
        const tracking::Rect& b = detected_.bounds;
        arenas_ = {behaviour::Arena{"arena", behaviour::Shape::rectangle(b.x, b.y, b.width, b.height), "detected"}};
      }
    }
    if (arenas_.empty()) {
      behaviour::RegionOfInterest region;
      if (options_.roi) {
        region = behaviour::RegionOfInterest{options_.roi->x, options_.roi->y, options_.roi->width,
                                             options_.roi->height};
      }
      arenas_ = behaviour::resolveArenas(options_.behaviour, width, height, options_.roi ? &region : nullptr);
    }
    behaviour_ = std::make_unique<behaviour::Behaviour>(options_.behaviour, arenas_);
  } catch (const behaviour::BehaviourError& e) {
    throw SessionError(e.what());
  }
}

// Frames spread over the tracked time of a file, or a stream's first ones.
void Session::sampleSource() {
  const video::SourceInfo& info = source_->info();
  const double end = info.duration > 0 ? std::min(options_.end, info.duration) : options_.end;
  std::vector<video::Frame> samples;
  const bool spread = info.seekable && std::isfinite(end) && end > options_.start;
  try {
    if (spread) {
      // Readers of their own, so that the first stays at the start: one per
      // worker, each decoding on one thread (a seek costs a threaded decoder
      // its whole pipeline).
      video::InputOptions input = options_.input;
      input.video.threads = 1;
      const auto open = [&] { return video::openInput(options_.inputs, input); };
      std::string ended;
      const int readers = std::min<int>(options_.jobs, std::max(1u, std::thread::hardware_concurrency()));
      samples = tracking::sampleFramesSideBySide(open, options_.start, end, options_.backgroundSamples, readers,
                                                 &ended);
      backgroundSource_ = "median of " + std::to_string(samples.size()) + " frames from " + jsonNumber(options_.start) +
                          " s to " + jsonNumber(end) + " s";
      // A file cut short is tracked as far as it goes (and the run says
      // where it ended); its background comes from the frames before the cut.
      if (!ended.empty()) {
        warnings_.push_back(ended + "; the background is the median of the " + std::to_string(samples.size()) +
                            " frames sampled before it");
        backgroundSource_ += " (sampled before the file's early end)";
      }
    } else {
      // A stream: its first frames are held, sampled, and tracked afterwards.
      const std::size_t frameBytes = static_cast<std::size_t>(info.width) * info.height;
      const std::size_t most = std::max<std::size_t>(options_.backgroundSamples, streamBackgroundBytes / frameBytes);
      video::Frame frame;
      while (streamStart_.size() < most && source_->next(frame)) {
        if (frame.time >= options_.end) break;
        if (frame.time < options_.start) continue;
        const bool enough = !streamStart_.empty() && frame.time - streamStart_.front().time >= streamBackgroundSeconds;
        streamStart_.push_back(std::move(frame));
        if (enough) break;
      }
      const std::size_t n = std::min<std::size_t>(streamStart_.size(), options_.backgroundSamples);
      for (std::size_t i = 0; i < n; ++i) {
        const video::Frame& f = streamStart_[(2 * i + 1) * streamStart_.size() / (2 * n)];
        if (f.ok()) samples.push_back(f);
      }
      backgroundSource_ = "median of " + std::to_string(samples.size()) + " of the first " +
                          std::to_string(streamStart_.size()) + " frames";
    }
  } catch (const video::SourceError& e) {
    throw SessionError(e.what());
  }
  if (samples.empty()) {
    // Say which frames were looked for: none there is not none decodable.
    const std::string from = options_.start > 0 ? " from " + jsonNumber(options_.start) + " s" : "";
    if (!spread && streamStart_.empty()) {
      throw SessionError(info.name + ": no frames" + (from.empty() ? "" : from + " on") +
                         (info.duration > 0 ? ": the recording ends at " + jsonNumber(info.duration) + " s" : ""));
    }
    const std::string to = std::isfinite(end) ? " to " + jsonNumber(end) + " s" : "";
    throw SessionError(info.name + ": no frame" + from + to + " could be decoded to learn the background from");
  }
  prepareBackground(samples);
}

void Session::prepareBackground(const std::vector<video::Frame>& samples) {
  const video::SourceInfo& info = source();
  if (samples.empty()) throw SessionError(info.name + ": no frame could be decoded to learn the background from");

  if (!options_.background.pixels.empty()) {
    const tracking::Background& given = options_.background;
    if (given.width != info.width || given.height != info.height ||
        given.pixels.size() != static_cast<std::size_t>(given.width) * given.height) {
      throw SessionError(info.name + ": the background given is " + sizeText(given.width, given.height) +
                         ", the frames are " + sizeText(info.width, info.height));
    }
    setup_.background = given;
    backgroundSource_ = "given";
  } else if (!options_.backgroundImage.empty()) {
    const tressel_image::GreyResult picture = tressel_image::readGreyFile(options_.backgroundImage);
    if (!picture.ok()) throw SessionError(options_.backgroundImage + ": " + picture.error);
    if (picture.image.width != info.width || picture.image.height != info.height) {
      throw SessionError(options_.backgroundImage + ": the background is " +
                         sizeText(picture.image.width, picture.image.height) + ", the frames are " +
                         sizeText(info.width, info.height));
    }
    setup_.background.width = picture.image.width;
    setup_.background.height = picture.image.height;
    setup_.background.pixels = picture.image.pixels;
    backgroundSource_ = options_.backgroundImage;
  } else {
    const int threads = std::min<int>(options_.jobs, std::max(1u, std::thread::hardware_concurrency()));
    setup_.background = tracking::medianBackground(samples, options_.roi.value_or(tracking::Rect{}),
                                                   std::vector<std::uint8_t>{}, threads);
  }
  resolveArenas();
  calibrateArenas(samples);

  if (!options_.saveBackground.empty()) {
    const tressel_image::GreyImage picture{setup_.background.width, setup_.background.height,
                                           setup_.background.pixels};
    const std::string error = tressel_image::writePng(options_.saveBackground, picture);
    if (!error.empty()) throw SessionError(options_.saveBackground + ": " + error);
  }
}

void Session::calibrateArenas(const std::vector<video::Frame>& samples) {
  const int width = setup_.background.width, height = setup_.background.height;
  std::vector<std::uint8_t> arenaMask;
  if (!options_.arenaMaskImage.empty()) {
    const tressel_image::GreyResult picture = tressel_image::readGreyFile(options_.arenaMaskImage);
    if (!picture.ok()) throw SessionError(options_.arenaMaskImage + ": " + picture.error);
    if (picture.image.width != width || picture.image.height != height) {
      throw SessionError(options_.arenaMaskImage + ": the arena mask is " +
                         sizeText(picture.image.width, picture.image.height) + ", the frames are " +
                         sizeText(width, height));
    }
    arenaMask = picture.image.pixels;
  } else if (detected_.found) {
    arenaMask = detected_.mask;
  }
  const tracking::Rect whole = options_.roi.value_or(tracking::Rect{0, 0, width, height});

  for (const behaviour::Arena& arena : arenas_) {
    tracking::CalibrationRequest request;
    request.polarity = options_.polarity;
    request.threshold = options_.threshold;
    request.base.roi = intersect(boundsRect(arena.shape, width, height), whole);
    request.base.openRadius = options_.open;
    if (request.base.roi.empty()) throw SessionError("arena \"" + arena.name + "\" lies outside the frame");
    // A shape that is not a plain rectangle, or a given mask, limits the
    // arena pixel by pixel.
    if (arena.shape.kind != behaviour::Shape::Kind::rectangle || !arenaMask.empty()) {
      request.base.arenaMask.assign(static_cast<std::size_t>(width) * height, 0);
      const tracking::Rect& r = request.base.roi;
      for (int y = r.y; y < r.y + r.height; ++y) {
        for (int x = r.x; x < r.x + r.width; ++x) {
          const std::size_t i = static_cast<std::size_t>(y) * width + x;
          const bool inside = arena.shape.contains(x, y) && (arenaMask.empty() || arenaMask[i] != 0);
          request.base.arenaMask[i] = inside ? 1 : 0;
        }
      }
    }
    tracking::Calibration c = tracking::calibrate(samples, setup_.background, request);
    for (std::string& w : c.warnings) {
      warnings_.push_back(arenas_.size() > 1 ? "arena \"" + arena.name + "\": " + w : w);
    }
    tracking::ArenaSetup a;
    a.name = arena.name;
    a.segmentation = c.settings;
    a.minArea = c.minArea;
    a.maxArea = c.typicalArea > 0 ? c.maxArea : std::numeric_limits<std::int64_t>::max();
    setup_.arenas.push_back(std::move(a));
    calibrations_.push_back(std::move(c));
  }
}

std::string Session::settingsJson() const {
  const video::SourceInfo& info = source();
  std::ostringstream j;
  j << "{\"tool\":\"tressel track\",\"version\":" << jsonQuoted(tressel_version()) << ",\"input\":[";
  for (std::size_t i = 0; i < options_.inputs.size(); ++i) j << (i ? "," : "") << jsonQuoted(options_.inputs[i]);
  j << "],\"format\":" << jsonQuoted(info.format) << ",\"codec\":" << jsonQuoted(info.codec)
    << ",\"pixel_format\":" << jsonQuoted(info.pixelFormat) << ",\"width\":" << info.width
    << ",\"height\":" << info.height << ",\"frame_rate\":" << jsonNumber(info.frameRate)
    << ",\"start_s\":" << jsonNumber(options_.start) << ",\"end_s\":" << jsonNumber(options_.end)
    << ",\"background\":" << jsonQuoted(backgroundSource_)
    << ",\"roi\":" << (options_.roi ? rectJson(*options_.roi) : "null")
    << ",\"arena_mask\":" << (options_.arenaMaskImage.empty() ? "null" : jsonQuoted(options_.arenaMaskImage))
    << ",\"arena_detection\":"
    << jsonQuoted(!options_.detectArena ? "off"
                  : detected_.found ? "floor found at " + rectJson(detected_.bounds)
                  : detected_.reason.empty() ? "not tried: the arena is given"
                                             : "no floor found: " + detected_.reason)
    << ",\"arenas\":[";
  for (std::size_t i = 0; i < calibrations_.size(); ++i) {
    const tracking::Calibration& c = calibrations_[i];
    const tracking::SegmentationSettings& s = c.settings;
    j << (i ? "," : "") << "{\"name\":" << jsonQuoted(arenas_[i].name) << ",\"region\":" << rectJson(s.roi)
      << ",\"animal\":" << jsonQuoted(tracking::polarityName(s.polarity))
      << ",\"animal_learnt\":" << (c.polarityLearnt ? "true" : "false") << ",\"threshold\":" << s.threshold
      << ",\"threshold_learnt\":" << (c.thresholdLearnt ? "true" : "false") << ",\"noise\":" << jsonNumber(c.noise)
      << ",\"contrast\":" << jsonNumber(c.contrast) << ",\"typical_area_px\":" << c.typicalArea
      << ",\"area_gate_px\":[" << c.minArea << "," << c.maxArea << "],\"open\":" << s.openRadius
      << ",\"coarse_step\":" << s.coarseStep << ",\"samples\":" << c.samples
      << ",\"samples_with_animal\":" << c.samplesWithAnimal << "}";
  }
  j << "],\"parameters\":{";
  bool first = true;
  for (const ParameterField& f : parameterFields) {
    j << (first ? "" : ",") << jsonQuoted(f.name) << ":" << options_.parameters.*f.analysisField;
    first = false;
  }
  j << "},\"jobs\":" << options_.jobs << ",\"behaviour\":" << behaviour::behaviourOptionsJson(options_.behaviour)
    << "}";
  return j.str();
}

std::vector<std::string> Session::headerLines() const {
  const video::SourceInfo& info = source();
  std::vector<std::string> lines;
  std::string inputs;
  for (const std::string& in : options_.inputs) inputs += (inputs.empty() ? "" : " ") + in;
  lines.push_back(std::string("tressel track ") + tressel_version());
  lines.push_back("input: " + inputs + " (" + info.format + ", " + info.codec + ", " +
                  sizeText(info.width, info.height) + ", " + jsonNumber(info.frameRate) + " frames/s)");
  lines.push_back("background: " + backgroundSource_);
  for (std::size_t i = 0; i < calibrations_.size(); ++i) {
    const tracking::Calibration& c = calibrations_[i];
    std::string line = calibrations_.size() > 1 ? "arena " + arenas_[i].name + ": " : "";
    line += "region " + rectJson(c.settings.roi) + ", animal " + tracking::polarityName(c.settings.polarity) +
            (c.polarityLearnt ? " (learnt)" : "") + ", threshold " + std::to_string(c.settings.threshold) +
            (c.thresholdLearnt ? " (learnt)" : "") + ", area gate " + std::to_string(c.minArea) + ".." +
            std::to_string(c.maxArea) + " px";
    lines.push_back(line);
  }
  std::string parameters = "parameters:";
  for (const ParameterField& f : parameterFields) {
    parameters += std::string(" ") + f.name + "=" + std::to_string(options_.parameters.*f.analysisField);
  }
  lines.push_back(parameters);
  lines.push_back("settings: " + settingsJson());
  return lines;
}

void Session::measure(std::vector<tracking::FrameRecord>& records, const video::Frame& frame,
                      const DeliverRows& deliver, const RecordsHook& recordsHook, const FrameRowsHook& framesHook) {
  if (recordsHook) recordsHook(records, frame);
  if (framesHook) waiting_.push_back(frame);
  for (tracking::FrameRecord& r : records) {
    r.maskRuns.clear();
    behaviour_->push(std::move(r), rows_);
  }
  if (rows_.empty()) return;
  deliver(rows_);
  if (framesHook) {
    // Rows come by frame, then arena: a frame is complete with its last
    // arena's row.
    const std::size_t arenas = arenas_.size();
    for (behaviour::BehaviourRow& row : rows_) {
      frameRows_.push_back(std::move(row));
      if (frameRows_.size() < arenas) continue;
      const std::int64_t index = frameRows_.front().record.frame;
      while (!waiting_.empty() && waiting_.front().index < index) waiting_.pop_front();
      if (!waiting_.empty() && waiting_.front().index == index) {
        std::vector<const behaviour::BehaviourRow*> rows;
        for (const behaviour::BehaviourRow& r : frameRows_) rows.push_back(&r);
        framesHook(waiting_.front(), rows);
        waiting_.pop_front();
      }
      frameRows_.clear();
    }
  }
  rows_.clear();
}

// With several workers, a file whose frames need not be kept is tracked in
// pieces that begin at key frames, each decoded by a worker's own reader:
// the pieces' first frames, the first at the start. At least two seconds
// apart, so that the seeks cost little. Empty: one reader for all.
std::vector<double> Session::pieceStarts() const {
  constexpr double shortest = 2.0;  // seconds
  const video::SourceInfo& info = source_->info();
  if (options_.jobs < 2 || options_.holdFrames || !streamStart_.empty() || !info.seekable) return {};
  const double end = info.duration > 0 ? std::min(options_.end, info.duration) : options_.end;
  std::vector<double> starts{options_.start};
  for (double key : source_->keyframeTimes()) {
    if (key >= starts.back() + shortest && key + shortest <= end) starts.push_back(key);
  }
  return starts;
}

RunResult Session::run(const DeliverRows& deliver, const std::atomic<bool>* stop, const RecordsHook& recordsHook,
                       const FrameRowsHook& framesHook) {
  if (ran_ || !source_) throw SessionError("a session tracks its source once");
  if (framesHook && !options_.holdFrames) throw SessionError("frames with their rows need TrackOptions::holdFrames");
  ran_ = true;
  HeldThenRest frames(streamStart_, *source_, options_.start);
  tracking::LoopSettings settings;
  settings.jobs = options_.jobs;
  settings.stop = stop;
  settings.end = options_.end;
  RunResult result;
  auto counted = [&](const std::vector<behaviour::BehaviourRow>& rows) {
    result.rows += static_cast<std::int64_t>(rows.size());
    deliver(rows);
  };
  const auto measured = [&](std::vector<tracking::FrameRecord>& records, const video::Frame& frame) {
    measure(records, frame, counted, recordsHook, framesHook);
  };
  const std::vector<double> pieces = pieceStarts();
  if (pieces.size() > 1) {
    video::InputOptions input = options_.input;
    input.video.threads = 1;
    const auto open = [&] { return video::openInput(options_.inputs, input); };
    result.loop = tracking::trackPieces(open, pieces, setup_, settings, measured);
  } else {
    result.loop = tracking::trackSource(frames, setup_, settings, measured);
  }
  std::vector<tracking::FrameRecord> none;
  behaviour_->finish(rows_);
  measure(none, video::Frame(), counted, nullptr, framesHook);
  return result;
}

void Session::push(const video::Frame& frame, const DeliverRows& deliver) {
  if (!pushTracker_) throw SessionError("frames are pushed only to a session made without a source");
  pushTracker_->track(frame, records_);
  pushChange_.update(records_);
  measure(records_, frame, deliver, nullptr, nullptr);
}

void Session::finish(const DeliverRows& deliver) {
  if (!pushTracker_) throw SessionError("frames are pushed only to a session made without a source");
  std::vector<tracking::FrameRecord> none;
  behaviour_->finish(rows_);
  measure(none, video::Frame(), deliver, nullptr, nullptr);
  pushTracker_.reset();
}

}  // namespace tressel::tracker
