/*
 * Tressel tracker C interface: follows an animal through a recording, or
 * through grey frames pushed one at a time, and gives the per-frame table of
 * `tressel track` row by row, with the recording's summary. In
 * libTresselTrack; callable from C and from any language with a C FFI.
 *
 * A whole file, one call:
 *
 *   static int print_row(const tressel_cell* cells, int count, void* user) {
 *     printf("frame %lld: %s\n", (long long)cells[0].integer, cells[2].text);
 *     return 0;                                  // non-zero stops the run
 *   }
 *   const char* options[] = {"--threshold", "30", "--bin=60s"};
 *   int r = tressel_track_file("mouse.mp4", options, 3, print_row, NULL);
 *   if (r < 0) fprintf(stderr, "%s\n", tressel_track_error());
 *
 * A file with its summary:
 *
 *   tressel_tracker* t;
 *   if (tressel_tracker_open("mouse.mp4", NULL, 0, &t) < 0) fail(tressel_track_error());
 *   int r = tressel_tracker_run(t, print_row, NULL);  // > 0: frames that could not be decoded
 *   int n = tressel_tracker_summary(t, TRESSEL_SUMMARY_JSON, NULL, 0);
 *   char* json = malloc(n + 1);
 *   tressel_tracker_summary(t, TRESSEL_SUMMARY_JSON, json, n + 1);
 *   tressel_tracker_close(t);
 *
 * Frames from anywhere (a camera):
 *
 *   tressel_tracker_create(640, 480, NULL, 0, &t);
 *   for (i = 0; i < 51; ++i)                      // spread over the session, or its start
 *     tressel_tracker_add_sample(t, sample[i], 640, 480, 640);
 *   while (grab(&grey, &time_s))                  // rows come once the track has decided them
 *     tressel_tracker_push(t, grey, 640, 480, 640, time_s, print_row, NULL);
 *   tressel_tracker_finish(t, print_row, NULL);  // the rows still held
 *
 * Options are the arguments of `tressel track` without the input and the
 * output: "--name value" or "--name=value" strings (`tressel track --help`).
 *
 * A row is one cell per column, in the order tressel_tracker_columns gives:
 * frame, time_s, status, area_px, center_x, ... arena. A cell is missing
 * (kind TRESSEL_CELL_MISSING) where the value is undefined: a frame without
 * an animal or that could not be decoded has no points, never 0,0. Rows come
 * in frame order (then arena); a row's text cells stay valid during the
 * callback only.
 *
 * Every function returns a negative error code on failure and keeps a
 * one-line message for tressel_track_error, which names the file and the
 * fault. Functions that fill caller buffers take their capacity and return
 * the full size, so a call with capacity 0 and NULL asks for it. No call
 * throws. A tracker is used by one thread at a time; different trackers may
 * be used by different threads.
 */
#ifndef TRESSEL_TRACK_H
#define TRESSEL_TRACK_H

#include <stddef.h>
#include <stdint.h>

#include "tressel/tressel_c.h"

