#include "cases.h"

#include <png.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <cstring>
#include <fstream>
#include <memory>
#include <sstream>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>

#include "analysis/CTailAnalyzer.h"
#include "tressel/Tressel.h"

// The older core that bench/run.sh also measures keeps these files elsewhere,
// or has no C interface at all.
#if __has_include("support/inputPoints.h")
#include "support/inputPoints.h"
#else
#include "facade/inputPoints.h"
#endif
#if __has_include("tressel/tressel_c.h")
#include "tressel/tressel_c.h"
#define BENCH_HAS_C_API 1
#elif __has_include("tressel/tressel.h")
#include "tressel/tressel.h"
#define BENCH_HAS_C_API 1
#else
#define BENCH_HAS_C_API 0
#endif

// Set by bench/CMakeLists.txt from the analyzer's header: 1 when the core
// has the fast and the plain path.
#ifndef BENCH_HAS_PATHS
#error "BENCH_HAS_PATHS must be defined"
#endif

namespace bench {

namespace {

[[noreturn]] void fail(const std::string& message) {
  std::fprintf(stderr, "bench: %s\n", message.c_str());
  std::exit(2);
}

Mask readPng(const std::string& path) {
  png_image image;
  std::memset(&image, 0, sizeof image);
  image.version = PNG_IMAGE_VERSION;
  if (png_image_begin_read_from_file(&image, path.c_str()) == 0) fail(path + ": " + image.message);
  image.format = PNG_FORMAT_GRAY;
  Mask mask;
  mask.width = static_cast<int>(image.width);
  mask.height = static_cast<int>(image.height);
  mask.pixels.resize(PNG_IMAGE_SIZE(image));
  if (png_image_finish_read(&image, nullptr, mask.pixels.data(), 0, nullptr) == 0) {
    fail(path + ": " + image.message);
  }
  for (std::uint8_t& p : mask.pixels) p = p != 0 ? 255 : 0;
  return mask;
}

// One plain read of every byte, as fast as portable code gets: eight-byte
// words summed in four lanes, which the compiler turns into vector loads.
// The sum is returned so that the reads cannot be dropped.
__attribute__((noinline)) std::uint64_t readAll(const std::uint8_t* data, std::size_t size) {
  std::uint64_t lane[4] = {0, 0, 0, 0};
  std::size_t i = 0;
  for (; i + 32 <= size; i += 32) {
    for (int k = 0; k < 4; ++k) {
      std::uint64_t word;
      std::memcpy(&word, data + i + 8 * k, 8);
      lane[k] += word;
    }
  }
  std::uint64_t sum = lane[0] + lane[1] + lane[2] + lane[3];
  for (; i < size; ++i) sum += data[i];
  return sum;
}

template <class T>
void keep(const T& value) {
  // An empty asm that claims to read the value: the work that produced it
  // must be done, and nothing is added to the measured code.
  asm volatile("" : : "r,m"(value) : "memory");
}

struct Outcome {
  int hasTail = 0;
  lti::point base, start, end, center, nose;
  friend bool operator==(const Outcome& a, const Outcome& b) {
    return a.hasTail == b.hasTail && a.base == b.base && a.start == b.start && a.end == b.end &&
           a.center == b.center && a.nose == b.nose;
  }
  friend bool operator!=(const Outcome& a, const Outcome& b) { return !(a == b); }
};

Outcome outcomeOf(const tressel::CTailAnalyzer& a) {
  return Outcome{a.hasTail, a.tailBase, a.tailStart, a.tailEnd, a.bodyCenter, a.nose};
}

lti::point pointOf(const POINT& p) { return lti::point(p.x, p.y); }

Outcome outcomeOf(CTressel& t) {
  return Outcome{t.HasTail(),         pointOf(t.GetTailBase()), pointOf(t.GetTailStart()),
                 pointOf(t.GetTailEnd()), pointOf(t.GetCenter()),   pointOf(t.GetNose())};
}

std::string text(const lti::point& p) { return std::to_string(p.x) + "," + std::to_string(p.y); }

std::string text(const Outcome& o) {
  return std::to_string(o.hasTail) + " base " + text(o.base) + " centre " + text(o.center) + " nose " +
         text(o.nose);
}

const tressel::AnalysisParameters defaults{};

// The analyzer's steps, grouped as the results report them. A prefix runs the
// groups up to and including `last` on a fresh record and destroys it.
enum Stage { record, input, trace, areaFill, widthGrid, tailSearch, segmentsAndCuts, limbs, nose, stageCount };
const char* const stageNames[stageCount] = {"0_record",      "1_input",        "2_trace",
                                            "3_area_fill",   "4_width_grid",   "5_tail_search",
                                            "6_segments_cuts", "7_limbs",      "8_nose"};

#if BENCH_HAS_PATHS
using tressel::Path;
const Path pathsOfCore[] = {Path::fast, Path::plain};
const char* pathName(Path p) { return p == Path::fast ? "fast" : "plain"; }
std::unique_ptr<tressel::CTailAnalyzer> preparedRecord(Path p) {
  return std::make_unique<tressel::CTailAnalyzer>(defaults, p);
}
std::unique_ptr<tressel::CTailAnalyzer> wholeAnalysis(const lti::ioPoints& in, Path p) {
  return std::make_unique<tressel::CTailAnalyzer>(in, defaults, tressel::Retain::borderOnly, p);
}
#else
enum class Path { single };
const Path pathsOfCore[] = {Path::single};
const char* pathName(Path) { return "single"; }
std::unique_ptr<tressel::CTailAnalyzer> preparedRecord(Path) {
  return std::make_unique<tressel::CTailAnalyzer>(defaults);
}
std::unique_ptr<tressel::CTailAnalyzer> wholeAnalysis(const lti::ioPoints& in, Path) {
  return std::make_unique<tressel::CTailAnalyzer>(in, defaults, tressel::Retain::borderOnly);
}
#endif

// Runs the steps up to `last` in the order the full analysis runs them.
Outcome runPrefix(const lti::ioPoints& in, int last, Path p) {
  std::unique_ptr<tressel::CTailAnalyzer> a = preparedRecord(p);
  if (last >= input) {
    a->outline->assignFrom(in);
    a->outline->sortPoints();
  }
  if (last >= trace) {
    a->findBoundingBox();
    a->cleanOutline();
  }
  if (last >= areaFill) {
    a->fillArea();
    a->computeCenter();
  }
  if (last >= widthGrid) a->measureWidths();
  if (last >= tailSearch) a->searchTail();
  if (last >= segmentsAndCuts) {
    a->buildTailSegment();
    a->cutTail();
  }
  if (last >= limbs) a->removeLimbs();
  if (last >= nose) {
    a->computeBodyCenters();
    a->placeNose();
  }
  return outcomeOf(*a);
}

std::shared_ptr<lti::ioPoints> inputOf(const Spans& s) {
  auto in = std::make_shared<lti::ioPoints>();
  tressel::appendInputPoints(s.x.data(), s.y.data(), s.count(), *in);
  return in;
}

std::vector<lti::point> borderOf(const tressel::CTailAnalyzer& a) {
  return std::vector<lti::point>(a.border->begin(), a.border->end());
}

// The length of the cleaned contour, which is usually longer than the spans.
int contourLength(const Spans& s) {
#if BENCH_HAS_PATHS
  const tressel::CTailAnalyzer a(*inputOf(s), tressel::borderOnlyParameters, tressel::Retain::borderOnly,
                                 tressel::Path::fast);
#else
  const tressel::CTailAnalyzer a(*inputOf(s), tressel::borderOnlyParameters);
#endif
  return a.border->size();
}

// Exits unless every entry point and path gives the same result on the mask.
Outcome checkedOutcome(const Mask& m, const Spans& s) {
  const auto in = inputOf(s);
  CTressel t;
  std::vector<float> x(s.x), y(s.y);
  t.Tressel(x.data(), y.data(), s.count());
  const Outcome reference = outcomeOf(t);
  std::vector<lti::point> referenceBorder;
  for (Path p : pathsOfCore) {
    const auto whole = wholeAnalysis(*in, p);
    if (outcomeOf(*whole) != reference) {
      fail(m.name + ": the " + std::string(pathName(p)) + " analyzer gives " + text(outcomeOf(*whole)) +
           ", CTressel " + text(reference));
    }
    if (runPrefix(*in, nose, p) != reference) fail(m.name + ": the steps one by one give another result");
    if (referenceBorder.empty()) {
      referenceBorder = borderOf(*whole);
    } else if (borderOf(*whole) != referenceBorder) {
      fail(m.name + ": the paths give different contours");
    }
  }
#if BENCH_HAS_C_API
  tressel_result r;
  const int rc = tressel_analyze_mask(m.pixels.data(), m.width, m.height, m.width, 0, nullptr, &r);
  const Outcome c{rc,
                  lti::point(r.tail_base.x, r.tail_base.y),
                  lti::point(r.tail_start.x, r.tail_start.y),
                  lti::point(r.tail_end.x, r.tail_end.y),
                  lti::point(r.body_center.x, r.body_center.y),
                  lti::point(r.nose.x, r.nose.y)};
  if (c != reference) fail(m.name + ": tressel_analyze_mask gives " + text(c) + ", CTressel " + text(reference));
  if (tressel_mask_spans(m.pixels.data(), m.width, m.height, m.width, 0, nullptr, nullptr, 0) != s.count()) {
    fail(m.name + ": the mask has more than one component");
  }
#endif
  return reference;
}

const Mask* findMask(const std::vector<Mask>& masks, const std::string& name) {
  for (const Mask& m : masks) {
    if (m.name == name) return &m;
  }
  return nullptr;
}

// Every result point moves with the silhouette; says so on stderr if not.
void warnUnlessMoved(const Outcome& here, const Spans& from, const Spans& to, const Mask& m) {
  const int dx = static_cast<int>(to.x[0] - from.x[0]);
  const int dy = static_cast<int>(to.y[0] - from.y[0]);
  auto shift = [&](const lti::point& p) { return lti::point(p.x + dx, p.y + dy); };
  const Outcome expected{here.hasTail, shift(here.base), shift(here.start), shift(here.end), shift(here.center),
                         shift(here.nose)};
  CTressel t;
  std::vector<float> x(to.x), y(to.y);
  t.Tressel(x.data(), y.data(), to.count());
  if (outcomeOf(t) != expected) {
    std::fprintf(stderr, "bench: warning: %s moved by (%d, %d) gives %s, not %s\n", m.name.c_str(), dx, dy,
                 text(outcomeOf(t)).c_str(), text(expected).c_str());
  }
}

bool fullHd(const Mask& m) { return m.width == 1920 && m.height == 1080; }

}  // namespace

std::vector<Mask> loadMasks(const std::string& manifest, const std::string& maskDir, const std::string& only) {
  std::ifstream in(manifest);
  if (!in) fail("cannot read " + manifest);
  std::vector<Mask> masks;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string name;
    if (!(words >> name) || name[0] == '#' || (!only.empty() && name != only)) continue;
    int length = 0;
    for (std::string w; words >> w;) {
      if (w == "--length") words >> length;
    }
    Mask m = readPng(maskDir + "/" + name + ".png");
    m.name = name;
    m.bodyLength = length;
    masks.push_back(std::move(m));
  }
  // Masks of a real recording, made by the tracker (bench/real_masks), when
  // bench/run.sh has written them: real_NNNNNN.png, NNNNNN the frame.
  if (const char* real = std::getenv("TRESSEL_BENCH_REAL_MASKS"); real != nullptr && *real != '\0') {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(real)) {
      const std::string stem = entry.path().stem().string();
      if (entry.path().extension() == ".png" && stem.rfind("real_", 0) == 0 && (only.empty() || stem == only)) {
        files.push_back(entry.path());
      }
    }
    std::sort(files.begin(), files.end());
    for (const auto& file : files) {
      Mask m = readPng(file.string());
      m.name = file.stem().string();
      masks.push_back(std::move(m));
    }
  }
  if (masks.empty()) fail(manifest + " lists no mask" + (only.empty() ? "" : " called " + only));
  return masks;
}

