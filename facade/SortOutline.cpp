#include "tressel/Tressel.h"

extern "C" int SortOutline(float* x, float* y, int count) {
  CTressel temporary;
  return temporary.GetFixedBorderPoints(x, y, count);
}
