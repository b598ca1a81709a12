// The options of `tressel track`: those of the output here, the others
// from the tracker's own parser (tracker/TrackArguments.h).
#include "Options.h"
#include "behaviour/Options.h"
#include "tracker/TrackArguments.h"

namespace tressel_tool {

std::optional<std::string> parseTrackOption(const std::string& name, const std::function<bool()>& takeValue,
                                            const std::string& value, Options& o) {
  if (std::optional<std::string> problem = parseBatchOption(name, takeValue, value, o)) return problem;
  if (std::optional<std::string> problem = tressel::tracker::parseTrackOption(name, takeValue, value, o.track)) {
    return problem;
  }
  if (name != "--out" && name != "--format" && name != "--overlay" && name != "--overlay-every" &&
      name != "--save-masks") {
    return std::nullopt;
  }
  if (!takeValue()) return "option " + name + " needs a value";
  if (name == "--out") {
    if (value.empty()) return std::string("option --out needs a file name");
    o.out = value;
  } else if (name == "--format") {
    if (value == "csv") {
      o.format = Format::csv;
    } else if (value == "json") {
      o.format = Format::json;
    } else if (value == "dlc") {
      o.format = Format::dlc;
    } else if (value == "dlc-h5" || value == "sleap-h5" || value == "npz") {
      // HDF5 and NumPy files are written by the Python package, from a table.
      return "option --format: " + value + " is made from a finished table: track with --format csv, then " +
             "'tressel export TABLE --format " + value + " --out FILE'";
    } else {
      return "option --format: '" + value + "' is not csv, json or dlc";
    }
  } else if (name == "--overlay" || name == "--save-masks") {
    if (value.empty()) return "option " + name + " needs a file name";
    (name == "--overlay" ? o.overlay : o.saveMasks) = value;
  } else if (name == "--overlay-every") {
    if (!tressel::tracker::readInt(value, 1, 1000000, o.overlayEvery)) {
      return "option --overlay-every: '" + value + "' is not a whole number from 1 to 1000000";
    }
  }
  return std::string();
}

std::string trackHelp() {
  return "Usage: tressel track [OPTIONS] VIDEO|FOLDER|IMAGES...|-\n"
         "       tressel track [OPTIONS] RECORDING... --out-dir DIR\n"
         "\n"
         "Follows one animal (or one per arena) through a recording and writes one\n"
         "row per frame: its status, the area of its mask, the body centre (tail\n"
         "and limbs cut away), nose, tail base and tail ends, and the behaviour\n"
         "measures. Frame times are the frames' own timestamps.\n"
         "\n"
         "Input (any video FFmpeg reads; a folder or list of PNG/netpbm frames; or\n"
         "raw 8-bit grey frames on standard input, given as -):\n"
         "  --fps F                frames per second of images and raw frames\n"
         "  --size WxH             the size of raw frames\n"
         "  --start S, --end S     track from S to E seconds only\n"
         "  --jobs N               decoding and analysing threads, and readers of the\n"
         "                         background's samples (default 1); the same rows\n"
         "\n"
         "Background (the empty arena):\n"
         "  --background IMAGE     a picture of it; default: the per-pixel median of\n"
         "                         frames spread over the tracked time\n"
         "  --background-samples N the number of frames of that median (default 51)\n"
         "  --save-background PNG  keep the background used\n"
         "\n"
         "Animal:\n"
         "  --animal dark|light|auto  darker or lighter than the floor (default auto)\n"
         "  --threshold N|auto     grey levels from the background that count as the\n"
         "                         animal (default auto: learnt from the samples)\n"
         "  --arena auto|frame     auto (default): the floor found in the background,\n"
         "                         set off from darker or lighter walls, is where the\n"
         "                         animal can be and the arena of the measures;\n"
         "                         frame: the whole frame\n"
         "  --roi x,y,w,h          where the animal can be, in pixels\n"
         "  --arena-mask PNG       the same as a picture: non-zero where it can be\n"
         "  --open K               remove thin attachments (a cable or a tether) up to\n"
         "                         2K pixels wide; this removes the tail too\n"
         "\n"
         "Output:\n"
         "  --out FILE             the table (default: standard output); the settings\n"
         "                         go beside it in FILE.json, the summary in\n"
         "                         FILE.summary.json and FILE.summary.csv, the\n"
         "                         background in FILE.background.png; the table is\n"
         "                         written as FILE.partial and renamed when complete\n"
         "  --format csv|json|dlc  CSV with a \"# \" header (default), JSON lines, or\n"
         "                         DeepLabCut's table (one arena; HDF5, SLEAP and\n"
         "                         NumPy files: tressel export TABLE)\n"
         "  --overlay OUT.mp4      the recording with the analysis drawn on every frame\n"
         "                         (border, body contour, tail base segment, tail base,\n"
         "                         centre, nose, heading, arena and zones, frame and\n"
         "                         time, a red mark on flagged frames), encoded as\n"
         "                         H.264 where FFmpeg has it, else MPEG-4\n"
         "  --overlay-every N      instead: a PNG picture of every Nth frame in the\n"
         "                         folder OUT (frame-000000.png, ...)\n"
         "  --save-masks FILE      each frame's mask, for `tressel retrack` to measure\n"
         "                         again with other settings without the video"
         "\n" +
         batchHelp() + "\n" + tressel::behaviour::behaviourOptionsHelp() +
         "\n"
         "Exit status: 0 every frame tracked, 1 a frame could not be decoded, the\n"
         "input ended early or the run was interrupted (the rows so far are kept),\n"
         "2 bad usage.\n";
}

}  // namespace tressel_tool