#ifdef __cplusplus
extern "C" {
#endif

/* As in tressel_c.h: TRESSEL_OK, TRESSEL_ERROR_ARGUMENT (also a call out of
   order, such as a push after finish), TRESSEL_ERROR_MEMORY,
   TRESSEL_ERROR_INTERNAL; and: */
#define TRESSEL_ERROR_OPTION (-4)  /* an unknown option or a bad value */
#define TRESSEL_ERROR_INPUT (-5)   /* the input cannot be read, or stopped midway (rows before it stand) */
#define TRESSEL_ERROR_STOPPED (-6) /* the row callback asked to stop */

/* A column's kind, and a cell's (a cell may also be missing). */
#define TRESSEL_CELL_MISSING 0
#define TRESSEL_CELL_INTEGER 1 /* in `integer` */
#define TRESSEL_CELL_REAL 2    /* in `real`, shown with the column's decimals */
#define TRESSEL_CELL_TEXT 3    /* in `text`, UTF-8, NUL-terminated */
#define TRESSEL_CELL_FLAG 4    /* 0 or 1 in `integer` */

#define TRESSEL_SUMMARY_JSON 0 /* the tool's FILE.summary.json */
#define TRESSEL_SUMMARY_CSV 1  /* the tool's FILE.summary.csv: one row per arena and period */

typedef struct tressel_tracker tressel_tracker;

typedef struct tressel_cell {
  int kind;
  int64_t integer;
  double real;
  const char* text; /* "" unless a text cell */
} tressel_cell;

typedef struct tressel_column {
  const char* name; /* valid while the tracker is */
  int kind;
  int decimals; /* real columns: digits after the point in the tool's tables */
} tressel_column;

/* Gets one finished row; returns 0 to go on, anything else to stop. */
typedef int (*tressel_row_callback)(const tressel_cell* cells, int count, void* user);

/* A tracker of the recording at `path` (a video, or a folder of images): opens
   it, estimates the background and learns the thresholds. */
TRESSEL_C_API int tressel_tracker_open(const char* path, const char* const* options, int option_count,
                                       tressel_tracker** out);

/* A tracker of pushed frames of width x height. Its background is the median
   of the sample frames added before the first push (or --background IMAGE, or
   tressel_tracker_set_background); the samples teach the thresholds too. */
TRESSEL_C_API int tressel_tracker_create(int width, int height, const char* const* options, int option_count,
                                         tressel_tracker** out);

/* A grey frame as 8-bit pixels, row y at grey + y * stride. */
TRESSEL_C_API int tressel_tracker_add_sample(tressel_tracker* tracker, const uint8_t* grey, int width, int height,
                                             ptrdiff_t stride);
TRESSEL_C_API int tressel_tracker_set_background(tressel_tracker* tracker, const uint8_t* grey, int width,
                                                 int height, ptrdiff_t stride);

/* Tracks the next frame, taken at time_s seconds (after the previous frame's
   time), and gives the rows that it finishes: usually those of a frame some
   way back, as the head is decided over the track. Returns their number. */
TRESSEL_C_API int tressel_tracker_push(tressel_tracker* tracker, const uint8_t* grey, int width, int height,
                                       ptrdiff_t stride, double time_s, tressel_row_callback callback,
                                       void* user);

/* After the last push: gives the remaining rows; the summary is then complete. */
TRESSEL_C_API int tressel_tracker_finish(tressel_tracker* tracker, tressel_row_callback callback, void* user);

/* An opened tracker's recording, from --start to --end, once. Returns 0, or
   the number of frames that could not be decoded (their rows have status
   decode_error). The summary is complete after it, also after an error. */
TRESSEL_C_API int tressel_tracker_run(tressel_tracker* tracker, tressel_row_callback callback, void* user);

/* Open, run and close. */
TRESSEL_C_API int tressel_track_file(const char* path, const char* const* options, int option_count,
                                     tressel_row_callback callback, void* user);

/* The table's columns: returns their number, writes at most capacity. */
TRESSEL_C_API int tressel_tracker_columns(const tressel_tracker* tracker, tressel_column* out, int capacity);

/* Text, written NUL-terminated when capacity > 0 (cut to capacity - 1 bytes);
   returns its full length without the NUL. The settings are everything that
   reproduces the table (the tool's FILE.json); the summary is complete after
   tressel_tracker_run or tressel_tracker_finish. */
TRESSEL_C_API int tressel_tracker_settings(const tressel_tracker* tracker, char* out, int capacity);
TRESSEL_C_API int tressel_tracker_summary(const tressel_tracker* tracker, int format, char* out, int capacity);
/* The warnings about the recording (an animal that sat still in the samples,
   ...), one per line. */
TRESSEL_C_API int tressel_tracker_warnings(const tressel_tracker* tracker, char* out, int capacity);

TRESSEL_C_API void tressel_tracker_close(tressel_tracker* tracker);

/* The summary of a table that tressel track wrote (CSV, with its "# " header,
   which holds the settings), measured again with the behaviour options
   given (--bin, --zones, --scale, ...: the others of the table stay). */
TRESSEL_C_API int tressel_summarize(const char* table, size_t size, const char* const* options, int option_count,
                                    int format, char* out, int capacity);

/* The message of this thread's last failed call; "" when none failed. */
TRESSEL_C_API const char* tressel_track_error(void);

#ifdef __cplusplus
}
#endif

#endif /* TRESSEL_TRACK_H */
