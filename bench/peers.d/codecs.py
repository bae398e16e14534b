#!/usr/bin/env python3
"""The codecs of bench/io_codecs.cpp beside Pillow and libvips at the same
settings (the library's defaults), on the same 1024 x 768 picture, to and
from memory: uncompressed TIFF, BMP, PNG (zlib level 5; ours and libvips
filter no row, Pillow has no such choice and filters adaptively) and JPEG
(quality 80). Every party decodes the files our encoder wrote. libvips runs
through peers.d/vips_codecs.c. Prints medians and ratios peer / ours (above
1: we are faster).
Usage: codecs.py [build-dir] (default build-rel), REPS=n for the runs."""
import io, json, math, os, statistics, subprocess, sys, tempfile, time

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
# Our encoder's files, which every party decodes.
files = tempfile.TemporaryDirectory()
out = subprocess.run([exe, f"--benchmark_repetitions={reps}", "--benchmark_report_aggregates_only=true",
                      "--benchmark_format=json", "--benchmark_filter=Encode|Decode"], check=True,
                     capture_output=True, text=True, env=dict(os.environ, BENCH_SAVE_DIR=files.name)).stdout
ours = {}
for b in json.loads(out)["benchmarks"]:
    if b.get("aggregate_name") == "median":
        ours[b["run_name"].replace("BM_", "")] = b["real_time"]

vips = {}
if subprocess.run(["pkg-config", "--exists", "vips"]).returncode == 0:
    with tempfile.TemporaryDirectory() as tmp:
        prog = os.path.join(tmp, "vips_codecs")
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "vips"], check=True, capture_output=True,
                               text=True).stdout.split()
        subprocess.run(["cc", "-O2", "-o", prog, os.path.join(here, "vips_codecs.c")] + flags + ["-lm"], check=True)
        for line in subprocess.run([prog, str(reps), files.name], check=True, capture_output=True,
                                   text=True).stdout.split("\n"):
            if line.strip():
                k, v = line.split()
                vips[k] = float(v)
else:
    print("peers: libvips not found (scripts/setup --peers installs it)", file=sys.stderr)

try:
    from PIL import Image
    import PIL
    pil_version = PIL.__version__
except ImportError:
    print("peers: python3-pil not found (scripts/setup --peers installs it)", file=sys.stderr)
    Image = None
    pil_version = "absent"

# The picture of bench/io_codecs.cpp (FillPhoto), as RGB.
pillow = {}
if Image:
    px = bytearray(W * H * 3)
    for y in range(H):
        for x in range(W):
            o = 3 * (y * W + x)
            px[o] = (y // 3 + ((x * 7 + y * 13) % 17)) & 255
            px[o + 1] = int(128 + 100 * math.sin((x + 2 * y) / 40.0)) & 255
            px[o + 2] = (x // 4) & 255
    img = Image.frombytes("RGB", (W, H), bytes(px))
    jobs = [("TIFF", "TIFF", {"compression": "raw"}, "tif"), ("BMP", "BMP", {}, "bmp"),
            ("PNG", "PNG", {"compress_level": 5}, "png"), ("JPEG", "JPEG", {"quality": 80}, "jpg")]
    for name, fmt, opts, ext in jobs:
        path = os.path.join(files.name, "bench." + ext)
        if os.path.exists(path):
            data = open(path, "rb").read()
        else:
            buf = io.BytesIO()
            img.save(buf, fmt, **opts)
            data = buf.getvalue()
        pillow["Encode" + name] = median_ms(lambda: img.save(io.BytesIO(), fmt, **opts))
        pillow["Decode" + name] = median_ms(lambda: Image.open(io.BytesIO(data)).load())

print(f"codecs: medians of {reps} runs, 1024 x 768 RGB, to and from memory, Pillow {pil_version}, "
      f"libvips {'present' if vips else 'absent'}; ratio peer / ours; every decoder reads our encoder's file")
for name in ("TIFF", "BMP", "PNG", "JPEG"):
    for what in ("Encode", "Decode"):
        job = what + name
        mine = ours.get(job)
        if not mine:
            continue
        line = f"{what + ' ' + name:12s} ours {mine:7.2f} ms"
        for peer, res in (("Pillow", pillow), ("libvips", vips)):
            if job in res:
                line += f"   {peer} {res[job]:7.2f} ms {res[job] / mine:6.2f}"
        print(line)
