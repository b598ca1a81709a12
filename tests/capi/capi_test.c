/* Tests of the C interface, compiled as C: results against the exported
   class, the mask's spans against a flood-fill labelling, capacities and
   every error path. */
#include <limits.h>
#include <math.h>
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "reference.h"
#include "tressel/tressel_c.h"

static const char* current_test;
static int failed_checks;

#define CHECK(cond)                                                                               \
  do {                                                                                            \
    if (!(cond)) {                                                                                \
      fprintf(stderr, "%s:%d: [%s] CHECK(%s) failed\n", __FILE__, __LINE__, current_test, #cond); \
      ++failed_checks;                                                                            \
    }                                                                                             \
  } while (0)

/* ---- masks ---- */

typedef struct mask {
  int width, height;
  ptrdiff_t stride;
  uint8_t* pixels; /* exactly (height - 1) * stride + width bytes: no slack after the last row */
} mask;

static mask mask_new(int width, int height, ptrdiff_t stride, uint8_t padding) {
  mask m;
  size_t size = (size_t)((height - 1) * stride + width);
  int y;
  m.width = width;
  m.height = height;
  m.stride = stride;
  m.pixels = malloc(size);
  memset(m.pixels, padding, size);
  for (y = 0; y < height; ++y) memset(m.pixels + y * stride, 0, (size_t)width);
  return m;
}

static int mask_at(const mask* m, int x, int y) { return m->pixels[y * m->stride + x] != 0; }

static void mask_set(mask* m, int x, int y, uint8_t value) {
  if (x >= 0 && y >= 0 && x < m->width && y < m->height) m->pixels[y * m->stride + x] = value;
}

static void fill_ellipse(mask* m, double cx, double cy, double rx, double ry) {
  int x, y;
  for (y = 0; y < m->height; ++y)
    for (x = 0; x < m->width; ++x)
      if ((x - cx) * (x - cx) / (rx * rx) + (y - cy) * (y - cy) / (ry * ry) <= 1.0) mask_set(m, x, y, 1);
}

/* A straight band from (x0, y0) to (x1, y1) whose half-width tapers from h0 to h1. */
static void draw_band(mask* m, double x0, double y0, double x1, double y1, double h0, double h1) {
  int i, x, y;
  for (i = 0; i <= 400; ++i) {
    double t = i / 400.0, cx = x0 + (x1 - x0) * t, cy = y0 + (y1 - y0) * t, h = h0 + (h1 - h0) * t;
    for (y = (int)floor(cy - h); y <= (int)ceil(cy + h); ++y)
      for (x = (int)floor(cx - h); x <= (int)ceil(cx + h); ++x)
        if ((x - cx) * (x - cx) + (y - cy) * (y - cy) <= h * h) mask_set(m, x, y, 200);
  }
}

/* ---- reference spans ---- */

typedef struct spans {
  float *x, *y;
  int count;
} spans;

/* Spans of the pixels whose label equals `keep` (label -1: every region pixel). */
static spans spans_of(const mask* m, const int* labels, int keep) {
  spans s;
  int x, y;
  s.x = malloc(sizeof(float) * (size_t)(m->width + 1) * (size_t)m->height);
  s.y = malloc(sizeof(float) * (size_t)(m->width + 1) * (size_t)m->height);
  s.count = 0;
  for (y = 0; y < m->height; ++y) {
    for (x = 0; x < m->width; ++x) {
      int in = mask_at(m, x, y) && (keep < 0 || labels[y * m->width + x] == keep);
      int before = x > 0 && mask_at(m, x - 1, y) && (keep < 0 || labels[y * m->width + x - 1] == keep);
      int after = x + 1 < m->width && mask_at(m, x + 1, y) && (keep < 0 || labels[y * m->width + x + 1] == keep);
      if (in && !before) s.x[s.count] = (float)x, s.y[s.count++] = (float)y;
      if (in && !after) s.x[s.count] = (float)x, s.y[s.count++] = (float)y;
    }
  }
  return s;
}

/* Spans of the largest 8-connected component, found by flood fill; labels
   are given in scan order, so the first of equal components has the lower. */
static spans largest_component(const mask* m) {
  int n = m->width * m->height, next = 0, best = -1, i;
  int* labels = malloc(sizeof(int) * (size_t)n);
  int* stack = malloc(sizeof(int) * (size_t)n);
  int* sizes = calloc((size_t)n, sizeof(int));
  spans s;
  for (i = 0; i < n; ++i) labels[i] = -1;
  for (i = 0; i < n; ++i) {
    int top = 0;
    if (!mask_at(m, i % m->width, i / m->width) || labels[i] >= 0) continue;
    labels[i] = next;
    stack[top++] = i;
    while (top > 0) {
      int p = stack[--top], dx, dy;
      ++sizes[next];
      for (dy = -1; dy <= 1; ++dy)
        for (dx = -1; dx <= 1; ++dx) {
          int x = p % m->width + dx, y = p / m->width + dy;
          if (x < 0 || y < 0 || x >= m->width || y >= m->height || !mask_at(m, x, y)) continue;
          if (labels[y * m->width + x] < 0) labels[y * m->width + x] = next, stack[top++] = y * m->width + x;
        }
    }
    if (best < 0 || sizes[next] > sizes[best]) best = next;
    ++next;
  }
  s = spans_of(m, labels, best < 0 ? INT_MAX : best);
  free(labels), free(stack), free(sizes);
  return s;
}

static spans all_components(const mask* m) { return spans_of(m, NULL, -1); }

static void spans_free(spans s) { free(s.x), free(s.y); }

/* tressel_mask_spans equals the reference spans, with sizing by a query;
   with room for all but one point, the others are written and the last place
   is left alone (an odd capacity ends within a run). */
static int mask_spans_equal(const mask* m, int flags, spans expected) {
  int n = tressel_mask_spans(m->pixels, m->width, m->height, m->stride, flags, NULL, NULL, 0), same;
  float* x = malloc(sizeof(float) * (size_t)(n + 1));
  float* y = malloc(sizeof(float) * (size_t)(n + 1));
  same = n == expected.count;
  if (same && n > 0) {
    x[n - 1] = y[n - 1] = -7.0f;
    same = tressel_mask_spans(m->pixels, m->width, m->height, m->stride, flags, x, y, n - 1) == n &&
           memcmp(x, expected.x, sizeof(float) * (size_t)(n - 1)) == 0 &&
           memcmp(y, expected.y, sizeof(float) * (size_t)(n - 1)) == 0 && x[n - 1] == -7.0f && y[n - 1] == -7.0f;
  }
  same = same && tressel_mask_spans(m->pixels, m->width, m->height, m->stride, flags, x, y, n) == n &&
         memcmp(x, expected.x, sizeof(float) * (size_t)n) == 0 && memcmp(y, expected.y, sizeof(float) * (size_t)n) == 0;
  free(x), free(y);
  return same;
}

static int results_equal(tressel_result a, tressel_result b) {
  return a.has_tail == b.has_tail && memcmp(&a.tail_base, &b.tail_base, 5 * sizeof(tressel_point)) == 0;
}

/* ---- silhouettes ---- */

enum { body_with_tail, body_without_tail, thin_line, body_with_limbs, silhouette_count };

static mask silhouette(int kind, ptrdiff_t extra_stride) {
  mask m = mask_new(230, 100, 230 + extra_stride, 0xff);
  if (kind == thin_line) {
    draw_band(&m, 10, 10, 200, 80, 1.0, 1.0);
    return m;
  }
  fill_ellipse(&m, 70, 50, 55, 28);
  if (kind != body_without_tail) draw_band(&m, 120, 50, 215, 58, 3.0, 1.0);
  if (kind == body_with_limbs) {
    draw_band(&m, 50, 30, 45, 8, 1.5, 1.5);
    draw_band(&m, 90, 70, 95, 93, 1.5, 1.5);
  }
  return m;
}

/* ---- tests ---- */

static void test_defaults_match_class(void) {
  tressel_params ours = tressel_default_params(), theirs = reference_defaults();
  CHECK(memcmp(&ours, &theirs, sizeof ours) == 0);
}

static void test_analysis_matches_class(void) {
  tressel_params params[4];
  int kind, p, i;
  params[0] = tressel_default_params();
  params[1] = params[0], params[1].tail_width_percent = 0; /* stops after the contour: all points (0, 0) */
  params[2] = params[0], params[2].tail_width_percent = 20, params[2].tail_length_percent = 8;
  params[3] = params[0], params[3].limb_width_percent = 20, params[3].loop_length_max_percent = 30;
  for (kind = 0; kind < silhouette_count; ++kind) {
    mask m = silhouette(kind, 0);
    spans s = all_components(&m);
    tressel_result ours, theirs;
    for (p = 0; p < 4; ++p) {
      const int found = reference_analyze(s.x, s.y, s.count, &params[p], &theirs);
      CHECK(tressel_analyze(s.x, s.y, s.count, &params[p], &ours) == found && results_equal(ours, theirs));
    }
    reference_analyze(s.x, s.y, s.count, &params[0], &theirs);
    CHECK(tressel_analyze(s.x, s.y, s.count, NULL, &ours) == theirs.has_tail && results_equal(ours, theirs));
    if (kind == body_with_tail) CHECK(ours.has_tail == 1);
    if (kind == body_without_tail) CHECK(ours.has_tail == 0);
    /* Any order, and away from the origin (with a fraction to drop). */
    for (i = 0; i < s.count; ++i) s.x[i] += 100.75f, s.y[i] += 60.5f;
    for (i = 0; i < s.count / 2; ++i) {
      float tx = s.x[i], ty = s.y[i];
      s.x[i] = s.x[s.count - 1 - i], s.y[i] = s.y[s.count - 1 - i];
      s.x[s.count - 1 - i] = tx, s.y[s.count - 1 - i] = ty;
    }
    reference_analyze(s.x, s.y, s.count, &params[0], &theirs);
    CHECK(tressel_analyze(s.x, s.y, s.count, NULL, &ours) == theirs.has_tail && results_equal(ours, theirs));
    spans_free(s), free(m.pixels);
  }
}

/* The nine parameters by their place in tressel_params. */
enum { tail_width_percent, tail_length_percent, tail_width_min_threshold, tail_length_max_threshold,
       limb_width_percent, limb_length_percent, limb_width_min_threshold, limb_length_max_threshold,
       loop_length_max_percent, parameter_count };
static const size_t parameter_offsets[parameter_count] = {
    offsetof(tressel_params, tail_width_percent),       offsetof(tressel_params, tail_length_percent),
    offsetof(tressel_params, tail_width_min_threshold),  offsetof(tressel_params, tail_length_max_threshold),
    offsetof(tressel_params, limb_width_percent),       offsetof(tressel_params, limb_length_percent),
    offsetof(tressel_params, limb_width_min_threshold),  offsetof(tressel_params, limb_length_max_threshold),
    offsetof(tressel_params, loop_length_max_percent)};

static int get_parameter(const tressel_params* p, int which) {
  return *(const int*)((const char*)p + parameter_offsets[which]);
}

static void set_parameter(tressel_params* p, int which, int value) {
  *(int*)((char*)p + parameter_offsets[which]) = value;
}

static tressel_result class_result(spans s, tressel_params p) {
  tressel_result r;
  reference_analyze(s.x, s.y, s.count, &p, &r);
  return r;
}

/* Each parameter reaches the analysis in its own place. Every row sets a few
   parameters to values that matter on its silhouette (each of them, put back
   to its default alone, changes the result), and the C interface must give
   what the class gives through the setters of the same names. Between them
   the rows tell any two parameters apart: had two traded places, some row's
   result would change. */
static void test_each_parameter_reaches_its_place(void) {
  static const struct {
    int kind; /* silhouette_count: the body with a tail and a loop on its back */
    int set[3][2]; /* parameter and value; the list ends at a value of -1 */
  } rows[] = {
      {body_with_tail, {{tail_width_percent, 1}, {tail_width_min_threshold, 0}, {0, -1}}},
      {body_with_tail, {{tail_length_percent, 60}, {tail_length_max_threshold, 200}, {0, -1}}},
      {body_without_tail, {{tail_width_min_threshold, 60}, {limb_width_percent, 60}, {0, -1}}},
      {body_with_tail, {{limb_width_min_threshold, 60}, {0, -1}}},
      {body_with_tail, {{limb_width_percent, 40}, {limb_length_percent, 10}, {limb_length_max_threshold, 30}}},
      {silhouette_count, {{loop_length_max_percent, 30}, {0, -1}}},
  };
  enum { row_count = sizeof rows / sizeof rows[0] };
  const tressel_params defaults = tressel_default_params();
  tressel_params params[row_count];
  spans s[row_count];
  int told_apart[parameter_count][parameter_count] = {{0}};
  int r, k, a, b;
  for (r = 0; r < row_count; ++r) {
    mask m = silhouette(rows[r].kind == silhouette_count ? body_with_tail : rows[r].kind, 0);
    tressel_result ours, theirs;
    if (rows[r].kind == silhouette_count) { /* an 8 x 8 square on a one-pixel neck */
      int x, y;
      for (y = 13; y < 22; ++y)
        for (x = y < 21 ? 66 : 70; x < (y < 21 ? 74 : 71); ++x) mask_set(&m, x, y, 1);
    }
    s[r] = all_components(&m);
    params[r] = defaults;
    for (k = 0; k < 3 && rows[r].set[k][1] >= 0; ++k) set_parameter(&params[r], rows[r].set[k][0], rows[r].set[k][1]);
    theirs = class_result(s[r], params[r]);
    CHECK(tressel_analyze(s[r].x, s[r].y, s[r].count, &params[r], &ours) == theirs.has_tail);
    CHECK(results_equal(ours, theirs));
    for (k = 0; k < 3 && rows[r].set[k][1] >= 0; ++k) {
      tressel_params reset = params[r];
      const int which = rows[r].set[k][0];
      set_parameter(&reset, which, get_parameter(&defaults, which));
      CHECK(!results_equal(class_result(s[r], reset), theirs));
    }
    for (a = 0; a < parameter_count; ++a)
      for (b = a + 1; b < parameter_count; ++b) {
        tressel_params traded = params[r];
        set_parameter(&traded, a, get_parameter(&params[r], b));
        set_parameter(&traded, b, get_parameter(&params[r], a));
        told_apart[a][b] |= !results_equal(class_result(s[r], traded), theirs);
      }
    free(m.pixels);
  }
  for (a = 0; a < parameter_count; ++a)
    for (b = a + 1; b < parameter_count; ++b) CHECK(told_apart[a][b]);
  for (r = 0; r < row_count; ++r) spans_free(s[r]);
}

/* The mask entry point analyses the largest component: a speck of noise above
   the animal, where the trace would otherwise start, is ignored. */
static void test_mask_analysis_ignores_specks(void) {
  int kind;
  for (kind = 0; kind < silhouette_count; ++kind) {
    mask m = silhouette(kind, 13);
    spans animal = all_components(&m), everything;
    tressel_result ours, theirs, alone;
    const tressel_params d = tressel_default_params();
    mask_set(&m, 60, 2, 1), mask_set(&m, 61, 2, 1), mask_set(&m, 60, 3, 1);
    everything = all_components(&m);
    reference_analyze(animal.x, animal.y, animal.count, &d, &theirs);
    CHECK(tressel_analyze_mask(m.pixels, m.width, m.height, m.stride, 0, NULL, &ours) == theirs.has_tail);
    CHECK(results_equal(ours, theirs));
    alone = ours;
    reference_analyze(everything.x, everything.y, everything.count, &d, &theirs);
    CHECK(tressel_analyze_mask(m.pixels, m.width, m.height, m.stride, TRESSEL_MASK_ALL_COMPONENTS, &d, &ours) ==
          theirs.has_tail);
    CHECK(results_equal(ours, theirs) && !results_equal(ours, alone));
    spans_free(animal), spans_free(everything), free(m.pixels);
  }
}

/* Masks drawn as text: '#' is the component that must be kept, 'o' region
   that only TRESSEL_MASK_ALL_COMPONENTS keeps, '.' background. */
static void test_mask_components(void) {
  static const char* cases[][5] = {
      {"#.", ".#"},                                   /* diagonal neighbours are connected */
      {"#.o", "#.o"},                                 /* equal sizes: the first in scan order */
      {"o.....", "..###.", ".#..#."},                 /* a larger component that starts later */
      {"#.#..o", "#.#...", "###..o"},                 /* arms that meet only at the bottom */
      {"o..#.#.#", "...#.#.#", "...#####"},           /* three arms merged into one root */
      {"##########..o", "..........#..", "oooo.....#..."}, /* diagonal steps down and back */
      {"..#..", "....."},                             /* one pixel: its point twice */
  };
  size_t c;
  for (c = 0; c < sizeof cases / sizeof cases[0]; ++c) {
    int width = (int)strlen(cases[c][0]), height = 0, x, y;
    mask region, kept;
    spans expected_kept, expected_all;
    while (height < 5 && cases[c][height]) ++height;
    region = mask_new(width, height, width + 3, 0xff);
    kept = mask_new(width, height, width, 0);
    for (y = 0; y < height; ++y)
      for (x = 0; x < width; ++x) {
        if (cases[c][y][x] != '.') mask_set(&region, x, y, 7);
        if (cases[c][y][x] == '#') mask_set(&kept, x, y, 1);
      }
    expected_kept = all_components(&kept);
    expected_all = all_components(&region);
    CHECK(mask_spans_equal(&region, 0, expected_kept));
    CHECK(mask_spans_equal(&region, TRESSEL_MASK_ALL_COMPONENTS, expected_all));
    spans_free(expected_kept), spans_free(expected_all), free(region.pixels), free(kept.pixels);
  }
}

/* Runs that begin or end on the edges of the words and blocks a row is
   scanned in, with long empty stretches after them, in rows of many widths. */
static void test_mask_spans_word_edges(void) {
  static const int edges[] = {0, 1, 31, 32, 63, 64, 65, 127, 128, 129, 191, 255, 256, 383};
  static const int widths[] = {130, 200, 257, 400, 515};
  size_t w, e;
  for (w = 0; w < sizeof widths / sizeof widths[0]; ++w) {
    const int width = widths[w];
    mask m = mask_new(width, 2 * (int)(sizeof edges / sizeof edges[0]), width, 0);
    spans all;
    int x;
    for (e = 0; e < sizeof edges / sizeof edges[0]; ++e) {
      const int edge = edges[e], a = 2 * (int)e, b = a + 1;
      for (x = 0; x < width; ++x) {
        if (x <= edge && x + 4 > edge) mask_set(&m, x, a, 7);          /* a run ending on the edge */
        if (x >= edge && x < edge + 3) mask_set(&m, x, b, 200);        /* one starting on it */
        if (x >= width - 2) mask_set(&m, x, a, 1);                     /* and one at the row's end */
      }
    }
    all = all_components(&m);
    CHECK(mask_spans_equal(&m, TRESSEL_MASK_ALL_COMPONENTS, all));
    spans_free(all), free(m.pixels);
  }
}

/* Random masks of awkward widths, strides whose padding is region, and
   densities from empty to full, against the flood-fill labelling. */
static void test_mask_spans_random(void) {
  static const int shapes[][4] = {/* width, height, extra stride, density in percent */
                                  {1, 40, 0, 50},  {7, 9, 1, 40},   {8, 8, 0, 100}, {9, 30, 5, 45},
                                  {33, 17, 0, 0},  {64, 64, 0, 5},  {100, 60, 7, 55}, {257, 31, 3, 60},
                                  {40, 40, 0, 35}, {1000, 3, 24, 2}, {300, 24, 5, 97}, {129, 12, 0, 99}};
  unsigned state = 12345u;
  size_t i;
  for (i = 0; i < sizeof shapes / sizeof shapes[0]; ++i) {
    mask m = mask_new(shapes[i][0], shapes[i][1], shapes[i][0] + shapes[i][2], 0xff);
    spans largest, all;
    int x, y;
    for (y = 0; y < m.height; ++y)
      for (x = 0; x < m.width; ++x) {
        state = state * 1103515245u + 12345u;
        if ((int)((state >> 16) % 100) < shapes[i][3]) mask_set(&m, x, y, (uint8_t)(1 + (state >> 8) % 255));
      }
    largest = largest_component(&m);
    all = all_components(&m);
    CHECK(mask_spans_equal(&m, 0, largest));
    CHECK(mask_spans_equal(&m, TRESSEL_MASK_ALL_COMPONENTS, all));
    spans_free(largest), spans_free(all), free(m.pixels);
  }
}

/* Outputs hold at most `capacity` points; the return value is the full size. */
static void test_capacity(void) {
  mask m = silhouette(body_with_tail, 0);
  spans s = all_components(&m);
  int capacity = 4 * s.count + 2000, full, k, i;
  float* rx = malloc(sizeof(float) * (size_t)capacity);
  float* ry = malloc(sizeof(float) * (size_t)capacity);
  float* x = malloc(sizeof(float) * (size_t)capacity);
  float* y = malloc(sizeof(float) * (size_t)capacity);
  const int border = reference_border(s.x, s.y, s.count, rx, ry, capacity);
  CHECK(border > s.count && border < capacity);
  CHECK(tressel_border(s.x, s.y, s.count, NULL, NULL, 0) == border);
  CHECK(tressel_mask_spans(m.pixels, m.width, m.height, m.stride, 0, NULL, NULL, 0) == s.count);
  for (full = 0; full < 2; ++full) {
    const int size = full ? border : s.count;
    const float* ex = full ? rx : s.x;
    const float* ey = full ? ry : s.y;
    const int capacities[] = {1, size / 2, size - 1, size, size + 5};
    for (k = 0; k < 5; ++k) {
      int written = capacities[k] < size ? capacities[k] : size, rc;
      for (i = 0; i < size + 5; ++i) x[i] = y[i] = -7.0f;
      rc = full ? tressel_border(s.x, s.y, s.count, x, y, capacities[k])
                : tressel_mask_spans(m.pixels, m.width, m.height, m.stride, 0, x, y, capacities[k]);
      CHECK(rc == size);
      CHECK(memcmp(x, ex, sizeof(float) * (size_t)written) == 0 && memcmp(y, ey, sizeof(float) * (size_t)written) == 0);
      for (i = written; i < size + 5; ++i) CHECK(x[i] == -7.0f && y[i] == -7.0f);
    }
  }
  free(rx), free(ry), free(x), free(y), spans_free(s), free(m.pixels);
}

/* Every failure returns its code and leaves every output as it was. */
static void test_errors_write_nothing(void) {
  static const uint8_t pixels[16] = {0, 1, 1, 0};
  const float px[4] = {1, 5, 1, 5}, py[4] = {1, 1, 2, 2};
  const float far_x[4] = {20000, 20010, 20000, 20010}, far_y[4] = {20000, 20000, 20001, 20001};
  const float wide_x[4] = {0, 30000, 0, 30000}, wide_y[4] = {0, 0, 10000, 10000};
  const tressel_result untouched = {5, {5, 5}, {5, 5}, {5, 5}, {5, 5}, {5, 5}};
  tressel_result r = untouched, reference;
  float ox[4] = {-7, -7, -7, -7}, oy[4] = {-7, -7, -7, -7};
#define EXPECT_FAILURE(code, call)                                                        \
  do {                                                                                    \
    CHECK((call) == (code));                                                              \
    CHECK(results_equal(r, untouched) && ox[0] == -7 && ox[3] == -7 && oy[0] == -7 && oy[3] == -7); \
  } while (0)
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_analyze(px, py, 4, NULL, NULL));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_analyze(NULL, py, 4, NULL, &r));
  EXPECT_FAILURE(TRESSEL_ERROR_MEMORY, tressel_analyze(far_x, far_y, 4, NULL, &r));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_border(NULL, py, 4, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_border(px, py, 4, ox, oy, -1));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_border(px, py, 4, NULL, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_border(px, py, 4, ox, NULL, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_MEMORY, tressel_border(wide_x, wide_y, 4, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(NULL, 4, 4, 4, 0, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 0, 4, 4, 0, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 0, 4, 0, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 4, 3, 0, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 4, -4, 0, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 2, PTRDIFF_MAX, 0, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, (1 << 24) + 1, 1, (1 << 24) + 1, 0, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 4, 4, 2, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 4, 4, -1, ox, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 4, 4, 0, ox, oy, -1));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_mask_spans(pixels, 4, 4, 4, 0, NULL, oy, 4));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_analyze_mask(pixels, 4, 4, 4, 0, NULL, NULL));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_analyze_mask(NULL, 4, 4, 4, 0, NULL, &r));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_analyze_mask(pixels, 0, 4, 4, 0, NULL, &r));
  EXPECT_FAILURE(TRESSEL_ERROR_ARGUMENT, tressel_analyze_mask(pixels, 4, 4, 4, 4, NULL, &r));
