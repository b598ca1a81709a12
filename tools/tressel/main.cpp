// tressel: the command-line tool. See `tressel --help`.
#include <cstdio>
#include <exception>
#include <string>
#include <vector>

#include "Commands.h"
#include "Options.h"

int main(int argc, char** argv) {
  using namespace tressel_tool;
  const std::vector<std::string> arguments(argv + (argc > 0 ? 1 : 0), argv + argc);
  if (!arguments.empty() && (arguments[0] == "report" || arguments[0] == "export")) return runPython(arguments);
  const ParsedCommandLine parsed = parseCommandLine(arguments);
  switch (parsed.action) {
    case ParsedCommandLine::help:
    case ParsedCommandLine::version:
      std::fputs(parsed.text.c_str(), stdout);
      return std::fflush(stdout) == 0 ? 0 : 1;
    case ParsedCommandLine::usageError:
      std::fputs(parsed.text.c_str(), stderr);
      return 2;
    case ParsedCommandLine::run:
      break;
  }

  int status = 1;
  try {
    switch (parsed.options.command) {
      case Command::analyze: status = runAnalyze(parsed.options); break;
      case Command::border: status = runBorder(parsed.options); break;
      case Command::draw: status = runDraw(parsed.options); break;
      case Command::track: status = runTrack(parsed.options); break;
      case Command::retrack: status = runRetrack(parsed.options); break;
    }
  } catch (const std::exception& e) {
    std::fprintf(stderr, "tressel: %s\n", e.what());
    return 1;
  }
  // Output that did not reach its destination (a full disk) is a failure.
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fputs("tressel: cannot write the output\n", stderr);
    return 1;
  }
  return status;
}
