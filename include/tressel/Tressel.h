/*
 * Tressel: tail, body centre and nose of an animal's silhouette seen from above.
 *
 * The silhouette is given as its scan-line spans: for every pixel row, the
 * leftmost and the rightmost pixel of each run of region pixels, as two float
 * arrays x[] and y[] in any order. Coordinates are truncated toward zero.
 *
 *   CTressel t;                          // default parameters
 *   if (t.Tressel(x, y, count)) {        // 1 when a tail was found
 *     POINT base = t.GetTailBase();      // where the tail joins the body
 *   }
 *   POINT centre = t.GetCenter();        // body centre, tail and limbs cut away
 *   POINT nose = t.GetNose();
 *
 * GetFixedBorderPoints and SortOutline replace the caller's points by the
 * silhouette's cleaned, closed, clockwise contour and return its length. They
 * write the whole contour, which is usually longer than the input: size the
 * arrays for the contour (a filled 10 x 10 square has 20 span points and a
 * contour of 36).
 *
 * The analysis throws lti::allocException (a std::exception, "memory
 * allocation error") when a scratch raster would exceed 2^28 pixels; the
 * record then keeps its previous results. Tressel.dll, the 32-bit Windows
 * build, lets no exception reach its host: Tressel, GetFixedBorderPoints and
 * SortOutline then return 0, the record keeps its previous results and the
 * arrays are left as they were. An instance must not be used from
 * two threads at once; separate instances share nothing.
 */
#ifndef TRESSEL_TRESSEL_H
#define TRESSEL_TRESSEL_H

#if defined(_WIN32)
#include <windows.h>
#else
#include <stdint.h>
/* The Windows SDK's point record, with the same layout. */
typedef struct tagPOINT {
  int32_t x;
  int32_t y;
} POINT;
#endif

#if defined(TRESSEL_STATIC)
#define TRESSEL_API
#elif defined(_WIN32)
#if defined(TRESSEL_BUILDING)
/* Tressel.dll's export table is spelled out in full by windows/Tressel.def,
   which also gives the members their Microsoft names. */
#define TRESSEL_API
#else
#define TRESSEL_API __declspec(dllimport)
#endif
#else
#define TRESSEL_API __attribute__((visibility("default")))
#endif

class TRESSEL_API CTressel {
 public:
  /* Default parameters; hasTail 0 and the five result points (0, 0). */
  CTressel();
  /* Copies parameters and results alike. */
  CTressel& operator=(const CTressel& other);

  /* Restores the nine default parameters; results are left alone. */
  void LoadDefaults();

  /* Analyses the outline and returns the new HasTail(). */
  int Tressel(float* x, float* y, int count);
  /* Writes the cleaned contour into x[], y[] from index 0 and returns its
     length (0 when count <= 0). Reads and writes nothing of the record. */
  int GetFixedBorderPoints(float* x, float* y, int count);

  /* Results of the last analysis. */
  int HasTail();
  POINT GetTailBase();
  POINT GetTailStart();
  POINT GetTailEnd();
  POINT GetCenter();
  POINT GetNose();

  /* Parameters, stored unchecked. Defaults in brackets. */
  int GetTailWidthPercent();       /* [13] narrow: width <= percent of the largest, capped at 25 */
  int GetTailLengthPercent();      /* [16] shortest tail, percent of the contour's length */
  int GetTailWidthMinThreshold();  /* [7]  lower bound of the tail's width threshold */
  int GetTailLengthMaxThreshold(); /* [50] upper bound of the tail's length threshold */
  int GetLimbWidthPercent();       /* [10] as for the tail, without a cap */
  int GetLimbLengthPercent();      /* [7] */
  int GetLimbWidthMinThreshold();  /* [7] */
  int GetLimbLengthMaxThreshold(); /* [15] */
  int GetLoopLengthMaxPercent();   /* [10] longest loop pruned, percent of the contour */
  void SetTailWidthPercent(int value);
  void SetTailLengthPercent(int value);
  void SetTailWidthMinThreshold(int value);
  void SetTailLengthMaxThreshold(int value);
  void SetLimbWidthPercent(int value);
  void SetLimbLengthPercent(int value);
  void SetLimbWidthMinThreshold(int value);
  void SetLimbLengthMaxThreshold(int value);
  void SetLoopLengthMaxPercent(int value);

 private:
  /* The record hosts allocate and copy whole: exactly these fifteen fields,
     in this order, 80 bytes. */
  int hasTail;
  POINT tailBase;
  POINT tailStart;
  POINT tailEnd;
  POINT bodyCenter;
  POINT nose;
  int tailWidthPercent;
  int tailLengthPercent;
  int tailWidthMinThreshold;
  int tailLengthMaxThreshold;
  int limbWidthPercent;
  int limbLengthPercent;
  int limbWidthMinThreshold;
  int limbLengthMaxThreshold;
  int loopLengthMaxPercent;

  friend struct CTresselLayout;
};

/* The border service without an instance: default parameters, the same
   output as CTressel::GetFixedBorderPoints. */
extern "C" TRESSEL_API int SortOutline(float* x, float* y, int count);

#endif /* TRESSEL_TRESSEL_H */
