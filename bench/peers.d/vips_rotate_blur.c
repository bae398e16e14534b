/* The work of bench/rotate_blur.cpp through libvips, in memory: the picture
   is wrapped from memory, rotated by 30 degrees (bilinear, bicubic) or its
   grey plane blurred (sigma 3, 10, 50), and written back to a new memory
   block (output allocation included). Prints one median per job. */
#include <stdio.h>
#include <stdlib.h>
#include <vips/vips.h>

#include "peer_clock.h"

enum { W = 4000, H = 3000 };

/* Rotation when sigma is 0 (interp names the interpolator), blur otherwise. */
static void run(const char *name, unsigned char *pix, int bands, const char *interp, double sigma, int reps) {
  double t[64];
  for (int r = 0; r < reps; ++r) {
    double t0 = now();
    VipsImage *in = vips_image_new_from_memory(pix, (size_t)W * H * bands, W, H, bands, VIPS_FORMAT_UCHAR);
    VipsImage *out = NULL;
    int err;
    if (sigma == 0) {
      VipsInterpolate *ip = vips_interpolate_new(interp);
      err = vips_rotate(in, &out, 30.0, "interpolate", ip, NULL);
      g_object_unref(ip);
    } else {
      err = vips_gaussblur(in, &out, sigma, NULL);
    }
    if (err) vips_error_exit("%s", name);
    size_t len;
    void *mem = vips_image_write_to_memory(out, &len);
    t[r] = now() - t0;
    g_free(mem);
    g_object_unref(out);
    g_object_unref(in);
  }
  printf("%s %.3f\n", name, median(t, reps) * 1000);
  fflush(stdout);
}

int main(int argc, char **argv) {
  if (VIPS_INIT(argv[0])) vips_error_exit(NULL);
  vips_cache_set_max(0);
  int reps = argc > 1 ? atoi(argv[1]) : 9;
  if (reps < 1 || reps > 64) reps = 9;
  unsigned char *rgb = malloc((size_t)W * H * 3), *grey = malloc((size_t)W * H);
  unsigned s = 2024;
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      s = s * 22695477u + 1u;
      int noise = (int)(s >> 29), stripe = ((x + y) / 61) % 2 ? 200 : 40;
      unsigned char *q = rgb + ((size_t)y * W + x) * 3;
      q[0] = (unsigned char)(stripe + noise);
      q[1] = (unsigned char)((y * 255 / H + noise) & 0xFF);
      q[2] = (unsigned char)((x * 255 / W + noise) & 0xFF);
      grey[(size_t)y * W + x] = q[1];
    }
  run("vips_rotate_bilinear", rgb, 3, "bilinear", 0, reps);
  run("vips_rotate_bicubic", rgb, 3, "bicubic", 0, reps);
  run("vips_gaussblur_3", grey, 1, NULL, 3, reps);
  run("vips_gaussblur_10", grey, 1, NULL, 10, reps);
  run("vips_gaussblur_50", grey, 1, NULL, 50, reps);
  free(rgb);
  free(grey);
  return 0;
}
