// tressel track A.mp4 B.mp4 ... --out-dir DIR: many recordings, each into
// DIR/NAME.csv and its side files. Several processes, on one machine or on a
// cluster's nodes, may share DIR: a recording is tracked under a lock, and one
// whose outputs are complete is left alone. Each recording runs in a child
// process of its own, so that one that fails, even by crashing, leaves the
// others going.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <map>
#include <numeric>

#include "Batch.h"
#include "Commands.h"
#include "video/ImageSequence.h"

namespace tressel_tool {
namespace {

// A child's exit status when it left its recording alone (0: tracked, 1: failed).
constexpr int skippedStatus = 3;

volatile std::sig_atomic_t stopBatch = 0;
extern "C" void requestBatchStop(int) { stopBatch = 1; }

bool isFolder(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0 && S_ISDIR(s.st_mode);
}

bool isFile(const std::string& path) {
  struct stat s;
  return stat(path.c_str(), &s) == 0 && S_ISREG(s.st_mode);
}

// The table is renamed into place after its side files are written: with all
// of them there, the recording is done.
bool isComplete(const std::string& table) {
  for (const char* side : {"", ".json", ".summary.json", ".summary.csv", ".background.png"}) {
    if (!isFile(table + side)) return false;
  }
  return true;
}

bool readShard(const std::string& text, int& shard, int& shards) {
  const std::size_t slash = text.find('/');
  if (slash == std::string::npos) return false;
  int i = 0, n = 0;
  const char* end = text.data() + text.size();
  const auto [afterI, statusI] = std::from_chars(text.data(), text.data() + slash, i);
  const auto [afterN, statusN] = std::from_chars(text.data() + slash + 1, end, n);
  if (statusI != std::errc() || afterI != text.data() + slash || statusN != std::errc() || afterN != end) return false;
  if (n < 1 || n > 1000000 || i < 1 || i > n) return false;
  shard = i;
  shards = n;
  return true;
}

std::string tablePath(const Options& o, const std::string& name) {
  std::string dir = o.outDir;
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return (dir == "/" ? "" : dir) + "/" + name + (o.format == Format::json ? ".jsonl" : ".csv");
}

// An exclusive flock on TABLE.lock while the recording is tracked. The system
// drops it when its process ends, however it ends, so a lock file left by a
// killed run holds nothing. The file is removed on release; a process that
// locked it just before is told by its changed inode and opens the new one.
class RecordingLock {
 public:
  explicit RecordingLock(std::string path) : path_(std::move(path)) {
    for (int attempt = 0; attempt < 100; ++attempt) {
      descriptor_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
      if (descriptor_ < 0) {
        error_ = path_ + ": cannot create the lock: " + std::strerror(errno);
        return;
      }
      if (flock(descriptor_, LOCK_EX | LOCK_NB) != 0) {
        if (errno == EWOULDBLOCK) {
          holder_ = readHolder();
        } else {
          error_ = path_ + ": cannot lock: " + std::strerror(errno);
        }
        closeDescriptor();
        return;
      }
      struct stat locked, named;
      if (fstat(descriptor_, &locked) == 0 && stat(path_.c_str(), &named) == 0 && locked.st_dev == named.st_dev &&
          locked.st_ino == named.st_ino) {
        char host[256] = "";
        gethostname(host, sizeof host - 1);
        const std::string who = "pid " + std::to_string(getpid()) + " on " + host + "\n";
        if (ftruncate(descriptor_, 0) != 0 || write(descriptor_, who.data(), who.size()) < 0) {
          // Who holds the lock is for people; the lock holds without it.
        }
        return;
      }
      closeDescriptor();
    }
    error_ = path_ + ": cannot lock: the lock file keeps being replaced";
  }
  ~RecordingLock() {
    if (held()) unlink(path_.c_str());
    closeDescriptor();
  }
  RecordingLock(const RecordingLock&) = delete;
  RecordingLock& operator=(const RecordingLock&) = delete;

  bool held() const { return descriptor_ >= 0; }
  const std::string& error() const { return error_; }
  const std::string& holder() const { return holder_; }  // of a lock held elsewhere

 private:
  std::string readHolder() const {
    char text[300];
    const ssize_t n = pread(descriptor_, text, sizeof text - 1, 0);
    std::string who(text, n > 0 ? static_cast<std::size_t>(n) : 0);
    who.erase(std::find(who.begin(), who.end(), '\n'), who.end());
    return who.empty() ? "another process" : who;
  }
  void closeDescriptor() {
    if (descriptor_ >= 0) close(descriptor_);
    descriptor_ = -1;
  }

