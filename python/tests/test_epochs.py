"""NTv2 grid shifts (and, below, the time-dependent Helmert transformation)
from Python: arrays against pyproj's hgridshift on the grids of proj-data,
refusals of broken files, pickling."""

import os
import pickle
import shutil
import subprocess

import numpy as np
import pytest

import tervala

BETA = "/usr/share/proj/BETA2007.gsb"
NEED_BETA = pytest.mark.skipif(not os.path.exists(BETA), reason=BETA + " absent (Debian proj-data)")


@NEED_BETA
def test_grid_shift_arrays_agree_with_pyproj_both_ways():
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    grid = tervala.GridShift(BETA)
    rng = np.random.default_rng(3)
    lat = rng.uniform(47.0, 55.3, 2000)
    lon = rng.uniform(5.5, 15.6, 2000)
    h = rng.uniform(0, 2000, 2000)
    proj = pyproj.Transformer.from_pipeline("+proj=pipeline +step +proj=unitconvert +xy_in=deg +xy_out=rad "
                                            "+step +proj=hgridshift +grids=" + BETA +
                                            " +step +proj=unitconvert +xy_in=rad +xy_out=deg")
    out = grid.forward(lat, lon, h)
    want_lon, want_lat, want_h = proj.transform(lon, lat, h)
    assert np.max(np.abs(out.latitude - want_lat)) < 1e-9
    assert np.max(np.abs(out.longitude - want_lon)) < 1e-9
    assert np.array_equal(out.height, h)
    back = grid.inverse(out.latitude, out.longitude, h)
    inv_lon, inv_lat, _ = proj.transform(out.longitude, out.latitude, h, direction="INVERSE")
    assert np.max(np.abs(back.latitude - inv_lat)) < 1e-9
    assert np.max(np.abs(back.longitude - inv_lon)) < 1e-9
    # xy=True trades latitude and longitude in and out; one point as floats
    # gives the array's doubles.
    xy = grid.forward(lon, lat, h, xy=True)
    assert np.array_equal(xy[0], out.longitude) and np.array_equal(xy[1], out.latitude)
    one = grid.forward(float(lat[7]), float(lon[7]), float(h[7]))
    assert one == (out.latitude[7], out.longitude[7], out.height[7])


@NEED_BETA
def test_grid_shift_refuses_points_outside_and_pickles_as_its_path():
    grid = tervala.GridShift(BETA)
    out = grid.forward(np.array([52.0, 40.0, 52.0]), np.array([13.0, 13.0, np.nan]))
    assert np.isfinite(out.latitude[0]) and np.isnan(out.latitude[1:]).all() and np.isnan(out.height[1:]).all()
    assert not grid.contains(40.0, 13.0) and grid.contains(52.0, 13.0)
    copy = pickle.loads(pickle.dumps(grid))
    assert copy.path == grid.path and copy.source_system == "DHDN90" and copy.subgrid_count == 1
    assert copy.forward(52.0, 13.0) == grid.forward(52.0, 13.0)


@pytest.mark.skipif(not os.path.exists(BETA), reason=BETA + " absent (Debian proj-data)")
@pytest.mark.parametrize("cut, error", [
    (0, tervala.DataFileError),     # empty
    (200, tervala.DataFileError),   # in the first subgrid header
    (-40, tervala.DataFileError),   # in the last node and the END record
])
def test_grid_shift_refuses_cut_files(tmp_path, cut, error):
    data = open(BETA, "rb").read()
    path = tmp_path / "cut.gsb"
    path.write_bytes(data[:cut])
    with pytest.raises(error, match="cut.gsb"):
        tervala.GridShift(path)
    with pytest.raises(FileNotFoundError):
        tervala.GridShift(tmp_path / "missing.gsb")


ITRF2014 = "/usr/share/proj/ITRF2014"


