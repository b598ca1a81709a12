/* The exported C++ class, seen from the C tests: the results the C interface
   must reproduce. */
#ifndef TRESSEL_TESTS_REFERENCE_H
#define TRESSEL_TESTS_REFERENCE_H

#include "tressel/tressel_c.h"

#ifdef __cplusplus
extern "C" {
#endif

/* CTressel::Tressel with the given parameters, results copied out. */
int reference_analyze(const float* x, const float* y, int count, const tressel_params* params,
                      tressel_result* out);
/* The defaults of a fresh CTressel. */
tressel_params reference_defaults(void);
/* SortOutline on a copy of the points, in arrays of the given capacity. */
int reference_border(const float* x, const float* y, int count, float* out_x, float* out_y, int capacity);

#ifdef __cplusplus
}
#endif

#endif
