// The summary of a table that `tressel track` wrote, measured again from its
// rows with other behaviour options, without the video:
//
//   std::string json = summarizeTable(csvText, {"--bin", "60s"}, SummaryFormat::json);
//
// The table's "# settings:" header line gives the frame's size, the arenas
// and the behaviour options of the run; the options given replace those
// they name. Only behaviour options may be given (throws OptionsError for
// others); a table without settings or with a bad line throws SessionError
// ("table: line 7: column time_s: '0.x' is not a number").
#pragma once

#include <string>
#include <vector>

#include "tracker/Session.h"

namespace tressel::tracker {

enum class SummaryFormat { json, csv };

std::string summarizeTable(const std::string& table, const std::vector<std::string>& options, SummaryFormat format);

}  // namespace tressel::tracker