@pytest.mark.skipif(not os.path.exists(ITRF2014), reason=ITRF2014 + " absent (Debian proj-data)")
def test_helmert15_arrays_agree_with_pyproj_on_the_itrf2014_sets():
    pyproj = pytest.importorskip("pyproj", reason="pyproj (Debian python3-pyproj) is the oracle")
    # ITRF2014 -> ITRF2000 as published (the file's line, typed here).
    h = tervala.Helmert15(tx=0.0007, ty=0.0012, tz=-0.0261, s=0.00212, rx=0, ry=0, rz=0,
                          rates=(0.0001, 0.0001, -0.0019, 0.00011, 0, 0, 0), t_ref=2010.0,
                          convention="position_vector", rotations="small_angle")
    proj = pyproj.Transformer.from_pipeline("+init=ITRF2014:ITRF2000")
    rng = np.random.default_rng(5)
    n = 500
    lon, lat = np.radians(rng.uniform(-180, 180, n)), np.radians(rng.uniform(-89, 89, n))
    x, y, z = 6378137 * np.cos(lat) * np.cos(lon), 6378137 * np.cos(lat) * np.sin(lon), 6356752 * np.sin(lat)
    t = rng.uniform(1990, 2030, n)
    out = h.forward(x, y, z, t)
    want = proj.transform(x, y, z, t)
    for got, expected in zip(out, want):
        assert np.max(np.abs(got - expected)) < 1e-4
    back = h.inverse(out.x, out.y, out.z, t)
    assert np.max(np.abs(back.x - x)) < 1e-8
    # The parameters at 2026.9: tz = -26.1 mm - 1.9 mm/year * 16.9 years.
    assert h.at(2026.9)[2] == pytest.approx(-0.0261 - 0.0019 * 16.9, abs=1e-15)


def test_helmert15_refuses_bad_values():
    with pytest.raises(ValueError, match="dty"):
        tervala.Helmert15(tx=0, ty=0, tz=0, s=0, rx=0, ry=0, rz=0, rates=(0, float("nan"), 0, 0, 0, 0, 0),
                          t_ref=2010, convention="position_vector")
    with pytest.raises(ValueError, match="small_angle"):
        tervala.Helmert15(tx=0, ty=0, tz=0, s=0, rx=0, ry=0, rz=0, rates=(0,) * 7, t_ref=2010,
                          convention="position_vector", rotations="linear")


# ---- fit_helmert15 ----------------------------------------------------------------------

def cct_at_epochs(proj, xyz, epochs):
    """PROJ's cct on X Y Z t rows: the oracle that makes the target points."""
    if shutil.which("cct") is None:
        pytest.skip("PROJ's cct is not installed (Debian proj-bin)")
    text = "".join(f"{x!r} {y!r} {z!r} {t!r}\n" for (x, y, z), t in zip(xyz, epochs))
    out = subprocess.run(["cct", "-d", "6", *proj.split()], input=text, capture_output=True, text=True, check=True)
    return np.array([[float(v) for v in line.split()[:3]] for line in out.stdout.splitlines() if line.strip()])


def globe(n, seed):
    rng = np.random.default_rng(seed)
    lon, lat = np.radians(rng.uniform(-180, 180, n)), np.radians(rng.uniform(-70, 70, n))
    return np.stack([6378137 * np.cos(lat) * np.cos(lon), 6378137 * np.cos(lat) * np.sin(lon),
                     6356752 * np.sin(lat)], axis=-1)


