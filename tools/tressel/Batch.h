// The recordings of `tressel track ... --out-dir DIR`: where each one's table
// goes and which of them a shard takes.
#pragma once

#include <string>
#include <vector>

#include "Options.h"

namespace tressel_tool {

struct Recording {
  std::string input;  // as given
  std::string name;   // the file's name without its extension, or the folder's name
  std::string table;  // DIR/NAME.csv (.jsonl for --format json); the side files go beside it
};

// "" where the path names no recording (a root, "." or "..").
std::string recordingName(const std::string& input, bool folder);

// Every input as a recording, in the order given.
std::vector<Recording> batchRecordings(const Options& options);

// Shard I of N takes the recordings whose rank among the names, sorted, is
// I-1, I-1+N, I-1+2N, ...: the N shards of one list split it without gap or
// overlap whatever order each was given it in. Input order is kept.
std::vector<Recording> shardRecordings(const std::vector<Recording>& all, int shard, int shards);

}  // namespace tressel_tool
