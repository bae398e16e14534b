/* The resampling work of bench/resample.cpp through libvips, in memory:
   the picture is wrapped from memory, resampled and written back to a new
   memory block (output allocation included). Usage: vips_resample reps
   threads (0: libvips' default, every core). Prints one line per job: its
   name, the median at the same size every call and the median at a new
   size each call (one pixel less each way per call, over 16 sizes, as
   bench/resample.cpp's ...New forms do), in milliseconds. */
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vips/vips.h>

#include "peer_clock.h"

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

enum { REDUCE, RESIZE, SHRINK };

/* One call: sw x sh -> dw x dh, output written to new memory. */
static double once(const char *name, unsigned char *pix, int sw, int sh, int dw, int dh, int kind, VipsKernel kernel) {
  double t0 = now();
  VipsImage *in = vips_image_new_from_memory(pix, (size_t)sw * sh * 3, sw, sh, 3, VIPS_FORMAT_UCHAR);
  VipsImage *out = NULL;
  int err;
  if (kind == REDUCE)
    err = vips_reduce(in, &out, (double)sw / dw, (double)sh / dh, "kernel", kernel, NULL);
  else if (kind == RESIZE)
    err = vips_resize(in, &out, (double)dw / sw, "vscale", (double)dh / sh, "kernel", kernel, "gap", 0.0, NULL);
  else
    err = vips_shrink(in, &out, (double)sw / dw, (double)sh / dh, NULL);
  if (err) vips_error_exit("%s", name);
  size_t len;
  void *mem = vips_image_write_to_memory(out, &len);
  double t = now() - t0;
  g_free(mem);
  g_object_unref(out);
  g_object_unref(in);
  return t;
}

static void run(const char *name, int sw, int sh, int dw, int dh, int kind, VipsKernel kernel, int reps) {
  unsigned char *pix = picture(sw, sh);
  double same[64], fresh[64];
  once(name, pix, sw, sh, dw, dh, kind, kernel);
  for (int r = 0; r < reps; ++r) same[r] = once(name, pix, sw, sh, dw, dh, kind, kernel);
  for (int r = 0; r < reps; ++r) {
    int d = (r + 1) % 16;
    fresh[r] = once(name, pix, sw, sh, dw - d, dh - d, kind, kernel);
  }
  printf("%s %.3f %.3f\n", name, median(same, reps) * 1000, median(fresh, reps) * 1000);
  fflush(stdout);
  free(pix);
}

int main(int argc, char **argv) {
  if (VIPS_INIT(argv[0])) vips_error_exit(NULL);
  vips_cache_set_max(0);
  int reps = argc > 1 ? atoi(argv[1]) : 9;
  if (reps < 1 || reps > 64) reps = 9;
  int threads = argc > 2 ? atoi(argv[2]) : 0;
  if (threads > 0) vips_concurrency_set(threads);
  run("vips_reduce_lanczos3_down", 4000, 3000, 1000, 750, REDUCE, VIPS_KERNEL_LANCZOS3, reps);
  run("vips_resize_lanczos3_down", 4000, 3000, 1000, 750, RESIZE, VIPS_KERNEL_LANCZOS3, reps);
  run("vips_resize_lanczos3_up", 1000, 750, 4000, 3000, RESIZE, VIPS_KERNEL_LANCZOS3, reps);
  run("vips_resize_cubic_up2", 2000, 1500, 4000, 3000, RESIZE, VIPS_KERNEL_CUBIC, reps);
  run("vips_resize_cubic_up_odd", 2000, 1500, 3999, 2999, RESIZE, VIPS_KERNEL_CUBIC, reps);
  run("vips_shrink_box_down", 4000, 3000, 1000, 750, SHRINK, VIPS_KERNEL_LINEAR, reps);
  run("vips_shrink_box_down_odd", 4000, 3000, 999, 749, SHRINK, VIPS_KERNEL_LINEAR, reps);
  run("vips_resize_linear_down_half", 4000, 3000, 2000, 1500, RESIZE, VIPS_KERNEL_LINEAR, reps);
  run("vips_resize_linear_up", 4000, 3000, 6000, 4500, RESIZE, VIPS_KERNEL_LINEAR, reps);
  run("vips_resize_nearest_down_half", 4000, 3000, 2000, 1500, RESIZE, VIPS_KERNEL_NEAREST, reps);
  run("vips_resize_nearest_up", 4000, 3000, 6000, 4500, RESIZE, VIPS_KERNEL_NEAREST, reps);
  return 0;
}
