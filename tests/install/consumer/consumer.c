/* A program built against an installed Tressel: analyses a filled square. */
#include <stdio.h>
#include <string.h>

#include <tressel/tressel_c.h>

int main(void) {
  uint8_t mask[20 * 20];
  tressel_result result;
  int y;
  memset(mask, 0, sizeof mask);
  for (y = 5; y < 15; ++y) memset(mask + y * 20 + 5, 1, 10);
  if (tressel_analyze_mask(mask, 20, 20, 20, 0, NULL, &result) != 0) return 1;
  printf("tressel %s: body centre (%d, %d)\n", tressel_version(), result.body_center.x, result.body_center.y);
  return result.body_center.x == 9 && result.body_center.y == 9 ? 0 : 1;
}