Spans spansOf(const Mask& mask) {
  Spans s;
  for (int y = 0; y < mask.height; ++y) {
    const std::uint8_t* row = mask.pixels.data() + static_cast<std::size_t>(y) * mask.width;
    for (int x = 0; x < mask.width; ++x) {
      if (row[x] == 0) continue;
      int last = x;
      while (last + 1 < mask.width && row[last + 1] != 0) ++last;
      s.x.push_back(static_cast<float>(x));
      s.y.push_back(static_cast<float>(y));
      s.x.push_back(static_cast<float>(last));
      s.y.push_back(static_cast<float>(y));
      x = last;
    }
  }
  return s;
}

Spans movedTo(const Spans& spans, int left, int top) {
  const float minX = *std::min_element(spans.x.begin(), spans.x.end());
  const float minY = *std::min_element(spans.y.begin(), spans.y.end());
  Spans moved = spans;
  for (float& x : moved.x) x += static_cast<float>(left) - minX;
  for (float& y : moved.y) y += static_cast<float>(top) - minY;
  return moved;
}

const char* coreKind() { return BENCH_HAS_PATHS ? "paths" : "single"; }

std::string describe(const std::vector<Mask>& masks) {
  std::ostringstream out;
  out << "mask\tbody_length\tframe\tregion_pixels\tbox\tspans\tcontour\thas_tail\ttail_base\tcentre\tnose\n";
  for (const Mask& m : masks) {
    const Spans s = spansOf(m);
    const Outcome o = checkedOutcome(m, s);
    const long pixels = std::count_if(m.pixels.begin(), m.pixels.end(), [](std::uint8_t p) { return p != 0; });
    const float minX = *std::min_element(s.x.begin(), s.x.end());
    const float maxX = *std::max_element(s.x.begin(), s.x.end());
    const float minY = *std::min_element(s.y.begin(), s.y.end());
    const float maxY = *std::max_element(s.y.begin(), s.y.end());
    out << m.name << '\t' << m.bodyLength << '\t' << m.width << 'x' << m.height << '\t' << pixels << '\t' << minX
        << ',' << minY << '-' << maxX << ',' << maxY << '\t' << s.count() << '\t' << contourLength(s) << '\t'
        << o.hasTail << '\t' << text(o.base) << '\t' << text(o.center) << '\t' << text(o.nose) << '\n';
  }
  return out.str();
}

