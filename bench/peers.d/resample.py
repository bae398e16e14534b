#!/usr/bin/env python3
"""The resampling part of bench/peers. Two modes:
  resample.py cv2 THREADS WORK REPS   times OpenCV on every job at THREADS
                                      ("all", "2" or "1") into WORK/cv2-THREADS.json
  resample.py report WORK REPS        prints the table from WORK: ours-T-S.json
                                      (bench_resample), vips-T.txt, cv2-T.json
Every job runs at the same size every call and at a new size each call (one
pixel less each way per call, over 16 sizes, as bench_resample's ...New
forms)."""
import json, os, statistics, sys, time

THREADS = ["all", "2", "1"]
CONFIGS = [(t, s) for t in THREADS for s in ("avx512", "avx2")]

# Every resampling job once: label, our benchmark (its ...New form is the
# headline), size, and the peers doing the same work: (shown name, cv2
# interpolation or vips job name).
JOBS = [
    ("Lanczos3 4000x3000 -> 1000x750", "Lanczos3Down", (4000, 3000, 1000, 750),
     [("cv2 LANCZOS4", "INTER_LANCZOS4"), ("cv2 AREA", "INTER_AREA"),
      ("vips reduce", "vips_reduce_lanczos3_down"), ("vips resize", "vips_resize_lanczos3_down")]),
    ("Lanczos3 1000x750 -> 4000x3000", "Lanczos3Up", (1000, 750, 4000, 3000),
     [("cv2 LANCZOS4", "INTER_LANCZOS4"), ("vips resize", "vips_resize_lanczos3_up")]),
    ("rfBicubic 2000x1500 -> 4000x3000", "BicubicUp2", (2000, 1500, 4000, 3000),
     [("cv2 CUBIC", "INTER_CUBIC"), ("vips resize", "vips_resize_cubic_up2")]),
    ("rfBicubic 2000x1500 -> 3999x2999", "BicubicUpOdd", (2000, 1500, 3999, 2999),
     [("cv2 CUBIC", "INTER_CUBIC"), ("vips resize", "vips_resize_cubic_up_odd")]),
    ("rfBilinear 4000x3000 -> 1000x750", "BilinearDown", (4000, 3000, 1000, 750),
     [("cv2 AREA", "INTER_AREA"), ("vips shrink", "vips_shrink_box_down")]),
    ("rfBilinear 4000x3000 -> 999x749", "BilinearDownOdd", (4000, 3000, 999, 749),
     [("cv2 AREA", "INTER_AREA"), ("vips shrink", "vips_shrink_box_down_odd")]),
    ("rfFastLinear 4000x3000 -> 2000x1500", "FastLinearDown", (4000, 3000, 2000, 1500),
     [("cv2 LINEAR", "INTER_LINEAR"), ("vips resize", "vips_resize_linear_down_half")]),
    ("rfFastLinear 4000x3000 -> 6000x4500", "FastLinearUp", (4000, 3000, 6000, 4500),
     [("cv2 LINEAR", "INTER_LINEAR"), ("vips resize", "vips_resize_linear_up")]),
    ("rfNone 4000x3000 -> 2000x1500", "NearestDown", (4000, 3000, 2000, 1500),
     [("cv2 NEAREST", "INTER_NEAREST"), ("vips resize", "vips_resize_nearest_down_half")]),
    ("rfNone 4000x3000 -> 6000x4500", "NearestUp", (4000, 3000, 6000, 4500),
     [("cv2 NEAREST", "INTER_NEAREST"), ("vips resize", "vips_resize_nearest_up")]),
]


def cv2_key(interp, size):
    sw, sh, dw, dh = size
    return f"{interp} {sw}x{sh} {dw}x{dh}"


