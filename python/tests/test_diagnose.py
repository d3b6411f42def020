"""`tervala diagnose`: common points made by PROJ's cct from known seven parameters, the parameters then
stated wrongly on purpose (convention, direction, units, rotation form); the tool must name the reading
that was meant, and its corrected PROJ string must reproduce the points through cct. The same logic from
Python (tervala.diagnose) against points made by pyproj."""

import os
import shutil
import subprocess

import numpy as np
import pytest

import tervala

ARCSEC_PER_RADIAN = 180 * 3600 / np.pi
# tx ty tz (m), s (ppm), rx ry rz (arc-seconds): rotations of several arc-seconds, so that the exact and
# small-angle matrices differ by centimetres at the Earth's surface.
TRUE = dict(x=-446.448, y=125.157, z=-542.060, s=20.4894, rx=-4.1502, ry=6.2470, rz=-8.8421)


def tool():
    path = os.environ.get("TERVALA_TOOL")
    if not path or not os.path.isfile(path):
        pytest.skip("the tervala tool is not built (TERVALA_TOOL)")
    if shutil.which("cct") is None:
        pytest.skip("PROJ's cct is not installed (Debian proj-bin)")
    return path


def cct(proj, points):
    text = "".join(f"{x!r} {y!r} {z!r}\n" for x, y, z in points)
    out = subprocess.run(["cct", "-d", "6", *proj.split()], input=text, capture_output=True, text=True, check=True)
    return np.array([[float(v) for v in line.split()[:3]] for line in out.stdout.splitlines() if line.strip()])


def proj_string(p, convention, exact=False, inverse=False):
    return (f"+proj=helmert +x={p['x']} +y={p['y']} +z={p['z']} +s={p['s']} +rx={p['rx']} +ry={p['ry']} "
            f"+rz={p['rz']} +convention={convention}" + (" +exact" if exact else "") + (" +inv" if inverse else ""))


def source_points():
    rng = np.random.default_rng(4)
    lat, lon = np.radians(rng.uniform(35, 38, 6)), np.radians(rng.uniform(126, 129, 6))
    h = rng.uniform(0, 500, 6)
    a, f = 6378137.0, 1 / 298.257222101
    e2 = f * (2 - f)
    n = a / np.sqrt(1 - e2 * np.sin(lat) ** 2)
    return np.c_[(n + h) * np.cos(lat) * np.cos(lon), (n + h) * np.cos(lat) * np.sin(lon),
                 (n * (1 - e2) + h) * np.sin(lat)]


# How the points were made (convention, exact, inverse), how the parameters are stated (values changed by
# `state`, convention and rotation form as told to the tool), and the reading the tool must find.
CASES = [
    ("as stated", ("position_vector", False, False), lambda p: p, "position-vector", "small-angle",
     "position-vector, small-angle (as stated)"),
    ("convention swapped", ("position_vector", False, False), lambda p: p, "coordinate-frame", "small-angle",
     "position-vector, small-angle"),
    ("opposite direction", ("coordinate_frame", False, True), lambda p: p, "coordinate-frame", "small-angle",
     "coordinate-frame, small-angle, opposite direction"),
    ("rotations in radians", ("coordinate_frame", False, False),
     lambda p: {**p, **{k: p[k] / ARCSEC_PER_RADIAN for k in ("rx", "ry", "rz")}}, "coordinate-frame",
     "small-angle", "coordinate-frame, small-angle, rotations in radians"),
    ("scale as factor", ("position_vector", False, False), lambda p: {**p, "s": 1 + p["s"] * 1e-6},
     "position-vector", "small-angle", "position-vector, small-angle, scale as factor"),
    ("exact rotations", ("coordinate_frame", True, False), lambda p: p, "coordinate-frame", "small-angle",
     "coordinate-frame, exact"),
    ("small-angle stated as exact", ("position_vector", False, False), lambda p: p, "position-vector", "exact",
     "position-vector, small-angle"),
    ("two at once", ("position_vector", False, True),
     lambda p: {**p, **{k: p[k] / ARCSEC_PER_RADIAN for k in ("rx", "ry", "rz")}}, "coordinate-frame",
     "small-angle", "position-vector, small-angle, opposite direction, rotations in radians"),
]


