#!/usr/bin/python3
"""The value types' methods against the legacy members and array functions on
the same inputs in the same run: per call for Python numbers, per point for
arrays (on one thread and on every core). Each pair is checked to give the
same doubles before it is timed, then timed in alternating rounds; the
ratio is legacy time / modern time per round, reported as the median and
the range over the rounds.

Run from the project root after building:
    PYTHONPATH=build/python /usr/bin/python3 python/bench/bench_modern.py
"""

import argparse
import os
import statistics
import sys
import tempfile
import time

import numpy as np

import tervala

GRS80 = (6378137.0, 298.257222101)
GRID = (38.0, 127.0, 600000.0, 200000.0, 1.0)
SEVEN = (-115.8, 474.99, 674.11, -2.4, 1.16, -2.31, -1.63)


def interleaved(modern, legacy, repeat):
    """Times the pair `repeat` times, alternating which runs first, so both see
    the same load: (modern seconds, legacy seconds) per round."""
    rounds = []
    for r in range(repeat):
        order = (modern, legacy) if r % 2 == 0 else (legacy, modern)
        times = {}
        for run in order:
            start = time.perf_counter()
            run()
            times[run] = time.perf_counter() - start
        rounds.append((times[modern], times[legacy]))
    return rounds


def same(a, b):
    return all(np.array_equal(np.asarray(x).view(np.uint64), np.asarray(y).view(np.uint64)) for x, y in zip(a, b))


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--points", type=int, default=2_000_000, help="points per array call (default 2*10^6)")
    parser.add_argument("--calls", type=int, default=200_000, help="calls of the per-call loops (default 2*10^5)")
    parser.add_argument("--repeat", type=int, default=5, help="timed runs per entry, median reported (default 5)")
    parser.add_argument("--egm96", default=os.environ.get("TERVALA_TEST_EGM96_DIR", "/work/shared/data/egm96"),
                        help="folder of EGM96.dat and CORRCOEF.dat (the EGM96 rows are left out without it)")
    args = parser.parse_args()

    rng = np.random.default_rng(42)
    lat = rng.uniform(-80.0, 80.0, args.points)
    lon = GRID[1] + rng.uniform(-3.0, 3.0, args.points)
    h = rng.uniform(0.0, 1000.0, args.points)
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    t.SetParameters_Bursa_WolfModel(*SEVEN)
    grs80 = tervala.Ellipsoid(*GRS80)
    tm = tervala.TransverseMercator(grs80, *GRID, method="legacy")  # the members' series: same doubles
    helmert = tervala.Helmert7(**dict(zip(["tx", "ty", "tz", "s", "rx", "ry", "rz"], SEVEN)),
                               convention="coordinate_frame")
    x, y, z = grs80.to_geocentric(lat, lon, h)

    # (name, modern, legacy, points per run, check) with check the pair of results to compare
    rows = [
        ("TM forward, arrays, all cores", lambda: tm.forward(lat, lon), lambda: t.geodetic_to_tm(*GRID, lat, lon),
         args.points, lambda m, l: same(m, l[::-1])),
        ("TM forward, arrays, threads=1", lambda: tm.forward(lat, lon, threads=1),
         lambda: t.geodetic_to_tm(*GRID, lat, lon, threads=1), args.points, lambda m, l: same(m, l[::-1])),
        ("TM inverse, arrays, all cores", lambda: tm.inverse(*tm.forward(lat, lon)),
         lambda: t.tm_to_geodetic(*GRID, *t.geodetic_to_tm(*GRID, lat, lon)), args.points, same),
        ("geodetic -> geocentric, arrays, all cores", lambda: grs80.to_geocentric(lat, lon, h),
         lambda: t.geodetic_to_geocentric(lat, lon, h), args.points, same),
        ("geodetic -> geocentric, arrays, threads=1", lambda: grs80.to_geocentric(lat, lon, h, threads=1),
         lambda: t.geodetic_to_geocentric(lat, lon, h, threads=1), args.points, same),
        ("geocentric -> geodetic, arrays, all cores", lambda: grs80.to_geodetic(x, y, z),
         lambda: t.geocentric_to_geodetic(x, y, z), args.points, same),
        ("seven parameters forward, arrays, all cores", lambda: helmert.forward(x, y, z),
         lambda: t.bursa_wolf(x, y, z), args.points, same),
    ]

    la, lo = float(lat[0]), float(lon[0])
    n = args.calls

    def loop(call):
        def run():
            for _ in range(n):
                call()
        return run

    e0, n0 = tm.forward(la, lo)
    x0, y0, z0 = grs80.to_geocentric(la, lo, 10.0)
    utm = tervala.Utm(52, ellipsoid=grs80, method="legacy")
    ue, un = utm.forward(la, lo)
    rows += [
        ("TM forward, one point per call", loop(lambda: tm.forward(la, lo)),
         loop(lambda: t.Geodetic_to_TM(38.0, 127.0, 600000.0, 200000.0, 1.0, la, lo, 0.0)), n,
         lambda m, l: True),
        ("TM forward, one point per call, xy=True", loop(lambda: tm.forward(lo, la, xy=True)),
         loop(lambda: t.Geodetic_to_TM(38.0, 127.0, 600000.0, 200000.0, 1.0, la, lo, 0.0)), n,
         lambda m, l: True),
        ("TM inverse, one point per call", loop(lambda: tm.inverse(e0, n0)),
         loop(lambda: t.TM_to_Geodetic(38.0, 127.0, 600000.0, 200000.0, 1.0, n0, e0, 0.0)), n,
         lambda m, l: True),
        ("UTM forward, one point per call", loop(lambda: utm.forward(la, lo)),
         loop(lambda: t.Geodetic_to_UTM(0, 129.0, la, lo, 0.0)), n, lambda m, l: True),
        ("UTM inverse, one point per call", loop(lambda: utm.inverse(ue, un)),
         loop(lambda: t.UTM_to_Geodetic(0, 129.0, un, ue, 0.0)), n, lambda m, l: True),
        ("geodetic -> geocentric, one point per call", loop(lambda: grs80.to_geocentric(la, lo, 10.0)),
         loop(lambda: t.Geodetic_to_Geocentric(la, lo, 10.0)), n, lambda m, l: True),
        ("geocentric -> geodetic, one point per call", loop(lambda: grs80.to_geodetic(x0, y0, z0)),
         loop(lambda: t.Geocentric_to_Geodetic(x0, y0, z0)), n, lambda m, l: True),
        ("seven parameters forward, one point per call", loop(lambda: helmert.forward(x0, y0, z0)),
         loop(lambda: t.Bursa_WolfModel(x0, y0, z0)), n, lambda m, l: True),
    ]
    assert tm.forward(la, lo) == t.Geodetic_to_TM(*GRID, la, lo, 0.0)[1::-1]
    assert tm.forward(lo, la, xy=True) == tm.forward(la, lo)
    assert tm.inverse(e0, n0) == t.TM_to_Geodetic(*GRID, n0, e0, 0.0)[:2]
    assert (ue, un) == t.Geodetic_to_UTM(0, 129.0, la, lo, 0.0)[1::-1]
    assert utm.inverse(ue, un) == t.UTM_to_Geodetic(0, 129.0, un, ue, 0.0)[:2]
    assert (x0, y0, z0) == t.Geodetic_to_Geocentric(la, lo, 10.0)
    assert grs80.to_geodetic(x0, y0, z0) == t.Geocentric_to_Geodetic(x0, y0, z0)
    assert helmert.forward(x0, y0, z0) == t.Bursa_WolfModel(x0, y0, z0)

    with tempfile.TemporaryDirectory() as folder:
        # A 1-degree regional grid under the name LoadKEGMData(14) reads.
        values = rng.normal(20.0, 5.0, (61, 61)).astype("<f4")
        with open(os.path.join(folder, "kgeoid14.dat"), "wb") as f:
            np.array([60.0, 100.0, 1.0, 1.0], dtype="<f8").tofile(f)
            np.array(values.shape, dtype="<i4").tofile(f)
            values.tofile(f)
        grid = tervala.GeoidGrid(os.path.join(folder, "kgeoid14.dat"))
        tervala.Tervala.SetDataFolder(folder)
        t.LoadKEGMData(14)
        glat, glon = rng.uniform(5.0, 55.0, args.points), rng.uniform(105.0, 155.0, args.points)
        rows.append(("grid geoid height, arrays, all cores", lambda: grid.height(glat, glon),
                     lambda: t.kegm_geoid_height(glat, glon), args.points, lambda m, l: same([m], [l])))
        ga, go = float(glat[0]), float(glon[0])
        assert grid.height(ga, go) == t.KEGMGeoidHeight(ga, go)
        rows.append(("grid geoid height, one point per call", loop(lambda: grid.height(ga, go)),
                     loop(lambda: t.KEGMGeoidHeight(ga, go)), n, lambda m, l: True))
        if os.path.isfile(os.path.join(args.egm96, "EGM96.dat")):
            model = tervala.Egm96Model(args.egm96)
            tervala.Tervala.SetDataFolder(args.egm96)
            t.LoadEGMData()
            elat, elon = lat[:2000], lon[:2000]
            rows.append(("EGM96 geoid height, arrays, all cores", lambda: model.height(elat, elon),
                         lambda: t.egm96_geoid_height(elat, elon), 2000, lambda m, l: same([m], [l])))
        else:
            print(f"no EGM96.dat in {args.egm96}: the EGM96 row is left out", file=sys.stderr)

        print(f"{args.repeat} alternating rounds per entry; {os.cpu_count()} cores; "
              "ratio = legacy time / modern time (median, and lowest..highest round)")
        print(f"{'entry':<48} {'modern ns':>10} {'legacy ns':>10} {'ratio':>7}  {'range':>11}")
        for name, modern, old, count, check in rows:
            assert check(modern(), old()), f"{name}: the modern and legacy results differ"
            rounds = interleaved(modern, old, args.repeat)
            m = statistics.median(r[0] for r in rounds) / count
            o = statistics.median(r[1] for r in rounds) / count
            ratios = [r[1] / r[0] for r in rounds]
            print(f"{name:<48} {m * 1e9:>10.1f} {o * 1e9:>10.1f} {statistics.median(ratios):>7.2f}  "
                  f"{min(ratios):>5.2f}..{max(ratios):<5.2f}")

if __name__ == "__main__":
    main()