def measure_cv2(threads, work, reps):
    res = {}
    try:
        import cv2, numpy as np
    except ImportError:
        print("peers: python3-opencv not found (scripts/setup --peers installs it)", file=sys.stderr)
        json.dump(res, open(os.path.join(work, f"cv2-{threads}.json"), "w"))
        return
    cv2.setNumThreads((os.cpu_count() or 1) if threads == "all" else int(threads))

    def pic(w, h):
        # The picture of bench_resample, as BGR rows.
        rng = np.random.default_rng(12345)
        x = np.arange(w)[None, :]; y = np.arange(h)[:, None]
        n = rng.integers(0, 16, size=(h, w))
        edge = (((x // 97) + (y // 89)) & 1).astype(bool)
        img = np.empty((h, w, 3), dtype=np.uint8)
        img[..., 0] = (x * 255 // w + n) & 0xFF
        img[..., 1] = (y * 255 // h + n) & 0xFF
        img[..., 2] = np.where(edge, 220 - n, 30 + n)
        return img

    def median_ms(fn):
        fn()
        t = []
        for _ in range(reps):
            t0 = time.perf_counter(); fn(); t.append((time.perf_counter() - t0) * 1000)
        return statistics.median(t)

    pics = {}
    for _, _, size, peers in JOBS:
        sw, sh, dw, dh = size
        if (sw, sh) not in pics:
            pics[(sw, sh)] = pic(sw, sh)
        src = pics[(sw, sh)]
        for _, interp in peers:
            if not interp.startswith("INTER_") or cv2_key(interp, size) in res:
                continue
            mode = getattr(cv2, interp)
            k = [0]
            def fresh():
                d = k[0] % 16; k[0] += 1
                cv2.resize(src, (dw - d, dh - d), interpolation=mode)
            same = median_ms(lambda: cv2.resize(src, (dw, dh), interpolation=mode))
            res[cv2_key(interp, size)] = (same, median_ms(fresh))
    json.dump(res, open(os.path.join(work, f"cv2-{threads}.json"), "w"))


def report(work, reps):
    def load(threads, simd):
        res = {}
        for b in json.load(open(os.path.join(work, f"ours-{threads}-{simd}.json")))["benchmarks"]:
            if b.get("aggregate_name") == "median":
                res[b["run_name"].split("/")[0].replace("BM_", "")] = b["real_time"]  # milliseconds
        return res
    ours = {c: load(*c) for c in CONFIGS}
    # peer[threads][job] = (same size ms, new size ms)
    peer = {}
    for threads in THREADS:
        p = {}
        path = os.path.join(work, f"vips-{threads}.txt")
        if os.path.exists(path):
            for line in open(path):
                k, same, new = line.split()
                p[k] = (float(same), float(new))
        path = os.path.join(work, f"cv2-{threads}.json")
        if os.path.exists(path):
            p.update({k: tuple(v) for k, v in json.load(open(path)).items()})
        peer[threads] = p

    def times(interp, size, threads):
        return peer[threads].get(cv2_key(interp, size) if interp.startswith("INTER_") else interp)

    print(f"medians of {reps} runs, output allocation included; ours in ms, peers as peer time / ours (above 1: we"
          " are faster); a new size each call (the headline), the same size every call in brackets; each thread"
          " count's rows measured together (ours on both paths, then libvips, then OpenCV)")
    fmt = lambda v: f"{v:7.2f}" if v is not None else "      -"
    for label, name, size, peers in JOBS:
        print(label)
        for threads, simd in CONFIGS:
            r = ours[(threads, simd)]
            new, same = r.get(name + "New"), r.get(name)
            if new is None and same is None:
                continue
            line = f"  {threads:>3s} threads {simd:6s} ours {fmt(new)} ({fmt(same)})"
            for shown, interp in peers:
                pt = times(interp, size, threads)
                if pt is None:
                    continue
                rn = f"{pt[1] / new:5.2f}" if new else "    -"
                rs = f"{pt[0] / same:5.2f}" if same else "    -"
                line += f"  {shown} {rn} ({rs})"
            print(line)
    print("peers' own times (ms, new size (same size)):")
    for label, name, size, peers in JOBS:
        for shown, interp in peers:
            cells = []
            for threads in THREADS:
                pt = times(interp, size, threads)
                if pt:
                    cells.append(f"{threads:>3s} threads {pt[1]:8.2f} ({pt[0]:8.2f})")
            if cells:
                print(f"  {label:36s} {shown:12s} " + "   ".join(cells))
    for threads, simd in CONFIGS:
        r = ours[(threads, simd)]
        if "TapsLanczos3Down" in r and "Lanczos3DownNew" in r:
            print(f"tables of 4000x3000 -> 1000x750 Lanczos3, {threads} threads {simd}: {r['TapsLanczos3Down']:.2f} ms"
                  f" = {r['TapsLanczos3Down'] / r['Lanczos3DownNew']:.2f} of the resampling")
    r = ours[CONFIGS[0]]
    if "Memcpy" in r:
        mc = r["Memcpy"]
        rate = 2 * 4000 * 3000 * 3 / (mc / 1000) / 1e9
        print(f"memcpy 36 MB (new block): {mc:.2f} ms, {rate:.2f} GB/s read+written; at {CONFIGS[0][0]} threads"
              f" {CONFIGS[0][1]}:")
        for label, name, (sw, sh, dw, dh), _ in JOBS:
            if name in r and name.startswith(("FastLinear", "Nearest")):
                rr = (sw * sh + dw * dh) * 3 / (r[name] / 1000) / 1e9
                print(f"  {label:36s} {rr:6.2f} GB/s read+written = {rr / rate:5.2f} x memcpy rate")


if __name__ == "__main__":
    if sys.argv[1] == "cv2":
        measure_cv2(sys.argv[2], sys.argv[3], int(sys.argv[4]))
    else:
        report(sys.argv[2], int(sys.argv[3]))
