/* Tests of the tracker's C interface, compiled as C: a whole file and pushed
   frames give the rows of `tressel track` on the same clip, cell for cell as
   its CSV shows them; the summary and a table measured again agree with the
   run's; every bad input gives its code and a message.
   Usage: tracker_capi_tests FOLDER (made by make_clip.sh). */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "tressel/tressel_track.h"

static const char* current_test;
static int failed_checks;

#define CHECK(cond)                                                                               \
  do {                                                                                            \
    if (!(cond)) {                                                                                \
      fprintf(stderr, "%s:%d: [%s] CHECK(%s) failed\n", __FILE__, __LINE__, current_test, #cond); \
      ++failed_checks;                                                                            \
    }                                                                                             \
  } while (0)

enum { WIDTH = 320, HEIGHT = 240, FRAMES = 40 };

static char folder[4096];

static char* path_of(const char* name) {
  static char path[4200];
  snprintf(path, sizeof path, "%s/%s", folder, name);
  return path;
}

static char* read_file(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  char* text;
  long n;
  if (f == NULL) return NULL;
  fseek(f, 0, SEEK_END);
  n = ftell(f);
  fseek(f, 0, SEEK_SET);
  text = malloc((size_t)n + 1);
  *size = fread(text, 1, (size_t)n, f);
  text[*size] = '\0';
  fclose(f);
  return text;
}

/* ---- rows as the tool's CSV writes them ---- */

typedef struct table {
  tressel_column columns[128];
  int column_count;
  char* lines; /* "\n"-separated CSV data lines */
  size_t size, capacity;
  int rows;
} table;

static void append(table* t, const char* text) {
  size_t n = strlen(text);
  if (t->size + n + 1 > t->capacity) {
    t->capacity = 2 * (t->size + n + 1);
    t->lines = realloc(t->lines, t->capacity);
  }
  memcpy(t->lines + t->size, text, n + 1);
  t->size += n;
}

static void append_cell(table* t, const tressel_cell* c, int decimals) {
  char text[64];
  const char* p;
  switch (c->kind) {
    case TRESSEL_CELL_INTEGER:
    case TRESSEL_CELL_FLAG:
      snprintf(text, sizeof text, "%lld", (long long)c->integer);
      append(t, text);
      break;
    case TRESSEL_CELL_REAL:
      snprintf(text, sizeof text, "%.*f", decimals, c->real);
      /* the tool prints a value that rounds to zero without its sign */
      append(t, text[0] == '-' && strspn(text, "-0.") == strlen(text) ? text + 1 : text);
      break;
    case TRESSEL_CELL_TEXT:
      if (strpbrk(c->text, ",\"\r\n") == NULL) {
        append(t, c->text);
        break;
      }
      append(t, "\"");
      for (p = c->text; *p; ++p) {
        char one[3] = {*p, *p == '"' ? '"' : '\0', '\0'};
        append(t, one);
      }
      append(t, "\"");
      break;
    default:
      break;
  }
}

static int collect(const tressel_cell* cells, int count, void* user) {
  table* t = user;
  int i;
  CHECK(count == t->column_count);
  for (i = 0; i < count; ++i) {
    if (i) append(t, ",");
    CHECK(cells[i].kind == TRESSEL_CELL_MISSING || cells[i].kind == t->columns[i].kind);
    append_cell(t, &cells[i], t->columns[i].decimals);
  }
  append(t, "\n");
  ++t->rows;
  return 0;
}

static int count_rows(const tressel_cell* cells, int count, void* user) {
  (void)cells;
  (void)count;
  ++*(int*)user;
  return 0;
}

static int stop_at_third(const tressel_cell* cells, int count, void* user) {
  (void)cells;
  (void)count;
  return ++*(int*)user == 3;
}

/* The tool's CSV without its "# " header: the column names, then the rows. */
static char* tool_rows(const char* name) {
  size_t size;
  char* text = read_file(path_of(name), &size);
  char *p = text, *out;
  if (text == NULL) return NULL;
  while (*p == '#') p = strchr(p, '\n') + 1;
  out = malloc(strlen(p) + 1);
  strcpy(out, p);
  free(text);
  return out;
}

static void start_table(table* t, const tressel_tracker* tracker) {
  int i;
  memset(t, 0, sizeof *t);
  t->column_count = tressel_tracker_columns(tracker, t->columns, 128);
  CHECK(t->column_count > 14 && t->column_count <= 128);
  CHECK(tressel_tracker_columns(tracker, NULL, 0) == t->column_count);
  for (i = 0; i < t->column_count; ++i) {
    if (i) append(t, ",");
    append(t, t->columns[i].name);
  }
  append(t, "\n");
}

static void check_same_rows(const table* t, const char* csv_name) {
  char* expected = tool_rows(csv_name);
  CHECK(expected != NULL);
  if (expected == NULL) return;
  CHECK(t->rows == FRAMES);
  CHECK(strcmp(t->lines, expected) == 0);
  if (strcmp(t->lines, expected) != 0) fprintf(stderr, "got:\n%.600s\nexpected:\n%.600s\n", t->lines, expected);
  free(expected);
}

/* The length of text's first `fields` comma-separated fields from `start`. */
static size_t prefix_of_fields(const char* text, size_t start, int fields) {
  size_t i = start;
  while (text[i] && fields > 0) {
    if (text[i] == ',') --fields;
    ++i;
  }
  return i;
}

static char* summary_of(const tressel_tracker* tracker, int format) {
  int n = tressel_tracker_summary(tracker, format, NULL, 0);
  char* text = malloc(n > 0 ? (size_t)n + 1 : 1);
  CHECK(n > 0);
  CHECK(tressel_tracker_summary(tracker, format, text, n + 1) == n);
  CHECK((int)strlen(text) == n);
  return text;
}

/* ---- the rows ---- */

static void test_file_gives_the_tools_rows(void) {
  tressel_tracker* tracker = NULL;
  table t;
  char *summary, *csv, *again, *table_text, cut[8];
  size_t size;
  int n, frames = 0;
  current_test = "file gives the tool's rows";
  CHECK(tressel_tracker_open(path_of("clip.mp4"), NULL, 0, &tracker) == TRESSEL_OK);
  if (tracker == NULL) return;
  start_table(&t, tracker);
  CHECK(tressel_tracker_run(tracker, collect, &t) == 0);
  check_same_rows(&t, "clip.csv");

  /* The summary is the tool's, and the table measured again gives it too. */
  summary = summary_of(tracker, TRESSEL_SUMMARY_JSON);
  csv = summary_of(tracker, TRESSEL_SUMMARY_CSV);
  {
    char* tool_summary = read_file(path_of("clip.csv.summary.csv"), &size);
    CHECK(tool_summary != NULL && strcmp(csv, tool_summary) == 0);
    free(tool_summary);
  }
  table_text = read_file(path_of("clip.csv"), &size);
  n = tressel_summarize(table_text, size, NULL, 0, TRESSEL_SUMMARY_CSV, NULL, 0);
  CHECK(n > 0);
  again = malloc((size_t)n + 1);
  CHECK(tressel_summarize(table_text, size, NULL, 0, TRESSEL_SUMMARY_CSV, again, n + 1) == n);
  /* Measured again from the table: the same columns, and the same counts
     up to sharp_turns (the distances move with the table's rounding). */
  CHECK(strncmp(again, csv, strcspn(csv, "\n")) == 0);
  CHECK(strncmp(again, csv, prefix_of_fields(csv, strcspn(csv, "\n") + 1, 17)) == 0);
  /* a capacity too small cuts the text and still tells its length */
  CHECK(tressel_tracker_summary(tracker, TRESSEL_SUMMARY_JSON, cut, sizeof cut) == (int)strlen(summary));
  CHECK(strlen(cut) == sizeof cut - 1 && strncmp(cut, summary, sizeof cut - 1) == 0);
  CHECK(tressel_tracker_run(tracker, count_rows, &frames) == TRESSEL_ERROR_ARGUMENT); /* once only */
  CHECK(frames == 0);
  free(summary);
  free(csv);
  free(again);
  free(table_text);
  free(t.lines);
  tressel_tracker_close(tracker);
}

static void test_pushed_frames_give_the_tools_rows(void) {
  tressel_tracker* tracker = NULL;
  const char* options[] = {"--background-samples", "40"};
  table t;
  size_t size;
  unsigned char* frames = (unsigned char*)read_file(path_of("clip.raw"), &size);
  int i, got;
  current_test = "pushed frames give the tool's rows";
  CHECK(frames != NULL && size == (size_t)WIDTH * HEIGHT * FRAMES);
  if (frames == NULL) return;
  CHECK(tressel_tracker_create(WIDTH, HEIGHT, options, 2, &tracker) == TRESSEL_OK);
  CHECK(tressel_tracker_columns(tracker, NULL, 0) == TRESSEL_ERROR_ARGUMENT); /* known from the first push */
  for (i = 0; i < FRAMES; ++i) {
    CHECK(tressel_tracker_add_sample(tracker, frames + (size_t)i * WIDTH * HEIGHT, WIDTH, HEIGHT, WIDTH) == TRESSEL_OK);
  }
  memset(&t, 0, sizeof t);
  for (i = 0; i < FRAMES; ++i) {
    got = tressel_tracker_push(tracker, frames + (size_t)i * WIDTH * HEIGHT, WIDTH, HEIGHT, WIDTH, i / 20.0,
                               collect, &t);
    CHECK(got >= 0);
    if (i == 0) {
      int rows = t.rows;
      start_table(&t, tracker);
      t.rows = rows;
    }
  }
  CHECK(tressel_tracker_push(tracker, frames, WIDTH, HEIGHT, WIDTH, 1.0, collect, &t) == TRESSEL_ERROR_ARGUMENT);
  CHECK(strstr(tressel_track_error(), "does not come after") != NULL);
  CHECK(tressel_tracker_summary(tracker, TRESSEL_SUMMARY_CSV, NULL, 0) == TRESSEL_ERROR_ARGUMENT);
  CHECK(tressel_tracker_finish(tracker, collect, &t) >= 0);
  check_same_rows(&t, "clip-raw.csv");
  CHECK(tressel_tracker_summary(tracker, TRESSEL_SUMMARY_CSV, NULL, 0) > 0);
  CHECK(tressel_tracker_push(tracker, frames, WIDTH, HEIGHT, WIDTH, 9.0, collect, &t) == TRESSEL_ERROR_ARGUMENT);
  CHECK(tressel_tracker_settings(tracker, NULL, 0) > 0);
  free(frames);
  free(t.lines);
  tressel_tracker_close(tracker);
}

static void test_callback_stops_the_run(void) {
  int calls = 0;
  current_test = "callback stops the run";
  CHECK(tressel_track_file(path_of("clip.mp4"), NULL, 0, stop_at_third, &calls) == TRESSEL_ERROR_STOPPED);
  CHECK(calls == 3);
}

/* ---- bad input: the code and a message naming the fault ---- */

typedef struct bad_call {
  const char* what;
  int code;
  int got;
  const char* message; /* a part of the message */
  char error[512];     /* the message given */
} bad_call;

static void test_bad_input_gives_its_code_and_message(void) {
  tressel_tracker *tracker = NULL, *pushed = NULL, *untouched = (tressel_tracker*)&tracker;
  unsigned char grey[WIDTH * HEIGHT] = {0};
  const char* unknown[] = {"--no-such-option", "1"};
  const char* bad_value[] = {"--threshold=300"};
  const char* no_value[] = {"--threshold"};
  const char* input[] = {"clip.mp4"};
  const char* null_entry[] = {NULL};
  const char* conflict[] = {"--start", "5", "--end", "1"};
  const char* after_the_end[] = {"--start", "100"};
  const char* not_a_measure[] = {"--threshold", "20"};
  const char bare_table[] = "frame,time_s\n0,0.0\n";
  char* not_video = path_of("clip.csv");
  char not_video_copy[4200];
  bad_call calls[32];
  int n = 0, i;
  current_test = "bad input";
  strcpy(not_video_copy, not_video);
  CHECK(tressel_tracker_create(WIDTH, HEIGHT, NULL, 0, &pushed) == TRESSEL_OK);

#define BAD(what_, code_, call_, message_)                                                          \
  calls[n].what = what_, calls[n].code = code_, calls[n].got = (call_), calls[n].message = message_, \
  snprintf(calls[n].error, sizeof calls[n].error, "%s", tressel_track_error()), ++n
  BAD("not a video", TRESSEL_ERROR_INPUT, tressel_tracker_open(not_video_copy, NULL, 0, &tracker), "clip.csv");
  BAD("no such file", TRESSEL_ERROR_INPUT, tressel_tracker_open("/nonexistent/x.mp4", NULL, 0, &tracker),
      "/nonexistent/x.mp4");
  BAD("unknown option", TRESSEL_ERROR_OPTION, tressel_tracker_create(8, 8, unknown, 2, &tracker), "--no-such-option");
  BAD("bad value", TRESSEL_ERROR_OPTION, tressel_tracker_create(8, 8, bad_value, 1, &tracker), "'300'");
  BAD("no value", TRESSEL_ERROR_OPTION, tressel_tracker_create(8, 8, no_value, 1, &tracker), "needs a value");
  BAD("an input among the options", TRESSEL_ERROR_OPTION, tressel_tracker_create(8, 8, input, 1, &tracker),
      "'clip.mp4' is not an option");
  BAD("options that conflict", TRESSEL_ERROR_OPTION,
      tressel_tracker_open(path_of("clip.mp4"), conflict, 4, &tracker), "--end");
  BAD("a start after the end", TRESSEL_ERROR_INPUT,
      tressel_tracker_open(path_of("clip.mp4"), after_the_end, 2, &tracker), "from 100 s on: the recording ends at");
  BAD("null option", TRESSEL_ERROR_ARGUMENT, tressel_tracker_create(8, 8, null_entry, 1, &tracker), "null");
  BAD("negative count", TRESSEL_ERROR_ARGUMENT, tressel_tracker_create(8, 8, NULL, -1, &tracker), "negative");
  BAD("null path", TRESSEL_ERROR_ARGUMENT, tressel_tracker_open(NULL, NULL, 0, &tracker), "no input");
  BAD("null out", TRESSEL_ERROR_ARGUMENT, tressel_tracker_create(8, 8, NULL, 0, NULL), "null");
  BAD("zero size", TRESSEL_ERROR_ARGUMENT, tressel_tracker_create(0, 8, NULL, 0, &tracker), "0x8");
  BAD("null tracker", TRESSEL_ERROR_ARGUMENT, tressel_tracker_push(NULL, grey, WIDTH, HEIGHT, WIDTH, 0, NULL, NULL),
      "null");
  BAD("null frame", TRESSEL_ERROR_ARGUMENT, tressel_tracker_push(pushed, NULL, WIDTH, HEIGHT, WIDTH, 0, NULL, NULL),
      "null");
  BAD("frame of another size", TRESSEL_ERROR_ARGUMENT,
      tressel_tracker_push(pushed, grey, WIDTH, HEIGHT - 1, WIDTH, 0, NULL, NULL), "320x239");
  BAD("sample of another size", TRESSEL_ERROR_ARGUMENT,
      tressel_tracker_add_sample(pushed, grey, WIDTH - 1, HEIGHT, WIDTH), "319x240");
  BAD("stride below the width", TRESSEL_ERROR_ARGUMENT,
      tressel_tracker_push(pushed, grey, WIDTH, HEIGHT, WIDTH - 1, 0, NULL, NULL), "stride");
  BAD("time not a number", TRESSEL_ERROR_ARGUMENT,
      tressel_tracker_push(pushed, grey, WIDTH, HEIGHT, WIDTH, NAN, NULL, NULL), "time");
  BAD("push before samples", TRESSEL_ERROR_ARGUMENT,
      tressel_tracker_push(pushed, grey, WIDTH, HEIGHT, WIDTH, 0, NULL, NULL), "sample");
  BAD("run without a file", TRESSEL_ERROR_ARGUMENT, tressel_tracker_run(pushed, NULL, NULL), "no file");
  BAD("negative capacity", TRESSEL_ERROR_ARGUMENT,
      tressel_summarize(bare_table, strlen(bare_table), NULL, 0, TRESSEL_SUMMARY_JSON, NULL, -1), "capacity");
  BAD("capacity without a buffer", TRESSEL_ERROR_ARGUMENT, tressel_tracker_columns(pushed, NULL, 4), "");
  BAD("a table without settings", TRESSEL_ERROR_INPUT,
      tressel_summarize(bare_table, strlen(bare_table), NULL, 0, TRESSEL_SUMMARY_JSON, NULL, 0), "settings");
  BAD("a table measured with a tracking option", TRESSEL_ERROR_OPTION,
      tressel_summarize(bare_table, strlen(bare_table), not_a_measure, 2, TRESSEL_SUMMARY_JSON, NULL, 0),
      "--threshold");
  BAD("unknown summary format", TRESSEL_ERROR_ARGUMENT,
      tressel_summarize(bare_table, strlen(bare_table), NULL, 0, 7, NULL, 0), "format");
#undef BAD
  (void)untouched;
  for (i = 0; i < n; ++i) {
    if (calls[i].got != calls[i].code) {
      fprintf(stderr, "[%s] %s: got %d, expected %d\n", current_test, calls[i].what, calls[i].got, calls[i].code);
      ++failed_checks;
    }
    if (strstr(calls[i].error, calls[i].message) == NULL || strchr(calls[i].error, '\n') != NULL) {
      fprintf(stderr, "[%s] %s: the message \"%s\" lacks \"%s\"\n", current_test, calls[i].what, calls[i].error,
              calls[i].message);
      ++failed_checks;
    }
  }
  CHECK(tracker == NULL); /* a failed open or create gives no tracker */
  tressel_tracker_close(pushed);
  tressel_tracker_close(NULL);
}

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: %s FOLDER\n", argv[0]);
    return 2;
  }
  snprintf(folder, sizeof folder, "%s", argv[1]);
  test_file_gives_the_tools_rows();
  test_pushed_frames_give_the_tools_rows();
  test_callback_stops_the_run();
  test_bad_input_gives_its_code_and_message();
  if (failed_checks) {
    fprintf(stderr, "%d checks failed\n", failed_checks);
    return 1;
  }
  printf("all tracker C interface tests passed\n");
  return 0;
}
