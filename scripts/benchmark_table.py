"""Turns one Google Benchmark JSON run (with repetitions) into the Markdown
table of docs/performance.md: the median time of every benchmark (per item
where the benchmark counts items, so per point), then the ratio of each peer
to our code for the pairs that measure the same work on the same inputs.

Usage: benchmark_table.py NAME RUN.json   (called by scripts/tables)
"""
import json
import sys

# Which benchmarks of a program measure the same work: ours first, then the
# peer. The ratio is the peer's time over ours (above 1: we are faster).
PAIRS = {
    "core": [("Tervala_GeodeticToGeocentric", "GeographicLib_GeocentricForward"),
             ("Tervala_GeodeticToGeocentric", "PROJ_CartForward"),
             ("Tervala_GeocentricToGeodetic", "GeographicLib_GeocentricReverse"),
             ("Tervala_GeocentricToGeodetic", "PROJ_CartInverse")],
    "projection": [("TervalaForward/TM", "GeographicLibForward/TM"), ("TervalaForward/TM", "ProjTransForward/TM"),
                   ("TervalaForward/TM", "ProjGenericForward/TM"), ("TervalaInverse/TM", "GeographicLibReverse/TM"),
                   ("TervalaInverse/TM", "ProjTransInverse/TM"), ("TervalaInverse/TM", "ProjGenericInverse/TM"),
                   ("TervalaForward/UTM", "GeographicLibForward/UTM"), ("TervalaForward/UTM", "ProjTransForward/UTM"),
                   ("TervalaForward/UTM", "ProjGenericForward/UTM"), ("TervalaInverse/UTM", "GeographicLibReverse/UTM"),
                   ("TervalaInverse/UTM", "ProjTransInverse/UTM"), ("TervalaInverse/UTM", "ProjGenericInverse/UTM"),
                   # Krueger's series (the value types' default) against the legacy series and the peers.
                   ("KrugerForward/TM", "TervalaForward/TM"), ("KrugerForward/TM", "LegacyTypeForward/TM"),
                   ("KrugerForward/TM", "GeographicLibForward/TM"), ("KrugerForward/TM", "ProjTransForward/TM"),
                   ("KrugerForward/TM", "ProjGenericForward/TM"),
                   ("KrugerInverse/TM", "TervalaInverse/TM"), ("KrugerInverse/TM", "LegacyTypeInverse/TM"),
                   ("KrugerInverse/TM", "GeographicLibReverse/TM"), ("KrugerInverse/TM", "ProjTransInverse/TM"),
                   ("KrugerInverse/TM", "ProjGenericInverse/TM"),
                   ("KrugerForward/UTM", "TervalaForward/UTM"), ("KrugerForward/UTM", "LegacyTypeForward/UTM"),
                   ("KrugerForward/UTM", "GeographicLibForward/UTM"), ("KrugerForward/UTM", "ProjTransForward/UTM"),
                   ("KrugerForward/UTM", "ProjGenericForward/UTM"),
                   ("KrugerInverse/UTM", "TervalaInverse/UTM"), ("KrugerInverse/UTM", "LegacyTypeInverse/UTM"),
                   ("KrugerInverse/UTM", "GeographicLibReverse/UTM"), ("KrugerInverse/UTM", "ProjTransInverse/UTM"),
                   ("KrugerInverse/UTM", "ProjGenericInverse/UTM")],
    "datum": [("Tervala_BursaWolf", "PROJ_HelmertExact"), ("Tervala_InvBursaWolf", "PROJ_HelmertExactInverse"),
              ("Tervala_MolodenskyBadekas", "PROJ_MoloBadekas"),
              ("Tervala_AbridgedMolodensky", "PROJ_MolodenskyAbridged"),
              ("Tervala_BursaWolf_NewParametersEveryCall", "PROJ_HelmertExact"),
              ("Tervala_InvBursaWolf_NewParametersEveryCall", "PROJ_HelmertExactInverse")],
    "egm96": [("Tervala_EGM96GeoidHeight", "GeographicLib_SphericalHarmonicPair")],
    "grid": [("Tervala_KEGMGeoidHeight", "GeographicLib_GeoidCubic"),
             ("Tervala_KEGMGeoidHeight", "GeographicLib_GeoidBilinear"),
             ("Tervala_KEGMGeoidHeight", "PROJ_VgridshiftGtx")],
}

TO_NS = {"ns": 1.0, "us": 1e3, "ms": 1e6, "s": 1e9}


def readable(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("µs", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3g} {unit}"
    return f"{ns:.3g} ns"


def main():
    name, path = sys.argv[1], sys.argv[2]
    with open(path) as f:
        run = json.load(f)
    medians = {}
    for b in run["benchmarks"]:
        if b.get("aggregate_name") != "median":
            continue
        label = b["run_name"]
        if "items_per_second" in b and b["items_per_second"] > 0:
            medians[label] = (1e9 / b["items_per_second"], "per item (point)")
        else:
            medians[label] = (b["cpu_time"] * TO_NS[b["time_unit"]], "per iteration")
    ctx = run.get("context", {})
    print(f"bench_{name}: median of 3 repetitions, CPU time; {ctx.get('num_cpus', '?')} CPUs, "
          f"load average {', '.join(f'{x:.2f}' for x in ctx.get('load_avg', []))}")
    print()
    print("| benchmark | median | |")
    print("|---|---|---|")
    for label, (ns, what) in medians.items():
        print(f"| `{label}` | {readable(ns)} | {what} |")
    pairs = [(a, b) for a, b in PAIRS.get(name, []) if a in medians and b in medians]
    if pairs:
        print()
        print("| ours | peer | peer time / ours |")
        print("|---|---|---|")
        for a, b in pairs:
            r = medians[b][0] / medians[a][0]
            verdict = f"{r:.2f}× faster" if r >= 1 else f"{1 / r:.2f}× slower"
            print(f"| `{a}` | `{b}` | {r:.2f} ({verdict}) |")


if __name__ == "__main__":
    main()
