#!/usr/bin/env python3
"""Rotation and blur of bench/rotate_blur.cpp beside the peers: OpenCV
(cv2.warpAffine on the expanded canvas, cv2.GaussianBlur, all cores), libvips
(vips_rotate, vips_gaussblur, in memory through peers.d/vips_rotate_blur.c)
and ImageMagick (convert -rotate, its three-shear rotation; the time of
reading the same picture from an MPC cache file is subtracted). Prints
medians and ratios; output allocation is included for every party.
Usage: rotate_blur.py [build-dir] (default build-rel), REPS=n for the runs."""
import json, math, os, shutil, statistics, subprocess, sys, tempfile, time

here = os.path.dirname(os.path.abspath(__file__))
root = os.path.dirname(os.path.dirname(here))
build = sys.argv[1] if len(sys.argv) > 1 else os.path.join(root, "build-rel")
reps = int(os.environ.get("REPS", "9"))
W, H = 4000, 3000


def median_ms(fn, n=reps):
    fn()
    t = []
    for _ in range(n):
        t0 = time.perf_counter()
        fn()
        t.append((time.perf_counter() - t0) * 1000)
    return statistics.median(t)


def ours():
    exe = os.path.join(build, "bench", "bench_rotate_blur")
    if not os.access(exe, os.X_OK):
        subprocess.run(["cmake", "-S", root, "-B", build, "-G", "Ninja", "-DCMAKE_BUILD_TYPE=Release",
                        "-DIMAGING_SANITIZE=OFF", "-DIMAGING_TESTS=OFF", "-DIMAGING_EXAMPLES=OFF"],
                       check=True, stdout=subprocess.DEVNULL)
        subprocess.run(["cmake", "--build", build, "-j3", "--target", "bench_rotate_blur"], check=True,
                       stdout=subprocess.DEVNULL)
    out = subprocess.run([exe, f"--benchmark_repetitions={reps}", "--benchmark_report_aggregates_only=true",
                          "--benchmark_format=json"], check=True, capture_output=True, text=True).stdout
    res = {}
    for b in json.loads(out)["benchmarks"]:
        if b.get("aggregate_name") == "median":
            res[b["run_name"].replace("BM_", "").replace("/real_time", "")] = b["real_time"]
    return res


def picture():
    import numpy as np
    y, x = np.mgrid[0:H, 0:W]
    s = np.random.default_rng(2024).integers(0, 8, size=(H, W))
    img = np.empty((H, W, 3), dtype=np.uint8)
    img[..., 0] = (x * 255 // W + s) & 0xFF
    img[..., 1] = (y * 255 // H + s) & 0xFF
    img[..., 2] = np.where(((x + y) // 61) % 2 == 1, 200, 40) + s
    return img


def opencv(img):
    import cv2
    cv2.setNumThreads(os.cpu_count() or 1)
    res = {}
    c, s = math.cos(math.radians(30)), math.sin(math.radians(30))
    nw, nh = round(c * W + s * H), round(s * W + c * H)
    m = cv2.getRotationMatrix2D(((W - 1) / 2, (H - 1) / 2), 30, 1.0)
    m[0, 2] += (nw - 1) / 2 - (W - 1) / 2
    m[1, 2] += (nh - 1) / 2 - (H - 1) / 2
    for name, flag in (("bilinear", cv2.INTER_LINEAR), ("bicubic", cv2.INTER_CUBIC)):
        res["cv2_warpAffine_" + name] = median_ms(
            lambda: cv2.warpAffine(img, m, (nw, nh), flags=flag, borderValue=(255, 255, 255)))
    grey = img[..., 1].copy()
    for sigma in (3, 10, 50):
        res[f"cv2_GaussianBlur_{sigma}"] = median_ms(lambda: cv2.GaussianBlur(grey, (0, 0), sigma))
    return res


def vips(work):
    try:
        flags = subprocess.run(["pkg-config", "--cflags", "--libs", "vips"], check=True, capture_output=True,
                               text=True).stdout.split()
    except (OSError, subprocess.CalledProcessError):
        print("peers: libvips not found (scripts/setup --peers installs it)", file=sys.stderr)
        return {}
    exe = os.path.join(work, "vips_rotate_blur")
    subprocess.run(["cc", "-O2", "-o", exe, os.path.join(here, "vips_rotate_blur.c")] + flags, check=True)
    out = subprocess.run([exe, str(reps)], check=True, capture_output=True, text=True).stdout
    return {k: float(v) for k, v in (line.split() for line in out.splitlines())}


def magick(img, work):
    if not shutil.which("convert"):
        print("peers: ImageMagick not found (scripts/setup --peers installs it)", file=sys.stderr)
        return {}
    ppm = os.path.join(work, "picture.ppm")
    with open(ppm, "wb") as f:
        f.write(b"P6 %d %d 255\n" % (W, H))
        f.write(img[..., ::-1].tobytes())
    mpc = os.path.join(work, "picture.mpc")
    subprocess.run(["convert", ppm, mpc], check=True)
    n = max(3, reps // 2)
    read = median_ms(lambda: subprocess.run(["convert", mpc, "null:"], check=True), n)
    rot = median_ms(lambda: subprocess.run(["convert", mpc, "-background", "white", "-rotate", "30", "null:"],
                                           check=True), n)
    return {"magick_rotate": rot - read}


def main():
    mine = ours()
    peers = {}
    with tempfile.TemporaryDirectory() as work:
        try:
            img = picture()
            peers.update(opencv(img))
            peers.update(magick(img, work))
        except ImportError:
            print("peers: python3-opencv / numpy not found (scripts/setup --peers installs them)", file=sys.stderr)
        peers.update(vips(work))

    def show(label, key, others):
        if key not in mine:
            return
        m = mine[key]
        print(f"{label:34s} ours {m:9.2f} ms")
        for o in others:
            if o in peers:
                print(f"{'':34s} {o:28s} {peers[o]:9.2f} ms   ratio peer/ours {peers[o] / m:6.2f}")

    print(f"medians of {reps} runs, output allocation included, all cores")
    show("rotate 30 bilinear 4000x3000", "RotateBilinear30/1", ["cv2_warpAffine_bilinear", "vips_rotate_bilinear"])
    show("rotate 30 bicubic 4000x3000", "RotateBicubic30/1", ["cv2_warpAffine_bicubic", "vips_rotate_bicubic"])
    show("rotate 30 three shears 4000x3000", "RotateShear30/1", ["magick_rotate"])
    for sigma in (3, 10, 50):
        show(f"gaussian blur sigma {sigma} 8-bit", f"GaussBlur/1/{sigma}",
             [f"cv2_GaussianBlur_{sigma}", f"vips_gaussblur_{sigma}"])
    for key in ("RotateBilinear30/0", "RotateBicubic30/0", "GaussBlur/0/3", "GaussBlur/0/50"):
        if key in mine:
            print(f"{'scalar path ' + key:34s} ours {mine[key]:9.2f} ms")


if __name__ == "__main__":
    main()