@pytest.mark.skipif(not os.path.exists(ITRF2014), reason=ITRF2014 + " absent (Debian proj-data)")
def test_fit_helmert15_recovers_the_published_itrf2000_set_from_points_made_by_cct():
    xyz = np.repeat(globe(10, 8), 3, axis=0)
    epochs = np.tile([2003.0, 2011.5, 2024.25], 10)
    target = cct_at_epochs("+init=ITRF2014:ITRF2000", xyz, epochs)
    fit = tervala.fit_helmert15(xyz, target, epochs, convention="position_vector", t_ref=2010.0)
    # The file's ITRF2000 line, typed here: mm, ppb and their rates as m and ppm.
    published = dict(tx=0.0007, ty=0.0012, tz=-0.0261, s=0.00212, rx=0, ry=0, rz=0,
                     dtx=0.0001, dty=0.0001, dtz=-0.0019, ds=0.00011, drx=0, dry=0, drz=0)
    got = fit.parameters._asdict()
    # cct prints 1e-6 m: the values to a few 1e-7 m (ppm and arc-seconds: 1e-7 m / 6.4e6 m).
    for name, value in published.items():
        tolerance = 3e-7 if name in ("tx", "ty", "tz") else 3e-8 if name in ("dtx", "dty", "dtz") else 1e-7
        assert got[name] == pytest.approx(value, abs=tolerance), name
    assert fit.t_ref == 2010.0
    assert fit.transformation.rotations == "small_angle"
    assert fit.transformation.convention == "position_vector"
    assert fit.unknowns == 14 and fit.redundancy == 90 - 14
    assert fit.statistics.parameters[7].name == "dtx"
    # The result applied at each point's epoch gives cct's points back.
    assert np.max(np.abs(fit.apply(xyz, epochs) - target)) < 2e-6
    assert np.max(np.abs(fit.residuals)) < 2e-6
    # Without t_ref: the mean epoch 2012.9166 rounded to 2012.9, where the
    # values are the published ones moved by their rates over 2.9 years.
    moved = tervala.fit_helmert15(xyz, target, epochs, convention="position_vector")
    assert moved.t_ref == 2012.9
    assert moved.tz == pytest.approx(-0.0261 - 0.0019 * 2.9, abs=3e-7)
    assert moved.dtz == pytest.approx(-0.0019, abs=3e-8)
    back = pickle.loads(pickle.dumps(fit))
    assert back.parameters == fit.parameters and back.t_ref == 2010.0
    assert np.array_equal(back.covariance, fit.covariance)


def test_fit_helmert15_refusals_say_what_is_missing():
    xyz = globe(6, 9)
    target = xyz + 0.01
    one_epoch = tervala.fit_helmert15(xyz, target, [2020.0] * 6, convention="coordinate_frame")
    assert one_epoch.degenerate and one_epoch.transformation is None
    assert "same epoch" in one_epoch.statistics.message
    with pytest.raises(ValueError, match="degenerate"):
        one_epoch.tx
    rigid = tervala.fit_helmert15(xyz, target, [2020.0] * 6, convention="coordinate_frame",
                                  fix=["dtx", "dty", "dtz", "ds", "drx", "dry", "drz"])
    assert rigid.tx == pytest.approx(0.01, abs=1e-6) and rigid.dtx == 0
    with pytest.raises(ValueError, match="5 epochs for 6 points"):
        tervala.fit_helmert15(xyz, target, [2020.0] * 5, convention="coordinate_frame")
    with pytest.raises(ValueError, match="unknown parameter 'dt'"):
        tervala.fit_helmert15(xyz, target, [2010.0, 2020.0] * 3, convention="coordinate_frame", fix="dt")


@pytest.mark.skipif(not os.path.exists(ITRF2014), reason=ITRF2014 + " absent (Debian proj-data)")
def test_fit_helmert15_tool_writes_a_proj_string_that_cct_applies(tmp_path):
    tool = os.environ.get("TERVALA_TOOL")
    if not tool or not os.path.isfile(tool):
        pytest.skip("the tervala tool is not built (TERVALA_TOOL)")
    xyz = np.repeat(globe(8, 10), 2, axis=0)
    epochs = np.tile([2008.0, 2022.4], 8)
    target = cct_at_epochs("+init=ITRF2014:ITRF2008", xyz, epochs)
    points = tmp_path / "points.txt"
    points.write_text("".join(f"P{k} {x!r} {y!r} {z!r} {a!r} {b!r} {c!r} {t!r}\n"
                              for k, ((x, y, z), (a, b, c), t) in enumerate(zip(xyz, target, epochs))))
    params = tmp_path / "fitted.txt"
    run = subprocess.run([tool, "fit", "helmert15", str(points), "--write-params", str(params)],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    assert "+t_epoch=2015.2 " in params.read_text()  # the mean epoch, 2015.2
    # cct applies the written string and gives the targets back.
    again = cct_at_epochs(params.read_text().strip(), xyz, epochs)
    assert np.max(np.abs(again - target)) < 3e-6
