/* The clock and the median of the libvips peer programs. */
#ifndef PEER_CLOCK_H
#define PEER_CLOCK_H
#include <stdlib.h>
#include <time.h>

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

static int cmp_double(const void *a, const void *b) {
  double x = *(const double *)a, y = *(const double *)b;
  return x < y ? -1 : x > y;
}

/* The median of n times (sorted in place). */
static double median(double *t, int n) {
  qsort(t, n, sizeof t[0], cmp_double);
  return t[n / 2];
}
#endif