@pytest.mark.parametrize("name, made, state, convention, rotations, expected", CASES, ids=[c[0] for c in CASES])
def test_diagnose_finds_the_reading_the_points_were_made_with(scratch, name, made, state, convention, rotations,
                                                              expected):
    path = tool()
    if made[2]:  # parameters for the opposite direction: the source points made from the target points
        dst = source_points()
        src = cct(proj_string(TRUE, made[0], exact=made[1]), dst)
    else:
        src = source_points()
        dst = cct(proj_string(TRUE, made[0], exact=made[1]), src)
    points = scratch / "points.txt"
    points.write_text("".join(f"P{k} " + " ".join(repr(float(v)) for v in (*s, *d)) + "\n"
                              for k, (s, d) in enumerate(zip(src, dst))))
    p = state(TRUE)
    values = ",".join(repr(float(p[k])) for k in ("x", "y", "z", "s", "rx", "ry", "rz"))
    run = subprocess.run([path, "diagnose", f"--params={values}", "--convention", convention, "--rotations",
                          rotations, str(points)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    best = next(line for line in run.stdout.splitlines() if line.startswith("Best reading: "))
    assert best.startswith(f"Best reading: {expected}, RMS 0.0000 m"), run.stdout
    # The corrected line, given to helmert7, gives the target points; so does the PROJ string through cct
    # where it is a forward set (PROJ's +inv of a small-angle set is the transposed matrix, not the inverse).
    lines = run.stdout.strip().splitlines()
    options = next(line for line in lines if line.strip().startswith("--params ")).split()
    src_text = "".join(f"{x!r} {y!r} {z!r}\n" for x, y, z in src)
    out = subprocess.run([path, "helmert7", *options, "-p", "6"], input=src_text, capture_output=True, text=True,
                         check=True)
    applied = np.array([[float(v) for v in line.split()] for line in out.stdout.splitlines()])
    assert np.abs(applied - dst).max() < 2e-5, options
    corrected = lines[-1].strip()
    assert corrected.startswith("+proj=helmert ")
    if not made[2]:
        assert np.abs(cct(corrected, src) - dst).max() < 2e-5, corrected


@pytest.mark.parametrize("args, message", [
    (["--params=1,2,3,4,5,6"], "--params"),
    (["--params=1,2,3,4,5,6,7"], "--convention"),
])
def test_diagnose_refuses_incomplete_parameters(scratch, args, message):
    path = tool()
    points = scratch / "points.txt"
    points.write_text("P1 1 2 3 4 5 6\n")
    run = subprocess.run([path, "diagnose", *args, str(points)], capture_output=True, text=True)
    assert run.returncode == 2 and message in run.stderr, run.stderr


# ---- The same logic from Python: tervala.diagnose, checked against points made by pyproj ----------------

# tx ty tz (m), s (ppm), rx ry rz (arc-seconds): of the size of a national datum shift.
PUBLISHED = (-446.448, 125.157, -542.060, 20.4894, -0.1502, -0.2470, -0.8421)


def pyproj_points(convention):
    """Six points on GRS80 and their images under PROJ's helmert (small-angle rotations, as published sets)."""
    pyproj = pytest.importorskip("pyproj")
    lat, lon, h = np.meshgrid([51.0, 53.5], [-4.0, -1.0, 1.5], [80.0])
    to_xyz = pyproj.Transformer.from_pipeline("+proj=cart +ellps=GRS80")
    x, y, z = to_xyz.transform(lon.ravel(), lat.ravel(), h.ravel())
    tx, ty, tz, s, rx, ry, rz = PUBLISHED
    helmert = pyproj.Transformer.from_pipeline(
        f"+proj=helmert +x={tx} +y={ty} +z={tz} +s={s} +rx={rx} +ry={ry} +rz={rz} +convention={convention}")
    return np.c_[x, y, z], np.c_[helmert.transform(x, y, z)]


def test_python_diagnose_reads_parameters_misstated_three_ways():
    """Position-vector parameters published as coordinate-frame, with the rotations in radians and the scale as
    a factor: the best reading undoes all three and fits PROJ's points to the micrometre."""
    source, target = pyproj_points("position_vector")
    tx, ty, tz, s, rx, ry, rz = PUBLISHED
    per_radian = 180 * 3600 / np.pi
    stated = [tx, ty, tz, 1 + s * 1e-6, rx / per_radian, ry / per_radian, rz / per_radian]
    readings = tervala.diagnose(stated, source, target, convention="coordinate_frame")
    best = readings[0]
    assert (best.convention, best.rotations, best.opposite, best.radians, best.factor, best.as_stated) == \
        ("position_vector", "small_angle", False, True, True, False)
    assert best.rms < 1e-6 and best.largest < 1e-6
    assert tuple(best.parameters) == pytest.approx(PUBLISHED, rel=1e-9)
    # Best first: readings within 0.1 mm of each other are ordered by how little they change.
    assert all(b.rms > a.rms - 1e-4 for a, b in zip(readings, readings[1:]))
    as_stated = [r for r in readings if r.as_stated]
    assert len(as_stated) == 1 and as_stated[0].rms > 100  # the set as printed misses by hundreds of metres
    # The corrected set applied by the library gives PROJ's points.
    again = tervala.Helmert7(**best.parameters._asdict(), convention=best.convention, rotations=best.rotations)
    assert np.c_[again.forward(*source.T)] == pytest.approx(target, abs=1e-6)


def test_python_diagnose_names_the_opposite_direction():
    """Coordinate-frame parameters that map the target to the source (published for the other direction)."""
    target, source = pyproj_points("coordinate_frame")  # the set maps `target` to `source`
    best = tervala.diagnose(PUBLISHED, source, target, convention="coordinate_frame")[0]
    assert (best.convention, best.opposite, best.radians, best.factor) == ("coordinate_frame", True, False, False)
    assert best.rms < 1e-6


def test_python_diagnose_refusals():
    source, target = pyproj_points("position_vector")
    for params, message in [(PUBLISHED[:6], "7 values"), ((np.nan,) + PUBLISHED[1:], "finite")]:
        with pytest.raises(ValueError, match=message):
            tervala.diagnose(params, source, target, convention="position_vector")
    with pytest.raises(ValueError, match="same number of points"):
        tervala.diagnose(PUBLISHED, source, target[:3], convention="position_vector")
    with pytest.raises(ValueError, match="rotations"):
        tervala.diagnose(PUBLISHED, source, target, convention="position_vector", rotations="radians")
    with pytest.raises(ValueError):
        tervala.diagnose(PUBLISHED, source, target, convention="clockwise")
