#!/usr/bin/env python3
"""The codecs of bench/io_codecs.cpp beside Pillow at the same settings, on
the same 1024 x 768 picture, to and from memory: uncompressed TIFF, BMP,
PNG (zlib level 6) and JPEG (quality 75 is both defaults). Prints medians
and ratios peer / ours (above 1: we are faster).
Usage: codecs.py [build-dir] (default build-rel), REPS=n for the runs."""
import io, json, math, os, statistics, subprocess, sys, time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(os.path.dirname(here))
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build-rel")
reps = int(os.environ.get("REPS", "9"))
W, H = 1024, 768


def median_ms(fn):
    fn()
    t = []
    for _ in range(reps):
        t0 = time.perf_counter()
        fn()
        t.append((time.perf_counter() - t0) * 1000)
    return statistics.median(t)


exe = os.path.join(build, "bench", "bench_io_codecs")
if not os.access(exe, os.X_OK):
    subprocess.run(["cmake", "--build", build, "-j3", "--target", "bench_io_codecs"], check=True,
                   stdout=subprocess.DEVNULL)
out = subprocess.run([exe, f"--benchmark_repetitions={reps}", "--benchmark_report_aggregates_only=true",
                      "--benchmark_format=json", "--benchmark_filter=Encode|Decode"], check=True,
                     capture_output=True, text=True).stdout
ours = {}
for b in json.loads(out)["benchmarks"]:
    if b.get("aggregate_name") == "median":
        ours[b["run_name"].replace("BM_", "")] = b["real_time"]

try:
    from PIL import Image
except ImportError:
    print("peers: python3-pil not found (scripts/setup --peers installs it)", file=sys.stderr)
    sys.exit(0)

# The picture of bench/io_codecs.cpp (FillPhoto), as RGB.
px = bytearray(W * H * 3)
for y in range(H):
    for x in range(W):
        o = 3 * (y * W + x)
        px[o] = (y // 3 + ((x * 7 + y * 13) % 17)) & 255
        px[o + 1] = int(128 + 100 * math.sin((x + 2 * y) / 40.0)) & 255
        px[o + 2] = (x // 4) & 255
img = Image.frombytes("RGB", (W, H), bytes(px))
jobs = [("TIFF", "TIFF", {"compression": "raw"}), ("BMP", "BMP", {}), ("PNG", "PNG", {"compress_level": 6}),
        ("JPEG", "JPEG", {"quality": 75})]
import PIL
print(f"medians of {reps} runs, 1024 x 768 RGB, to and from memory, Pillow {PIL.__version__}")
for name, fmt, opts in jobs:
    buf = io.BytesIO()
    img.save(buf, fmt, **opts)
    data = buf.getvalue()
    enc = median_ms(lambda: img.save(io.BytesIO(), fmt, **opts))
    dec = median_ms(lambda: Image.open(io.BytesIO(data)).load())
    for what, peer in (("Encode", enc), ("Decode", dec)):
        mine = ours.get(what + name)
        if mine:
            print(f"{what + ' ' + name:14s} ours {mine:8.2f} ms   Pillow {peer:8.2f} ms   ratio peer/ours {peer / mine:5.2f}")
