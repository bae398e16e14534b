/* The codecs of bench/io_codecs.cpp through libvips, to and from memory, on
   the same 1024 x 768 picture and at the library's default settings:
   uncompressed TIFF, PNG (zlib level 5, no row filter), JPEG (quality 80)
   and BMP (libvips saves and loads it through ImageMagick). Decoding
   includes writing the pixels to memory. Usage: vips_codecs reps [dir]:
   with dir, the files dir/bench.<tif|bmp|png|jpg> (ours) are decoded
   rather than libvips' own, so that every party decodes the same bytes. Prints
   one line per job: its name and the median in milliseconds. */
#include <math.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <vips/vips.h>

#include "peer_clock.h"

enum { W = 1024, H = 768 };

static int encode(VipsImage *in, const char *fmt, void **buf, size_t *len) {
  if (!strcmp(fmt, "TIFF"))
    return vips_tiffsave_buffer(in, buf, len, "compression", VIPS_FOREIGN_TIFF_COMPRESSION_NONE, NULL);
  if (!strcmp(fmt, "PNG"))
    return vips_pngsave_buffer(in, buf, len, "compression", 5, "filter", VIPS_FOREIGN_PNG_FILTER_NONE, NULL);
  if (!strcmp(fmt, "JPEG")) return vips_jpegsave_buffer(in, buf, len, "Q", 80, NULL);
  return vips_magicksave_buffer(in, buf, len, "format", "BMP3", NULL);
}

int main(int argc, char **argv) {
  if (VIPS_INIT(argv[0])) vips_error_exit(NULL);
  vips_cache_set_max(0);
  int reps = argc > 1 ? atoi(argv[1]) : 9;
  if (reps < 1 || reps > 64) reps = 9;
  /* The picture of bench/io_codecs.cpp (FillPhoto), as RGB. */
  unsigned char *px = malloc((size_t)W * H * 3);
  for (int y = 0; y < H; ++y)
    for (int x = 0; x < W; ++x) {
      unsigned char *q = px + 3 * ((size_t)y * W + x);
      q[0] = (unsigned char)((y / 3 + ((x * 7 + y * 13) % 17)) & 255);
      q[1] = (unsigned char)(int)(128 + 100 * sin((x + 2 * y) / 40.0));
      q[2] = (unsigned char)(x / 4);
    }
  const char *fmts[] = {"TIFF", "BMP", "PNG", "JPEG"};
  const char *exts[] = {"tif", "bmp", "png", "jpg"};
  for (int f = 0; f < 4; ++f) {
    double enc[64], dec[64];
    void *file = NULL;
    size_t flen = 0;
    for (int r = -1; r < reps; ++r) {
      double t0 = now();
      VipsImage *in = vips_image_new_from_memory(px, (size_t)W * H * 3, W, H, 3, VIPS_FORMAT_UCHAR);
      void *buf;
      size_t len;
      int err = encode(in, fmts[f], &buf, &len);
      double t = now() - t0;
      g_object_unref(in);
      if (err) {
        fprintf(stderr, "vips_codecs: %s: %s", fmts[f], vips_error_buffer());
        vips_error_clear();
        break;
      }
      if (r < 0) {
        file = buf;
        flen = len;
      } else {
        enc[r] = t;
        g_free(buf);
      }
    }
    if (!file) continue;
    if (argc > 2) {
      /* Ours, when it is there. */
      char *path = g_strdup_printf("%s/bench.%s", argv[2], exts[f]);
      gchar *ours;
      gsize olen;
      if (g_file_get_contents(path, &ours, &olen, NULL)) {
        g_free(file);
        file = ours;
        flen = olen;
      }
      g_free(path);
    }
    for (int r = -1; r < reps; ++r) {
      double t0 = now();
      VipsImage *img = vips_image_new_from_buffer(file, flen, "", "access", VIPS_ACCESS_SEQUENTIAL, NULL);
      if (!img) vips_error_exit("%s", fmts[f]);
      size_t len;
      void *mem = vips_image_write_to_memory(img, &len);
      double t = now() - t0;
      g_free(mem);
      g_object_unref(img);
      if (r >= 0) dec[r] = t;
    }
    g_free(file);
    printf("Encode%s %.3f\nDecode%s %.3f\n", fmts[f], median(enc, reps) * 1000, fmts[f], median(dec, reps) * 1000);
    fflush(stdout);
  }
  free(px);
  return 0;
}