std::vector<Case> allCases(const std::vector<Mask>& masks) {
  cv::setNumThreads(1);  // the analysis runs on one thread; so do its peers
  std::vector<Case> cases;
  auto add = [&](const std::string& name, std::int64_t bytes, std::function<void()> run) {
    cases.push_back(Case{name, bytes, std::move(run)});
  };

  for (const Mask& m : masks) {
    const auto spans = std::make_shared<Spans>(spansOf(m));
    checkedOutcome(m, *spans);
    const auto mask = std::make_shared<Mask>(m);
    const std::int64_t bytes = static_cast<std::int64_t>(m.pixels.size());
    const std::string& n = m.name;

    // The peers and the floor.
    add("read/" + n, bytes, [mask] { keep(readAll(mask->pixels.data(), mask->pixels.size())); });
    add("findContours/" + n, bytes, [mask] {
      const cv::Mat image(mask->height, mask->width, CV_8UC1, mask->pixels.data());
      std::vector<std::vector<cv::Point>> contours;
      cv::findContours(image, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE);
      keep(contours.size());
    });
    const auto distances = std::make_shared<cv::Mat>(m.height, m.width, CV_32F);
    add("distanceTransform/" + n, bytes, [mask, distances] {
      const cv::Mat image(mask->height, mask->width, CV_8UC1, mask->pixels.data());
      cv::distanceTransform(image, *distances, cv::DIST_L2, cv::DIST_MASK_3, CV_32F);
      keep(distances->data[0]);
    });

#if BENCH_HAS_C_API
    add("tressel_analyze_mask/" + n, bytes, [mask] {
      tressel_result r;
      keep(tressel_analyze_mask(mask->pixels.data(), mask->width, mask->height, mask->width, 0, nullptr, &r));
      keep(r);
    });
    const auto out = std::make_shared<Spans>(*spans);
    add("tressel_mask_spans/" + n, bytes, [mask, out] {
      keep(tressel_mask_spans(mask->pixels.data(), mask->width, mask->height, mask->width, 0, out->x.data(),
                              out->y.data(), out->count()));
    });
#endif

    // Spans in.
    const auto x = std::make_shared<std::vector<float>>(spans->x);
    const auto y = std::make_shared<std::vector<float>>(spans->y);
    add("CTressel/" + n, 0, [x, y] {
      CTressel t;
      keep(t.Tressel(x->data(), y->data(), static_cast<int>(x->size())));
      keep(t.GetNose());
    });
    // SortOutline overwrites its arrays with the contour: each run starts
    // from a fresh copy of the spans (a copy of a few kilobytes, included).
    const std::size_t room = std::max<std::size_t>(spans->x.size(), static_cast<std::size_t>(contourLength(*spans)));
    const auto bx = std::make_shared<std::vector<float>>(room);
    const auto by = std::make_shared<std::vector<float>>(room);
    add("SortOutline/" + n, 0, [spans, bx, by] {
      std::copy(spans->x.begin(), spans->x.end(), bx->begin());
      std::copy(spans->y.begin(), spans->y.end(), by->begin());
      keep(SortOutline(bx->data(), by->data(), spans->count()));
      keep((*bx)[0]);
    });

    // The internal analyzer, whole and in stages.
    const auto in = inputOf(*spans);
    for (Path p : pathsOfCore) {
      add(std::string("analyzer/") + pathName(p) + "/" + n, 0, [in, p] {
        const auto a = wholeAnalysis(*in, p);
        keep(a->nose);
      });
    }
    if (fullHd(m)) {
      for (Path p : pathsOfCore) {
        for (int s = 0; s < stageCount; ++s) {
          add(std::string("stage/") + stageNames[s] + "/" + pathName(p) + "/" + n, 0, [in, s, p] {
            const Outcome o = runPrefix(*in, s, p);
            keep(o.nose);
          });
        }
      }
    }
  }

  // The same silhouette at two places: only its coordinates change.
  if (const Mask* m = findMask(masks, "L200_1920x1080")) {
    const Spans spans = spansOf(*m);
    const Outcome here = checkedOutcome(*m, spans);
    for (const auto& at : {std::pair<int, int>{50, 50}, std::pair<int, int>{1700, 900}}) {
      const Spans moved = movedTo(spans, at.first, at.second);
      warnUnlessMoved(here, spans, moved, *m);
      const auto x = std::make_shared<std::vector<float>>(moved.x);
      const auto y = std::make_shared<std::vector<float>>(moved.y);
      add("CTressel_at/" + std::to_string(at.first) + "_" + std::to_string(at.second) + "/" + m->name, 0, [x, y] {
        CTressel t;
        keep(t.Tressel(x->data(), y->data(), static_cast<int>(x->size())));
        keep(t.GetNose());
      });
      // And the same analysis through the analyzer's two paths.
      const auto in = inputOf(moved);
      for (Path p : pathsOfCore) {
        add(std::string("analyzer_at/") + std::to_string(at.first) + "_" + std::to_string(at.second) + "/" +
                pathName(p) + "/" + m->name,
            0, [in, p] {
              const auto a = wholeAnalysis(*in, p);
              keep(a->nose);
            });
      }
    }
  }
  return cases;
}

}  // namespace bench