#undef EXPECT_FAILURE

  /* Not failures: an empty outline is an ordinary input, arrays or not. */
  const tressel_params defaults = reference_defaults();
  reference_analyze(NULL, NULL, 0, &defaults, &reference);
  CHECK(tressel_analyze(NULL, NULL, 0, NULL, &r) == 0 && results_equal(r, reference));
  CHECK(tressel_analyze(NULL, NULL, -3, NULL, &r) == 0 && results_equal(r, reference));
  CHECK(tressel_border(NULL, NULL, 0, NULL, NULL, 0) == 0);
  CHECK(tressel_mask_spans(pixels, 4, 4, 4, 0, NULL, NULL, 0) == 2);
  CHECK(tressel_mask_spans(pixels + 4, 4, 3, 4, 0, NULL, NULL, 0) == 0);
}

static void test_messages_and_version(void) {
  const int codes[] = {TRESSEL_OK, TRESSEL_ERROR_ARGUMENT, TRESSEL_ERROR_MEMORY, TRESSEL_ERROR_INTERNAL};
  const int unknown[] = {1, -4, INT_MIN, INT_MAX};
  int i, j;
  for (i = 0; i < 4; ++i) {
    CHECK(tressel_error_message(codes[i]) != NULL && tressel_error_message(codes[i])[0] != '\0');
    for (j = 0; j < i; ++j) CHECK(strcmp(tressel_error_message(codes[i]), tressel_error_message(codes[j])) != 0);
    CHECK(strcmp(tressel_error_message(unknown[i]), "unknown error code") == 0);
  }
  CHECK(strcmp(tressel_version(), TRESSEL_EXPECTED_VERSION) == 0);
}

int main(void) {
  static const struct {
    const char* name;
    void (*run)(void);
  } tests[] = {
      {"defaults_match_class", test_defaults_match_class},
      {"analysis_matches_class", test_analysis_matches_class},
      {"each_parameter_reaches_its_place", test_each_parameter_reaches_its_place},
      {"mask_analysis_ignores_specks", test_mask_analysis_ignores_specks},
      {"mask_components", test_mask_components},
      {"mask_spans_random", test_mask_spans_random},
      {"mask_spans_word_edges", test_mask_spans_word_edges},
      {"capacity", test_capacity},
      {"errors_write_nothing", test_errors_write_nothing},
      {"messages_and_version", test_messages_and_version},
  };
  int passed = 0, failed = 0;
  size_t i;
  for (i = 0; i < sizeof tests / sizeof tests[0]; ++i) {
    int before = failed_checks;
    current_test = tests[i].name;
    tests[i].run();
    if (failed_checks == before) {
      ++passed;
    } else {
      ++failed;
      printf("FAILED %s\n", tests[i].name);
    }
  }
  printf("%d passed, %d failed\n", passed, failed);
  return failed == 0 ? 0 : 1;
}
