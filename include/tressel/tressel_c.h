/*
 * Tressel C interface: tail, body centre and nose of an animal's silhouette
 * seen from above, callable from C and from any language with a C FFI.
 *
 *   tressel_result r;
 *   int found = tressel_analyze(x, y, count, NULL, &r);   // NULL: default parameters
 *   if (found < 0) puts(tressel_error_message(found));
 *   else if (found) printf("tail base %d,%d\n", r.tail_base.x, r.tail_base.y);
 *
 * Coordinates are pixels: x is the column (grows to the right), y the row
 * (grows downward). An outline is given as scan-line span points: for every
 * pixel row, the first and the last pixel of each run of region pixels, in any
 * order, as two float arrays; coordinates are truncated toward zero.
 * tressel_mask_spans turns a binary mask into exactly that.
 *
 * Every function returns a negative TRESSEL_ERROR_* code on failure and then
 * writes nothing to any output. Functions that fill caller arrays take their
 * capacity, write at most that many points and return the full number, so a
 * call with capacity 0 and NULL arrays asks for the size.
 *
 * Calls share no state: any number of threads may call at once.
 */
#ifndef TRESSEL_C_H
#define TRESSEL_C_H

#include <stddef.h>
#include <stdint.h>

#if defined(TRESSEL_STATIC)
#define TRESSEL_C_API
#elif defined(_WIN32)
#if defined(TRESSEL_BUILDING)
/* Tressel.dll's export table is spelled out in full by windows/Tressel.def. */
#define TRESSEL_C_API
#else
#define TRESSEL_C_API __declspec(dllimport)
#endif
#else
#define TRESSEL_C_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

#define TRESSEL_OK 0
#define TRESSEL_ERROR_ARGUMENT (-1) /* a null pointer, negative capacity, bad mask size */
#define TRESSEL_ERROR_MEMORY (-2)   /* out of memory, or the silhouette needs a raster over 2^28 pixels */
#define TRESSEL_ERROR_INTERNAL (-3) /* an unexpected failure inside the analysis */

/* tressel_mask_spans flag: keep every region pixel, not only the largest
   8-connected component. */
#define TRESSEL_MASK_ALL_COMPONENTS 1

typedef struct tressel_point {
  int32_t x, y;
} tressel_point;

/* The nine tuning parameters; defaults in brackets. */
typedef struct tressel_params {
  int tail_width_percent;        /* [13] narrow: width <= percent of the largest width, capped at 25 */
  int tail_length_percent;       /* [16] shortest tail, percent of the contour's length */
  int tail_width_min_threshold;  /* [7]  lower bound of the tail's width threshold */
  int tail_length_max_threshold; /* [50] upper bound of the tail's length threshold */
  int limb_width_percent;        /* [10] as for the tail, without a cap */
  int limb_length_percent;       /* [7] */
  int limb_width_min_threshold;  /* [7] */
  int limb_length_max_threshold; /* [15] */
  int loop_length_max_percent;   /* [10] longest loop pruned, percent of the contour */
} tressel_params;

typedef struct tressel_result {
  int has_tail;              /* 1 when a tail was found, else 0 */
  tressel_point tail_base;   /* where the tail joins the body */
  tressel_point tail_start;  /* the tail's two end points on the contour */
  tressel_point tail_end;
  tressel_point body_center; /* centre of the body with tail and limbs cut away */
  tressel_point nose;
} tressel_result;

TRESSEL_C_API tressel_params tressel_default_params(void);

/* Analyses the outline given by count span points (count <= 0: an empty
   outline, x and y may then be NULL). params NULL means the defaults.
   Returns has_tail (0 or 1) and fills *out, or a negative error code. */
TRESSEL_C_API int tressel_analyze(const float* x, const float* y, int count, const tressel_params* params,
                                  tressel_result* out);

/* The outline's cleaned, closed, clockwise contour. Returns its length and
   writes its first min(length, capacity) points to out_x, out_y. */
TRESSEL_C_API int tressel_border(const float* x, const float* y, int count, float* out_x, float* out_y,
                                 int capacity);

/* The span points of a binary mask of width x height bytes, row y starting at
   mask + y * stride; a non-zero byte is region. Rows top to bottom, runs left
   to right, entry then exit point (a one-pixel run gives the same point
   twice), x = column, y = row. Only the largest 8-connected component is kept
   (of equal ones, the one reached first in scan order), unless flags holds
   TRESSEL_MASK_ALL_COMPONENTS. Returns the number of span points and writes at
   most capacity of them. Width and height are at most 2^24, so that every
   coordinate is exact as a float. */
TRESSEL_C_API int tressel_mask_spans(const uint8_t* mask, int width, int height, ptrdiff_t stride, int flags,
                                     float* out_x, float* out_y, int capacity);

/* tressel_mask_spans followed by tressel_analyze on its points. Each thread
   keeps its working buffers from call to call (sized by the largest region it
   has analysed), so analysing mask after mask pays for them once. */
TRESSEL_C_API int tressel_analyze_mask(const uint8_t* mask, int width, int height, ptrdiff_t stride, int flags,
                                       const tressel_params* params, tressel_result* out);

/* A static English text for any code, known or not. */
TRESSEL_C_API const char* tressel_error_message(int code);

/* The library's version, "major.minor.patch". */
TRESSEL_C_API const char* tressel_version(void);

#ifdef __cplusplus
}
#endif

#endif /* TRESSEL_C_H */