  std::string path_;
  int descriptor_ = -1;
  std::string error_, holder_;
};

// In the child: one recording into its table, its line on stdout; returns
// the child's exit status.
int trackInFolder(const Options& options, const Recording& r, int threads) {
  auto line = [&](const std::string& what) {
    std::fputs((r.input + ": " + what + "\n").c_str(), stdout);
    std::fflush(stdout);
  };
  if (isComplete(r.table)) {
    line("skipped: " + r.table + " is complete");
    return skippedStatus;
  }
  const RecordingLock lock(r.table + ".lock");
  if (!lock.error().empty()) {
    line("failed: " + lock.error());
    return 1;
  }
  // Whoever held the lock may have finished the recording meanwhile.
  if (isComplete(r.table)) {
    line("skipped: " + r.table + " is complete");
    return skippedStatus;
  }
  if (!lock.held()) {
    line("skipped: being tracked by " + lock.holder());
    return skippedStatus;
  }
  Options one = options;
  one.outDir.clear();
  one.out = r.table;
  one.track.inputs = {r.input};
  one.track.jobs = threads;
  one.track.input.video.threads = threads;
  std::string fault;
  int status = 1;
  try {
    status = trackRecording(one, RecordingReport{false, &fault});
  } catch (const std::exception& e) {
    fault += e.what();
  }
  if (status == 0) {
    line("done: " + r.table);
    return 0;
  }
  line("failed: " + fault + (isComplete(r.table) ? " (its table is complete)" : ""));
  return 1;
}

}  // namespace

std::string recordingName(const std::string& input, bool folder) {
  std::string path = input;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  std::string name = path.substr(path.rfind('/') + 1);
  if (name == "." || name == ".." || name == "/") return "";
  const std::size_t dot = name.rfind('.');
  if (!folder && dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

std::vector<Recording> batchRecordings(const Options& options) {
  std::vector<Recording> all;
  for (const std::string& input : options.track.inputs) {
    const std::string name = recordingName(input, isFolder(input));
    all.push_back(Recording{input, name, tablePath(options, name)});
  }
  return all;
}

std::vector<Recording> shardRecordings(const std::vector<Recording>& all, int shard, int shards) {
  if (shards <= 1) return all;
  std::vector<std::size_t> byName(all.size());
  std::iota(byName.begin(), byName.end(), std::size_t{0});
  std::sort(byName.begin(), byName.end(), [&](std::size_t a, std::size_t b) { return all[a].name < all[b].name; });
  std::vector<bool> taken(all.size(), false);
  for (std::size_t rank = static_cast<std::size_t>(shard - 1); rank < byName.size(); rank += shards) {
    taken[byName[rank]] = true;
  }
  std::vector<Recording> mine;
  for (std::size_t i = 0; i < all.size(); ++i) {
    if (taken[i]) mine.push_back(all[i]);
  }
  return mine;
}

std::optional<std::string> parseBatchOption(const std::string& name, const std::function<bool()>& takeValue,
                                            const std::string& value, Options& o) {
  if (name != "--out-dir" && name != "--shard") return std::nullopt;
  if (!takeValue()) return "option " + name + " needs a value";
  if (name == "--out-dir") {
    if (value.empty()) return std::string("option --out-dir needs a folder");
    o.outDir = value;
  } else if (!readShard(value, o.shard, o.shards)) {
    return "option --shard: '" + value + "' is not I/N with 1 <= I <= N, such as 1/4";
  }
  return std::string();
}

std::string checkBatch(const Options& o) {
  const std::vector<std::string>& inputs = o.track.inputs;
  if (o.outDir.empty()) {
    if (o.shards > 0) return "option --shard needs --out-dir DIR";
    if (inputs.size() > 1 && !std::all_of(inputs.begin(), inputs.end(), tressel::video::hasImageExtension)) {
      return "several recordings need --out-dir DIR (several image files are the frames of one)";
    }
    return "";
  }
  if (!o.out.empty()) return "options --out and --out-dir exclude each other: with --out-dir each table is DIR/NAME.csv";
  if (!o.track.saveBackground.empty()) {
    return "option --save-background names one file: with --out-dir each background is DIR/NAME.csv.background.png";
  }
  if (!o.overlay.empty() || !o.saveMasks.empty()) {
    return std::string("option ") + (o.overlay.empty() ? "--save-masks" : "--overlay") +
           " names one file: with --out-dir track each recording on its own to keep its overlay or masks";
  }
  std::map<std::string, std::string> inputOf;
  for (const std::string& input : inputs) {
    if (input == "-") return "-: standard input cannot be one of the recordings of --out-dir";
    if (tressel::video::hasImageExtension(input)) {
      return input + ": an image is one frame; with --out-dir each recording is a video or a folder of frames";
    }
    const std::string name = recordingName(input, isFolder(input));
    if (name.empty()) return input + ": the path gives no name for the recording's table; name the folder";
    const auto [at, fresh] = inputOf.emplace(name, input);
    if (!fresh) return at->second + " and " + input + " would both be tracked into " + tablePath(o, name);
  }
  return "";
}

std::string batchHelp() {
  return "Many recordings (each a video or a folder of frames):\n"
         "  --out-dir DIR          track every input into DIR/NAME.csv and its side\n"
         "                         files, NAME being the input's file name without\n"
         "                         its extension (a folder's name as it is); one\n"
         "                         whose outputs are complete is skipped, one being\n"
         "                         tracked by another process (a lock, DIR/NAME.csv.lock)\n"
         "                         too; a failed one is reported and the others go on;\n"
         "                         one line per recording on stdout: done, skipped\n"
         "                         or failed, and why; exit status 1 if any failed\n"
         "  --jobs N               with --out-dir: N recordings at a time, each on\n"
         "                         one thread (N/R threads each when there are only\n"
         "                         R < N recordings)\n"
         "  --shard I/N            with --out-dir: only every N-th recording, from\n"
         "                         the I-th (1 <= I <= N), counted in the order of\n"
         "                         their names: N processes given the same inputs\n"
         "                         with 1/N ... N/N share them out (job arrays)\n"
         "Several image files are the frames of one recording; several inputs of\n"
         "which any is not an image are recordings and need --out-dir.\n";
}

int runBatch(const Options& options) {
  const std::vector<Recording> all = batchRecordings(options);
  const std::vector<Recording> mine = shardRecordings(all, options.shard, options.shards);
  if (mkdir(options.outDir.c_str(), 0755) != 0 && errno != EEXIST) {
    std::fputs(fileMessage(options.outDir, std::string("cannot create the folder: ") + std::strerror(errno)).c_str(),
               stderr);
    return 1;
  }
  if (!isFolder(options.outDir)) {
    std::fputs(fileMessage(options.outDir, "not a folder").c_str(), stderr);
    return 1;
  }
  if (mine.empty()) {
    std::fprintf(stderr, "tressel: shard %d/%d has none of the %zu recordings\n", options.shard, options.shards,
                 all.size());
    return 0;
  }
  const int workers = static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(options.track.jobs), mine.size()));
  const int threads = std::max(1, options.track.jobs / workers);

  // A stop (Ctrl-C, scancel) starts no more recordings and is passed on to
  // those running, which keep their complete rows. No SA_RESTART: the signal
  // wakes waitpid.
  struct sigaction stop {};
  stop.sa_handler = requestBatchStop;
  sigemptyset(&stop.sa_mask);
  struct sigaction oldInterrupt {}, oldTerminate {};
  sigaction(SIGINT, &stop, &oldInterrupt);
  sigaction(SIGTERM, &stop, &oldTerminate);

  std::map<pid_t, const Recording*> running;
  std::size_t next = 0;
  int done = 0, skipped = 0, failed = 0;
  bool passedOn = false;
  for (;;) {
    while (!stopBatch && static_cast<int>(running.size()) < workers && next < mine.size()) {
      const Recording& r = mine[next++];
      std::fflush(stdout);
      std::fflush(stderr);
      const pid_t pid = fork();
      if (pid == 0) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGTERM, SIG_DFL);
        const int status = trackInFolder(options, r, threads);
        std::fflush(nullptr);
        _exit(status);
      }
      if (pid < 0) {
        std::printf("%s: failed: cannot start a process: %s\n", r.input.c_str(), std::strerror(errno));
        ++failed;
        continue;
      }
      running[pid] = &r;
    }
    if (running.empty()) break;
    if (stopBatch && !passedOn) {
      for (const auto& child : running) kill(child.first, SIGTERM);
      passedOn = true;
    }
    int raw = 0;
    const pid_t pid = waitpid(-1, &raw, 0);
    if (pid < 0) {
      if (errno == EINTR) continue;
      break;
    }
    const auto child = running.find(pid);
    if (child == running.end()) continue;
    const Recording& r = *child->second;
    running.erase(child);
    const int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    if (status == 0) {
      ++done;
    } else if (status == skippedStatus) {
      ++skipped;
    } else {
      ++failed;
      // The child says why itself, unless it died.
      if (WIFSIGNALED(raw)) {
        std::printf("%s: failed: the process was killed (%s); %s.partial holds the rows so far\n", r.input.c_str(),
                    strsignal(WTERMSIG(raw)), r.table.c_str());
      } else if (status != 1) {
        std::printf("%s: failed: exit status %d\n", r.input.c_str(), status);
      }
    }
  }
  for (; next < mine.size(); ++next) {
    std::printf("%s: failed: not started, the run was stopped\n", mine[next].input.c_str());
    ++failed;
  }
  sigaction(SIGINT, &oldInterrupt, nullptr);
  sigaction(SIGTERM, &oldTerminate, nullptr);
  std::fflush(stdout);
  std::fprintf(stderr, "tressel: %zu recordings: %d done, %d skipped, %d failed\n", mine.size(), done, skipped,
               failed);
  return failed > 0 ? 1 : 0;
}

}  // namespace tressel_tool
