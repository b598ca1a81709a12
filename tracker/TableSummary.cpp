#include "tracker/TableSummary.h"

#include <sstream>

#include "behaviour/Behaviour.h"
#include "behaviour/Json.h"
#include "behaviour/Options.h"
#include "behaviour/Table.h"
#include "tracker/TrackArguments.h"

namespace tressel::tracker {
namespace {

using behaviour::JsonValue;

const char kName[] = "table";
const char kSettingsLine[] = "# settings: ";

[[noreturn]] void fail(const std::string& message) { throw SessionError(std::string(kName) + ": " + message); }

const JsonValue& member(const JsonValue& object, const char* key, JsonValue::Type type) {
  const JsonValue* value = object.find(key);
  if (value == nullptr || value->type != type) fail(std::string("the settings have no \"") + key + "\" of the right kind");
  return *value;
}

int whole(const JsonValue& value) {
  if (!value.isNumber() || value.number < 0 || value.number > (1 << 24) || value.number != static_cast<int>(value.number)) {
    fail("the settings hold a bad size or region");
  }
  return static_cast<int>(value.number);
}

// The run's behaviour options, as its settings record them.
behaviour::BehaviourOptions recordedOptions(const JsonValue& settings) {
  behaviour::BehaviourOptions options;
  const behaviour::BehaviourOptions defaults;
  for (const auto& [key, value] : member(settings, "behaviour", JsonValue::Type::object).members) {
    const behaviour::BehaviourOption* option = behaviour::findBehaviourOption("--" + key);
    if (option == nullptr || !value.isString()) fail("the settings name an unknown behaviour option \"" + key + "\"");
    if (value.string == option->show(defaults)) continue;
    const std::string problem = option->apply(value.string, options);
    if (!problem.empty()) fail("the settings' " + problem);
  }
  return options;
}

// The arenas the run measured in: its arenas file's, or the regions its
// settings record.
std::vector<behaviour::Arena> recordedArenas(const JsonValue& settings, const behaviour::BehaviourOptions& options) {
  if (!options.arenasFile.empty()) return behaviour::loadArenasFile(options.arenasFile);
  const JsonValue* detection = settings.find("arena_detection");
  const JsonValue* roi = settings.find("roi");
  const char* source = detection != nullptr && detection->string.rfind("floor found", 0) == 0 ? "detected"
                       : roi != nullptr && roi->isArray()                                       ? "roi"
                                                                                                 : "frame";
  std::vector<behaviour::Arena> arenas;
  for (const JsonValue& arena : member(settings, "arenas", JsonValue::Type::array).items) {
    const JsonValue& region = member(arena, "region", JsonValue::Type::array);
    if (region.items.size() != 4) fail("an arena's region is not [x, y, w, h]");
    arenas.push_back({member(arena, "name", JsonValue::Type::string).string,
                      behaviour::Shape::rectangle(whole(region.items[0]), whole(region.items[1]),
                                                  whole(region.items[2]), whole(region.items[3])),
                      source});
  }
  if (arenas.empty()) fail("the settings list no arena");
  return arenas;
}

}  // namespace

std::string summarizeTable(const std::string& table, const std::vector<std::string>& options, SummaryFormat format) {
  behaviour::BehaviourOptions checked;  // the options' own faults first, whatever the table
  if (const std::string problem = parseBehaviourArguments(options, checked); !problem.empty()) {
    throw OptionsError(problem);
  }
  std::istringstream lines(table);
  std::string line, settingsText, header;
  std::int64_t lineNumber = 0;
  while (header.empty() && std::getline(lines, line)) {
    ++lineNumber;
    if (line.rfind(kSettingsLine, 0) == 0) {
      settingsText = line.substr(sizeof kSettingsLine - 1);
    } else if (line.rfind("#", 0) != 0) {
      header = line;
    }
  }
  if (header.empty()) fail("no header line with the column names");
  if (settingsText.empty()) fail("no \"# settings:\" line: the table was not written by tressel track");
  JsonValue settings;
  try {
    settings = behaviour::parseJson(settingsText);
  } catch (const behaviour::JsonError& e) {
    fail(std::string("the settings line: ") + e.what());
  }

  try {
    behaviour::BehaviourOptions measures = recordedOptions(settings);
    const std::string problem = parseBehaviourArguments(options, measures);
    if (!problem.empty()) throw OptionsError(problem);
    if (const std::string conflict = behaviour::checkBehaviourOptions(measures); !conflict.empty()) {
      throw OptionsError(conflict);
    }

    const std::vector<behaviour::Arena> arenas = recordedArenas(settings, measures);
    std::vector<std::string> names;
    if (arenas.size() > 1) {
      for (const behaviour::Arena& a : arenas) names.push_back(a.name);
    }
    behaviour::Behaviour measure(measures, arenas);
    const behaviour::TableReader reader(header, kName, names);
    std::vector<behaviour::BehaviourRow> rows;
    while (std::getline(lines, line)) {
      ++lineNumber;
      if (line.empty() || line == "\r") continue;
      measure.push(reader.record(line, lineNumber), rows);
      rows.clear();
    }
    measure.finish(rows);
    return format == SummaryFormat::csv ? behaviour::summaryCsv(measure.summary())
                                        : behaviour::summaryJson(measure.summary(), settingsText);
  } catch (const behaviour::BehaviourError& e) {
    throw SessionError(e.what());
  }
}

}  // namespace tressel::tracker
