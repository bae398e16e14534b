/* The resampling work of bench/resample.cpp through libvips, in memory:
   the picture is wrapped from memory, resampled and written back to a new
   memory block (output allocation included). Prints one median per job. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <vips/vips.h>

static unsigned char *picture(int w, int h) {
  unsigned char *p = malloc((size_t)w * h * 3);
  unsigned s = 12345;
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      s = s * 1664525u + 1013904223u;
      int n = (int)(s >> 28), edge = ((x / 97) + (y / 89)) & 1;
      unsigned char *q = p + ((size_t)y * w + x) * 3;
      /* RGB order here; the content matches the BGR rows of the benchmark. */
      q[2] = (unsigned char)((x * 255 / w + n) & 0xFF);
      q[1] = (unsigned char)((y * 255 / h + n) & 0xFF);
      q[0] = (unsigned char)(edge ? 220 - n : 30 + n);
    }
  return p;
}

static double now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec + t.tv_nsec * 1e-9;
}

static int cmp(const void *a, const void *b) {
  double x = *(const double *)a, y = *(const double *)b;
  return x < y ? -1 : x > y;
}

/* kind 0: vips_reduce (kernel), 1: vips_resize (gap 0), 2: vips_shrink (box) */
static double run(const char *name, int sw, int sh, int dw, int dh, int kind, VipsKernel kernel, int reps) {
  unsigned char *pix = picture(sw, sh);
  double t[64];
  for (int r = 0; r < reps; ++r) {
    double t0 = now();
    VipsImage *in = vips_image_new_from_memory(pix, (size_t)sw * sh * 3, sw, sh, 3, VIPS_FORMAT_UCHAR);
    VipsImage *out = NULL;
    int err;
    if (kind == 0)
      err = vips_reduce(in, &out, (double)sw / dw, (double)sh / dh, "kernel", kernel, NULL);
    else if (kind == 1)
      err = vips_resize(in, &out, (double)dw / sw, "vscale", (double)dh / sh, "kernel", kernel, "gap", 0.0, NULL);
    else
      err = vips_shrink(in, &out, (double)sw / dw, (double)sh / dh, NULL);
    if (err) vips_error_exit("%s", name);
    size_t len;
    void *mem = vips_image_write_to_memory(out, &len);
    t[r] = now() - t0;
    g_free(mem);
    g_object_unref(out);
    g_object_unref(in);
  }
  qsort(t, reps, sizeof t[0], cmp);
  printf("%s %.3f\n", name, t[reps / 2] * 1000);
  fflush(stdout);
  free(pix);
  return t[reps / 2];
}

int main(int argc, char **argv) {
  if (VIPS_INIT(argv[0])) vips_error_exit(NULL);
  vips_cache_set_max(0);
  int reps = argc > 1 ? atoi(argv[1]) : 9;
  if (reps < 1 || reps > 64) reps = 9;
  run("vips_reduce_lanczos3_down", 4000, 3000, 1000, 750, 0, VIPS_KERNEL_LANCZOS3, reps);
  run("vips_resize_lanczos3_down", 4000, 3000, 1000, 750, 1, VIPS_KERNEL_LANCZOS3, reps);
  run("vips_resize_lanczos3_up", 1000, 750, 4000, 3000, 1, VIPS_KERNEL_LANCZOS3, reps);
  run("vips_resize_cubic_up2", 2000, 1500, 4000, 3000, 1, VIPS_KERNEL_CUBIC, reps);
  run("vips_shrink_box_down", 4000, 3000, 1000, 750, 2, VIPS_KERNEL_LINEAR, reps);
  return 0;
}
