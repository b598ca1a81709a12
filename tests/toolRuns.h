// Running the command-line tool from a test, as a shell would, and reading
// back what it wrote.
#pragma once

#include <sys/wait.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace testing_tools {

// A word for /bin/sh, quoted whatever it holds.
inline std::string quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

inline std::string slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline bool exists(const std::string& path) { return std::ifstream(path).good(); }

struct ToolRun {
  int status = -1;  // the exit status; -1 when it did not exit (a signal)
  std::string out, err;
};

// `program args...` with no input; its output and errors pass through files
// in `folder`.
inline ToolRun runTool(const std::string& program, const std::vector<std::string>& args, const std::string& folder) {
  std::string command = quote(program);
  for (const std::string& a : args) command += " " + quote(a);
  command += " >" + quote(folder + "/stdout") + " 2>" + quote(folder + "/stderr") + " </dev/null";
  ToolRun r;
  const int raw = std::system(command.c_str());
  r.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
  r.out = slurp(folder + "/stdout");
  r.err = slurp(folder + "/stderr");
  return r;
}

}  // namespace testing_tools
