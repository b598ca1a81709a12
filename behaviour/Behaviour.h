// From the tracker's per-frame records to behaviour: which end is the head
// over the whole track, gaps and jumps, movement, zones, several arenas, and
// the summaries. Streaming: push the records in order and receive finished
// rows in order; memory does not grow with the recording's length and a row
// comes out at most a bounded number of frames after its record (the
// orientation's --max-lag, the gap's --interpolate, the smoothing window and
// --freeze-min, whichever stage holds it longest).
//
//   BehaviourOptions options;                                  // filled from the command line
//   std::vector<Arena> arenas = resolveArenas(options, width, height, roi);  // roi may be nullptr
//   Behaviour behaviour(options, arenas);                      // reads --zones; throws BehaviourError
//   RowWriter writer(std::cout, TableFormat::csv, behaviour.columns());
//   writer.header(comments);
//   std::vector<BehaviourRow> rows;
//   for each frame, for each arena a (in order):               // record.arena == a
//     behaviour.push(std::move(record), rows);                 // appends the rows that are finished
//     for (const BehaviourRow& row : rows) writer.row(row);
//     writer.flush();
//     rows.clear();
//   behaviour.finish(rows);                                    // the rest
//   ... write them, then summaryJson(behaviour.summary(), trackerJson) etc. (Summary.h)
//
// Rows come out ordered by frame, then arena.
#pragma once

#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "behaviour/Arenas.h"
#include "behaviour/Options.h"
#include "behaviour/Row.h"
#include "behaviour/Summary.h"
#include "behaviour/Table.h"
#include "tracking/FrameRecord.h"

namespace tressel::behaviour {

// The arenas of a recording: those of --arenas, else the tracker's region of
// interest (x, y, width, height), else the whole frame.
struct RegionOfInterest {
  int x = 0, y = 0, width = 0, height = 0;
};
std::vector<Arena> resolveArenas(const BehaviourOptions& options, int frameWidth, int frameHeight,
                                 const RegionOfInterest* roi);

class ArenaTrack;

class Behaviour {
 public:
  // Throws BehaviourError for bad options, an unreadable or bad zones file, a
  // zone of an arena that does not exist.
  Behaviour(const BehaviourOptions& options, const std::vector<Arena>& arenas);
  ~Behaviour();
  Behaviour(const Behaviour&) = delete;
  Behaviour& operator=(const Behaviour&) = delete;

  // Throws BehaviourError for a record of an arena that does not exist or
  // one whose frame is not after the arena's previous one.
  void push(tracking::FrameRecord record, std::vector<BehaviourRow>& rows);
  void finish(std::vector<BehaviourRow>& rows);

  const std::vector<Column>& columns() const { return columns_; }
  const std::vector<std::shared_ptr<const ArenaInfo>>& arenas() const { return infos_; }
  const Summary& summary() const { return summary_; }  // complete after finish()

 private:
  void release(std::vector<BehaviourRow>& rows, bool all);

  BehaviourOptions options_;
  std::vector<std::shared_ptr<const ArenaInfo>> infos_;
  std::vector<Column> columns_;
  std::vector<std::unique_ptr<ArenaTrack>> tracks_;
  std::vector<std::deque<BehaviourRow>> finished_;  // per arena, waiting for the other arenas' rows
  Summary summary_;
  bool finished_all_ = false;
};

}  // namespace tressel::behaviour
