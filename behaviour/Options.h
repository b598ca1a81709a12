// The behaviour settings: one struct with the defaults, and one table of
// their command-line spellings with help texts, which the tool forwards
// unchanged.
//
//   BehaviourOptions options;                       // the defaults
//   if (const BehaviourOption* o = findBehaviourOption(name)) {
//     std::string problem = o->apply(value, options);   // "" or "option --scale: '0cm:5px' ..."
//   }
//   std::string problem = checkBehaviourOptions(options);  // what only the whole set can show
//   std::cout << behaviourOptionsHelp();
//
// Every option takes a value (--name VALUE or --name=VALUE).
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "behaviour/Arenas.h"

namespace tressel::behaviour {

// A speed as given: in pixels, centimetres (needs a calibration) or the
// animal's body lengths (tail cut away; the recording's median) per second.
struct Speed {
  enum class Unit { pxPerS, cmPerS, bodyLengthsPerS };
  double value = 0;
  Unit unit = Unit::pxPerS;
  std::string text() const;  // "0.25bl/s"
};

struct BehaviourOptions {
  int interpolate = 0;                       // fill gaps of up to this many frames (0: none)
  Speed maxSpeed{0, Speed::Unit::pxPerS};    // a faster step is a jump (0: no limit)
  std::string zonesFile;                     // named zones instead of the open-field centre / periphery
  std::string arenasFile;                    // several arenas in one recording
  double scaleCm = 0;                        // --scale: scaleCm centimetres are scalePixels pixels
  double scalePixels = 0;
  double arenaWidthCm = 0;                   // --arena-size: the arena's bounds in centimetres
  double arenaHeightCm = 0;
  double binSeconds = 0;                     // summaries per time bin as well (0: overall only)
  int smoothFrames = 5;                      // median window of the positions the measures use (1: none)
  Speed moveStart{0.25, Speed::Unit::bodyLengthsPerS};  // moving from this speed ...
  Speed moveStop{0.15, Speed::Unit::bodyLengthsPerS};   // ... until below this one
  double moveWindowSeconds = 0.5;            // the speed for moving: displacement over this time
  double freezeBelow = 0.02;                 // freezing: mobility below this ...
  double freezeMinSeconds = 1.0;             // ... for at least this long
  int maxLagFrames = 900;                    // orientation decided at the latest this many frames behind
  double sharpTurnDegrees = 150;             // flag a tail base -> nose turn larger than this in one frame

  bool calibrated() const { return scaleCm > 0 || arenaWidthCm > 0; }
};

struct BehaviourOption {
  const char* name;       // "--interpolate"
  const char* valueName;  // "N"
  const char* help;       // one or more lines, without the option's name
  // Parses `value` into the options: "" when done, else the one-line problem.
  std::string (*apply)(const std::string& value, BehaviourOptions& options);
  std::string (*show)(const BehaviourOptions& options);  // the value as it would be given
};

const std::vector<BehaviourOption>& behaviourOptions();
const BehaviourOption* findBehaviourOption(const std::string& name);  // nullptr: not a behaviour option

// Conflicts between options ("--scale and --arena-size both given", a speed
// in cm/s without a calibration, a stop speed above the start speed); "" if none.
std::string checkBehaviourOptions(const BehaviourOptions& options);

// The "Behaviour measures:" section of the tool's help, defaults in brackets.
std::string behaviourOptionsHelp();

// Every option's value, as a JSON object keyed by the option's name without
// the dashes; recorded with every summary.
std::string behaviourOptionsJson(const BehaviourOptions& options);

// The length unit of one arena's measures and how pixels convert to it.
struct Calibration {
  bool calibrated = false;
  double perPxX = 1;  // units per pixel along x and y (the arena's size may give two)
  double perPxY = 1;
  std::string unit = "px";  // "px" or "cm": the suffix of the column and summary names
  std::string source = "none: pixels";  // how it was obtained, for the summary
};

Calibration calibrationFor(const BehaviourOptions& options, const Arena& arena);

// A speed in the calibration's units per second; NaN for body lengths while
// the body length is not known yet.
double speedInUnits(const Speed& speed, const Calibration& calibration, double bodyLengthPx);

// A whole decimal number from min to max, the whole text (no sign '+', no
// spaces); `value` is left alone otherwise.
bool readInt(std::string_view text, int min, int max, int& value);

}  // namespace tressel::behaviour
