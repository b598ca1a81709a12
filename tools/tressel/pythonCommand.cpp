// tressel report and tressel export: the Python package makes the pictures
// and the HDF5 and NumPy files (matplotlib, pandas, h5py), so these commands
// run `python3 -m tressel` with the same arguments.
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Commands.h"

namespace tressel_tool {
namespace {

bool exists(const std::string& path) {
  struct stat s;
  return !path.empty() && stat(path.c_str(), &s) == 0;
}

}  // namespace

int runPython(const std::vector<std::string>& arguments) {
  // The interpreter and package found when the tool was built; else python3
  // on the PATH with the package where it is installed.
  const std::string python = exists(TRESSEL_PYTHON) ? TRESSEL_PYTHON : "python3";
  if (exists(TRESSEL_PYTHON_PACKAGE)) {
    const char* old = std::getenv("PYTHONPATH");
    const std::string path = std::string(TRESSEL_PYTHON_PACKAGE) + (old && *old ? std::string(":") + old : "");
    setenv("PYTHONPATH", path.c_str(), 1);
  }
  setenv("TRESSEL_COMMAND", "tressel", 1);
  std::vector<std::string> words = {python, "-m", "tressel"};
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<char*> argv;
  for (std::string& w : words) argv.push_back(w.data());
  argv.push_back(nullptr);
  std::fflush(stdout);
  execvp(argv[0], argv.data());
  std::fprintf(stderr, "tressel: %s needs Python 3 with Debian's python3-matplotlib, python3-pandas, python3-h5py "
               "and python3-tables: cannot run %s (%s)\n",
               arguments.front().c_str(), python.c_str(), std::strerror(errno));
  return 1;
}

}  // namespace tressel_tool
