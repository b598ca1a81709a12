#include "tracker/Retrack.h"

#include <charconv>
#include <sstream>

#include "behaviour/Json.h"
#include "capi/parameters.h"

namespace tressel::tracker {
namespace {

using behaviour::jsonQuoted;

const ParameterField* findParameter(const std::string& name) {
  for (const ParameterField& f : parameterFields) {
    if (optionName(f) == name) return &f;
  }
  return nullptr;
}

// "" or what is wrong with the value.
std::string applyOption(const std::string& name, const std::string& value, AnalysisParameters& parameters,
                        behaviour::BehaviourOptions& options) {
  if (const ParameterField* p = findParameter(name)) {
    int v = 0;
    const char* end = value.data() + value.size();
    const auto [next, status] = std::from_chars(value.data(), end, v);
    if (status != std::errc() || next != end || v < -1000000 || v > 1000000) {
      return "option " + name + ": '" + value + "' is not a whole number from -1000000 to 1000000";
    }
    parameters.*p->analysisField = v;
    return "";
  }
  if (name == "--arenas") return "option --arenas: the arenas are those the masks were segmented in";
  if (const behaviour::BehaviourOption* o = behaviour::findBehaviourOption(name)) return o->apply(value, options);
  return "option " + name + " is not an analysis parameter or a behaviour measure's option";
}

}  // namespace

MaskHeader maskHeader(const Session& session, const AnalysisParameters& parameters) {
  MaskHeader h;
  const video::SourceInfo& info = session.source();
  h.width = info.width;
  h.height = info.height;
  h.frameRate = info.frameRate;
  const std::vector<behaviour::Arena>& arenas = session.arenas();
  for (std::size_t i = 0; i < arenas.size(); ++i) {
    const tracking::ArenaSetup& gate = session.setup().arenas[i];
    h.arenas.push_back({arenas[i].name, arenas[i].shape.json(), arenas[i].source, gate.minArea, gate.maxArea});
  }
  for (const ParameterField& f : parameterFields) {
    h.options.emplace_back(optionName(f), std::to_string(parameters.*f.analysisField));
  }
  const behaviour::BehaviourOptions defaults;
  for (const behaviour::BehaviourOption& o : behaviour::behaviourOptions()) {
    const std::string value = o.show(session.behaviourOptions());
    if (value != o.show(defaults)) h.options.emplace_back(o.name, value);
  }
  h.settingsJson = session.settingsJson();
  return h;
}

Retrack::Retrack(const std::string& masks, const GivenOptions& given) : path_(masks) {
  try {
    reader_ = std::make_unique<MaskReader>(masks);
  } catch (const MaskFileError& e) {
    throw SessionError(e.what());
  }
  const MaskHeader& h = reader_->header();
  for (const auto& [name, value] : h.options) {
    const std::string problem = applyOption(name, value, parameters_, options_);
    if (!problem.empty()) throw SessionError(masks + ": the saved " + problem);
  }
  for (const auto& [name, value] : given) {
    const std::string problem = applyOption(name, value, parameters_, options_);
    if (!problem.empty()) throw SessionError(problem);
  }
  const std::string conflict = behaviour::checkBehaviourOptions(options_);
  if (!conflict.empty()) throw SessionError(conflict);

  setup_.parameters = parameters_;
  setup_.background.width = h.width;
  setup_.background.height = h.height;
  setup_.background.pixels.assign(static_cast<std::size_t>(h.width) * h.height, 0);
  try {
    for (const MaskArena& a : h.arenas) {
      std::vector<behaviour::Arena> parsed = behaviour::parseArenas(
          "{\"arenas\":[{\"name\":" + jsonQuoted(a.name) + "," + a.shapeJson.substr(1) + "]}", masks);
      parsed.front().source = a.source;
      arenas_.push_back(parsed.front());
      tracking::ArenaSetup s;
      s.name = a.name;
      s.minArea = a.minArea;
      s.maxArea = a.maxArea;
      setup_.arenas.push_back(std::move(s));
    }
    behaviour_ = std::make_unique<behaviour::Behaviour>(options_, arenas_);
  } catch (const behaviour::BehaviourError& e) {
    throw SessionError(e.what());
  }
}

Retrack::~Retrack() = default;

std::string Retrack::settingsJson() const {
  std::ostringstream j;
  j << "{\"tool\":\"tressel retrack\",\"version\":" << jsonQuoted(tressel_version())
    << ",\"masks\":" << jsonQuoted(path_) << ",\"parameters\":{";
  bool first = true;
  for (const ParameterField& f : parameterFields) {
    j << (first ? "" : ",") << jsonQuoted(f.name) << ":" << parameters_.*f.analysisField;
    first = false;
  }
  j << "},\"behaviour\":" << behaviour::behaviourOptionsJson(options_)
    << ",\"tracked\":" << reader_->header().settingsJson << "}";
  return j.str();
}

std::vector<std::string> Retrack::headerLines() const {
  std::vector<std::string> lines;
  lines.push_back(std::string("tressel retrack ") + tressel_version());
  lines.push_back("masks: " + path_);
  std::string parameters = "parameters:";
  for (const ParameterField& f : parameterFields) {
    parameters += std::string(" ") + f.name + "=" + std::to_string(parameters_.*f.analysisField);
  }
  lines.push_back(parameters);
  lines.push_back("settings: " + settingsJson());
  return lines;
}

RetrackResult Retrack::run(const DeliverRows& deliver, const std::atomic<bool>* stop) {
  RetrackResult result;
  tracking::FrameTracker tracker(setup_);
  tracking::BodyChange change;
  std::vector<tracking::FrameRecord> records;
  std::vector<std::vector<tracking::PixelRun>> runs;
  std::vector<behaviour::BehaviourRow> rows;
  auto hand = [&] {
    if (rows.empty()) return;
    result.rows += static_cast<std::int64_t>(rows.size());
    deliver(rows);
    rows.clear();
  };
  try {
    while (reader_->next(records, runs)) {
      if (stop != nullptr && stop->load()) {
        result.interrupted = true;
        break;
      }
      for (std::size_t i = 0; i < records.size(); ++i) tracker.analyze(runs[i], records[i]);
      change.update(records);
      for (tracking::FrameRecord& r : records) behaviour_->push(std::move(r), rows);
      ++result.frames;
      hand();
    }
  } catch (const MaskFileError& e) {
    result.fileError = e.what();
  } catch (const behaviour::BehaviourError& e) {
    result.fileError = path_ + ": " + e.what();
  }
  behaviour_->finish(rows);
  hand();
  return result;
}

}  // namespace tressel::tracker
