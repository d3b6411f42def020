"""The estimators: synthetic common points from known parameters, result objects, untouched inputs;
the weighted fits' statistics against the tool's JSON report and SciPy."""

import json
import os
import pickle
import subprocess

import numpy as np
import pytest

import tervala
from conftest import GRS80, rotation


def test_2d_helmert_fit_recovers_known_parameters(grs80):
    rng = np.random.default_rng(1)
    src = rng.uniform(1000, 5000, (6, 2))
    t1, t2, ppm, arcsec = 120.5, -80.25, 20.0, 2000.0
    origin = src.mean(axis=0)
    turn = (1 + ppm * 1e-6) * np.exp(1j * np.radians(arcsec / 3600)) * ((src - origin) @ [1, 1j])
    dst = np.c_[turn.real + t1 + origin[0], turn.imag + t2 + origin[1]] + rng.normal(0, 0.01, (6, 2))
    src_before, dst_before = src.copy(), dst.copy()
    fit = grs80.Parameters_2DHelmert(src, dst)
    assert np.array_equal(src, src_before) and np.array_equal(dst, dst_before)  # copies were passed
    assert fit.points == 6 and fit.covariance.shape == (4, 4) and fit.origin == pytest.approx(origin, abs=1e-9)
    # Named fields in their places (the accuracy of the estimate is the C++ suite's).
    assert (fit.t1, fit.t2, fit.scale, fit.rotation) == pytest.approx((t1, t2, ppm, arcsec), abs=10)
    # Residuals per point in (first, second) order, model minus observation.
    x, y = grs80.helmert_2d(*fit.origin, src[:, 0], src[:, 1])
    assert fit.residuals == pytest.approx(np.c_[x - dst[:, 0], y - dst[:, 1]], abs=1e-6)
    # The result object is what the accessors read.
    assert list(fit.parameters) == [grs80.Get2DHelmertParameters(i) for i in range(4)]
    assert fit.residuals[0, 1] == grs80.GetResidual2D(1) and fit.residuals[0, 0] == grs80.GetResidual2D(2)
    assert fit.covariance[0, 3] == grs80.Get2DHelmertCovariance(0, 3) and fit.sigma == grs80.GetSigma()
    two = grs80.Parameters_2DHelmert(src[:2].ravel(), dst[:2].ravel())  # flat arrays work too
    assert two.sigma == 0.0 and not two.covariance.any()


def test_height_fit_plane_and_shift(grs80):
    rng = np.random.default_rng(2)
    x0, y0 = 4000.0, 1000.0
    xy = rng.uniform(0, 5000, (5, 2))
    hs = rng.uniform(10, 50, 5)
    ht = hs + 30 + 1e-5 * (xy[:, 0] - x0) - 2e-5 * (xy[:, 1] - y0)
    xy_before = xy.copy()
    fit = grs80.Parameters_HeightTrans(y0, x0, xy, hs, ht)  # C++ order: second coordinate first
    assert np.array_equal(xy, xy_before)
    assert fit.parameters == pytest.approx([1e-5, -2e-5, 30.0], abs=1e-9)
    assert np.max(np.abs(fit.residuals)) < 1e-9 and fit.mean_accuracy < 1e-9
    # HeightTrans takes the origin first coordinate first and reproduces the targets.
    assert grs80.height_trans(x0, y0, xy[:, 0], xy[:, 1], hs) == pytest.approx(ht, abs=1e-9)

    two = grs80.Parameters_HeightTrans(0.0, 0.0, xy[:2], [0.0, 0.0], [10.00, 10.04])  # the result object
    assert two.residuals[1] == grs80.GetResidualH(2) and two.mean_accuracy == grs80.GetHeightMeanaccuracy()


def seven_parameter_points(rng, p, n=8, noise=0.01):
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    src = np.c_[t.geodetic_to_geocentric(rng.uniform(30, 50, n), rng.uniform(0, 25, n), rng.uniform(0, 500, n))]
    dst = np.array(p[:3]) + (1 + p[3] * 1e-6) * src @ rotation(*p[4:]).T
    return src, dst + rng.normal(0, noise, dst.shape)


@pytest.mark.parametrize("member, transform", [("SevenParameters_Bursa_WolfModel", "bursa_wolf"),
                                               ("SevenParameters_Molodensky_BadekasModel", "molodensky_badekas")])
def test_seven_parameter_fits_recover_known_parameters(grs80, member, transform):
    p = (100.0, -50.0, 80.0, 5.0, 1.5, -2.0, 0.8)
    src, dst = seven_parameter_points(np.random.default_rng(3), p)
    src_before = src.copy()
    fit = getattr(grs80, member)(src, dst)
    assert np.array_equal(src, src_before) and fit.converged is True and fit.residuals.shape == (8, 3)
    assert fit.parameters[3:] == pytest.approx(p[3:], abs=0.01)  # scale and rotations: the same in both models
    assert list(fit.parameters) == [grs80.GetSevenParameters(i) for i in range(7)]  # in the accessors' order
    assert fit.residuals[2, 2] == grs80.GetResidual(9) and fit.sigma == grs80.GetSigma()
    assert fit.covariance[4, 1] == grs80.GetSevenCovariance(4, 1)
    if transform == "bursa_wolf":
        assert fit.rotation_origin is None and fit.parameters[:3] == pytest.approx(p[:3], abs=0.05)
    else:  # about the source centroid
        assert fit.rotation_origin == pytest.approx(src.mean(axis=0), abs=1e-6)
        assert list(fit.rotation_origin) == [grs80.GetRotOrigin(i) for i in range(3)]
    # The estimate stays in the object: the array function carries source onto target.
    assert np.max(np.abs(np.c_[getattr(grs80, transform)(*src.T)] - dst)) < 0.05


@pytest.mark.parametrize("member, good", [("Parameters_2DHelmert", np.zeros((3, 2))),
                                          ("SevenParameters_Bursa_WolfModel", np.zeros((3, 3))),
                                          ("SevenParameters_Molodensky_BadekasModel", np.zeros((3, 3)))])
def test_estimators_reject_malformed_point_arrays(grs80, member, good):
    fit = getattr(grs80, member)
    dims = good.shape[1]
    for source, target in [(good, good[:2]), (good[:, :1], good[:, :1]), (np.zeros((0, dims)), np.zeros((0, dims))),
                           (np.zeros(dims * 3 + 1), np.zeros(dims * 3 + 1)), (np.zeros((2, 2, dims)), good)]:
        with pytest.raises(ValueError):
            fit(source, target)
    with pytest.raises(TypeError, match="source"):
        fit([["a"] * dims] * 3, good)
    with pytest.raises(ValueError, match="same number"):
        grs80.Parameters_HeightTrans(0.0, 0.0, np.zeros((3, 2)), np.zeros(3), np.zeros(2))


# ---- The weighted fits and their statistics ---------------------------------------

TOOL_COORDINATES = {"helmert2d": ["x'", "y'"], "height": ["h'"], "bursa-wolf": ["X", "Y", "Z"],
                    "molodensky-badekas": ["X", "Y", "Z"]}


def network(rng, n=10):
    """Common points for each model: 2D Helmert, heights, seven parameters (with a 0.2 m blunder in Z' of point 3)."""
    xy = rng.uniform(1000, 4000, (n, 2))
    target2 = np.column_stack(tervala.Helmert2D(150.0, -80.0, 12.5, 150.0, (2500.0, 2500.0)).forward(*xy.T))
    hs = rng.uniform(40, 60, n)
    ht = hs + 27.3 + 2e-5 * (xy[:, 0] - 2500) - 1e-5 * (xy[:, 1] - 2500)
    src = np.column_stack(tervala.Ellipsoid("GRS80").to_geocentric(rng.uniform(37, 38, n), rng.uniform(127, 128, n),
                                                                    rng.uniform(0, 300, n)))
    dst = np.column_stack(tervala.Helmert7(tx=-115.8, ty=474.99, tz=674.11, s=-2.5, rx=1.16, ry=-2.31, rz=-1.63,
                                           convention="coordinate_frame").forward(*src.T))
    dst += rng.normal(0, 0.01, dst.shape)
    dst[3, 2] += 0.2
    return (xy, target2 + rng.normal(0, 0.004, xy.shape), hs, ht + rng.normal(0, 0.005, n), src, dst)


def run_tool(scratch, model, lines, *options):
    tool = os.environ.get("TERVALA_TOOL")
    if not tool or not os.path.isfile(tool):
        pytest.skip("the tervala tool is not built (TERVALA_TOOL)")
    points, report = scratch / f"{model}.txt", scratch / f"{model}.json"
    points.write_text("".join(f"P{k} " + " ".join(repr(float(v)) for v in row) + "\n" for k, row in enumerate(lines)))
    subprocess.run([tool, "fit", model, str(points), "--json", str(report), *options], check=True,
                   stdout=subprocess.DEVNULL)
    return json.loads(report.read_text())


def test_statistics_equal_the_tools_json_report(scratch):
    """One case per model through the tool and the module: the same core, the same doubles."""
    xy, xy2, hs, ht, src, dst = network(np.random.default_rng(11))
    s7, t7 = np.full((10, 3), 0.005), np.full((10, 3), 0.01)
    s7[:, 2], t7[5] = 0.0, 0.02  # error-free source heights; one weaker target point
    s2 = np.c_[np.full(10, 0.004), np.linspace(0.002, 0.02, 10)]  # x' and y' weighted apart
    cases = [  # model, file columns, tool options, the same fit in Python
        ("helmert2d", np.c_[xy, xy2], ["--sigma", "0.004", "--fix", "rotation,scale"],
         lambda: tervala.fit_helmert_2d(xy, xy2, sigma=0.004, fix=["rotation", "scale"])),
        ("helmert2d", np.c_[xy, xy2, s2], [], lambda: tervala.fit_helmert_2d(xy, xy2, sigma=s2)),  # sx' sy' columns
        ("height", np.c_[xy, hs, ht, np.linspace(0.004, 0.008, 10)], ["--alpha", "0.1", "--alpha0", "0.01"],
         lambda: tervala.fit_height_plane(xy, hs, ht, sigma=np.linspace(0.004, 0.008, 10), alpha=0.1, alpha0=0.01)),
        ("bursa-wolf", np.c_[src, dst, s7, t7], ["--snoop"],
         lambda: tervala.fit_helmert7(src, dst, convention="coordinate_frame", target_sigma=t7, source_sigma=s7,
                                      snoop=True)),
        ("molodensky-badekas", np.c_[src, dst], ["--fix", "s"],
         lambda: tervala.fit_molodensky_badekas(src, dst, convention="coordinate_frame", fix="s")),
    ]
    nan = lambda v: np.nan if v is None else v  # noqa: E731 (JSON null: not tested)
    removed = {}
    for model, lines, options, fit in cases:
        tool, result = run_tool(scratch, model, lines, *options), fit()
        st = result.statistics
        removed[model] = [(r.point, r.coordinate) for r in st.removed]
        if hasattr(result, "origin"):  # the centroid the parameters refer to
            assert tool["origin"][:len(result.origin)] == pytest.approx(tuple(result.origin), rel=1e-15)
        names = TOOL_COORDINATES[model]
        assert [p["name"] for p in tool["parameters"]] == [p.name for p in st.parameters]
        assert [(p["unit"], p["alternative_unit"]) for p in tool["parameters"]] == \
            [(p.unit, p.alternative_unit) for p in st.parameters]
        assert np.allclose([[nan(p["alternative_value"]), nan(p["alternative_sigma"])] for p in tool["parameters"]],
                           [[nan(p.alternative_value), nan(p.alternative_sigma)] for p in st.parameters],
                           rtol=1e-13, atol=0, equal_nan=True), model
        assert np.allclose([[p["value"], nan(p["sigma"])] for p in tool["parameters"]],
                           [[p.value, p.sigma] for p in st.parameters], rtol=1e-13, atol=0, equal_nan=True), model
        assert (tool["sigma0"], tool["redundancy"], tool["a_priori"]) == \
            pytest.approx((st.sigma0, st.redundancy, st.a_priori), rel=1e-13)
        assert np.allclose(tool["correlation"], st.correlation, rtol=0, atol=1e-13)
        assert (tool["global_test"] is None) == (st.global_test is None)
        if st.global_test:
            assert [tool["global_test"][k] for k in GLOBAL_TEST_KEYS] == pytest.approx(list(st.global_test), rel=1e-13)
        o = st.observations
        assert [(x["point"], x["coordinate"], x["rejected"]) for x in tool["observations"]] == \
            [(f"P{p}", names[c], bool(r)) for p, c, r in zip(o.point, o.coordinate, o.rejected)], model
        for key, column in [("residual", o.residual), ("redundancy_number", o.redundancy_number),
                            ("normalised_residual", o.normalised_residual), ("w", o.w), ("mdb", o.mdb)]:
            assert np.allclose([nan(x[key]) for x in tool["observations"]], column, rtol=1e-12, atol=1e-15,
                               equal_nan=True), (model, key)
        assert [(r["point"], r["coordinate"]) for r in tool["removed"]] == \
            [(f"P{r.point}", names[r.coordinate]) for r in st.removed]
        # Precision where the points are: external reliability, ellipses, the local-frame tests.
        assert np.allclose([nan(x["external"]) for x in tool["observations"]], o.external, rtol=1e-12, atol=0,
                           equal_nan=True), model
        if st.ellipses is None:
            assert model == "height" and tool["ellipses"] is None
        else:
            te, e = tool["ellipses"]["points"], st.ellipses
            assert [x["point"] for x in te] == [f"P{p}" for p in e.point]
            assert np.allclose([[x["semi_major"], x["semi_minor"], x["azimuth"], *x["sigma"]] for x in te],
                               np.c_[e.semi_major, e.semi_minor, e.azimuth, e.sigma], rtol=1e-12, atol=1e-15), model
        assert (st.local is None) == ("local" not in tool)
        if st.local is not None:
            assert np.allclose([[x["residual"], nan(x["w"]), nan(x["mdb"])] for x in tool["local"]],
                               np.c_[st.local.residual, st.local.w, st.local.mdb], rtol=1e-12, atol=1e-15,
                               equal_nan=True), model
        np.testing.assert_equal(pickle.loads(pickle.dumps(result)).statistics, st)  # every field travels
    # Snooping took out the point with the 0.2 m blunder in Z', and only that one.
    assert removed["bursa-wolf"] == [(3, 2)]
    assert tervala.fit_height_plane(xy, hs, ht, sigma=0.01).origin == pytest.approx(xy.mean(axis=0), rel=1e-15)
    # Position-vector rotations are the negated coordinate-frame ones, in the statistics too.
    flipped = tervala.fit_molodensky_badekas(src, dst, convention="position_vector", fix="s")
    assert [p.value for p in flipped.statistics.parameters[4:]] == list(flipped.parameters[4:])
    assert [p["value"] for p in tool["parameters"][4:]] == pytest.approx([-v for v in flipped.parameters[4:]])


GLOBAL_TEST_KEYS = ["statistic", "lower", "upper", "alpha", "passed"]


def test_report_records_its_origin_and_names_each_test(scratch, monkeypatch):
    """The JSON report says what it was made from, by which version, when (SOURCE_DATE_EPOCH makes two runs
    identical) and with which command; each verdict names its test and level; height slopes in m/m and mm/km."""
    xy, xy2, hs, ht, _, _ = network(np.random.default_rng(5))
    monkeypatch.setenv("SOURCE_DATE_EPOCH", "1796601600")
    options = ["--sigma", "0.004", "--alpha", "0.01", "--power", "0.9"]
    first = run_tool(scratch, "helmert2d", np.c_[xy, xy2], *options)
    assert run_tool(scratch, "helmert2d", np.c_[xy, xy2], *options) == first
    meta = first["metadata"]
    assert meta["date"] == "2026-12-07T00:00:00Z"  # 1796601600 s = 20794 days after 1970-01-01
    assert (meta["software"], meta["version"]) == ("tervala", tervala.__version__)
    assert meta["inputs"] == [{"role": "common points", "file": str(scratch / "helmert2d.txt"), "points": 10,
                               "columns": "id x y x' y' [sigmas]"}]
    assert meta["command_line"].startswith("tervala fit helmert2d ") and meta["command_line"].endswith(
        " ".join(options))
    tests = {s["test"]: s for s in first["statements"]}
    assert tests["global test"]["level"] == "chi^2 of the variance factor, alpha 1 %"
    assert tests["global test"]["result"] == ("passed" if first["global_test"]["passed"] else "FAILED")
    assert tests["w-test"]["level"] == "alpha0 0.1 %, power 90 %"
    # lambda0 for alpha0 0.1 % and power 90 %: (3.2905 + 1.2816)^2 = 20.90 (the far tail adds nothing visible).
    assert first["lambda0"] == pytest.approx(20.90, abs=0.01) and "lambda0 20.90" in tests["w-test"]["detail"]
    assert "data snooping" not in tests and "check points" not in tests

    height = run_tool(scratch, "height", np.c_[xy, hs, ht], "--sigma", "0.005")
    assert [(p["name"], p["unit"], p["alternative_unit"]) for p in height["parameters"]] == \
        [("slope1", "m/m", "mm/km"), ("slope2", "m/m", "mm/km"), ("shift", "m", None)]
    # The network's plane rises 2e-5 along x and falls 1e-5 along y: 20 and -10 mm/km.
    assert [p["alternative_value"] for p in height["parameters"][:2]] == pytest.approx([20, -10], abs=1)
    assert height["metadata"]["conventions"]["slopes"].startswith("slope1 along the first coordinate x")


def test_weighted_2d_helmert_against_numpy_and_scipy():
    """Unequal weights per coordinate, held parameters and test levels against an independent solution."""
    stats = pytest.importorskip("scipy.stats")
    rng = np.random.default_rng(12)
    xy, xy2 = network(rng)[:2]
    sigma = rng.uniform(0.002, 0.02, xy.shape)  # differs per point and per coordinate
    x, y = (xy - xy.mean(axis=0)).T
    one, zero = np.ones_like(x), np.zeros_like(x)
    # x' - x0 = t1 + c x - d y, y' - y0 = t2 + d x + c y, with (t1, t2, c, d).
    design = np.vstack([np.c_[one, zero, x, -y], np.c_[zero, one, y, x]])
    observed = np.r_[xy2[:, 0], xy2[:, 1]] - np.r_[[xy.mean(axis=0)[0]] * 10, [xy.mean(axis=0)[1]] * 10]
    weight = 1 / np.r_[sigma[:, 0], sigma[:, 1]]
    for fix, columns in [((), [0, 1, 2, 3]), (("rotation", "scale"), [0, 1])]:
        rhs = observed - (np.r_[x, y] if fix else 0)  # c = 1, d = 0 when held
        A = design[:, columns]
        solution = np.linalg.lstsq(A * weight[:, None], rhs * weight, rcond=None)[0]
        fit = tervala.fit_helmert_2d(xy, xy2, sigma=sigma, fix=fix, alpha=0.1, alpha0=0.01)
        assert (fit.t1, fit.t2) == pytest.approx(solution[:2], abs=1e-7)
        normal = (A * weight[:, None] ** 2).T @ A
        assert fit.standard_deviations[:2] == pytest.approx(np.sqrt(np.diag(np.linalg.inv(normal)))[:2], rel=1e-9)
        if not fix:
            c, d = solution[2:]
            assert fit.scale == pytest.approx((np.hypot(c, d) - 1) * 1e6, abs=1e-6)
            assert fit.rotation == pytest.approx(np.degrees(np.arctan2(d, c)) * 3600, abs=1e-6)
            with pytest.warns(DeprecationWarning, match=r"use \.scale"):
                assert fit.scale_ppm == fit.scale
        st = fit.statistics
        # The statistics name and order the parameters as the result does, each
        # also in its second unit: the rotation in microradians, the scale as a factor.
        assert [p.name for p in st.parameters] == ["t1", "t2", "scale", "rotation"]
        assert [p.value for p in st.parameters] == list(fit.parameters)
        if not fix:
            t1, t2, scale, rotation = st.parameters
            assert (t1.unit, t1.alternative_unit, t1.alternative_value) == ("m", None, None)
            assert (rotation.unit, rotation.alternative_unit) == ("arc-second", "microradian")
            assert rotation.alternative_value == pytest.approx(np.arctan2(d, c) * 1e6, abs=1e-6)
            assert rotation.alternative_sigma == pytest.approx(rotation.sigma * np.pi / 648000 * 1e6, rel=1e-12)
            assert (scale.unit, scale.alternative_unit) == ("ppm", "factor")
            assert scale.alternative_value == pytest.approx(np.hypot(c, d), abs=1e-12)
        v = A @ solution - rhs
        # r_i = 1 - (A N^-1 A' P)_ii for uncorrelated observations.
        hat = A @ np.linalg.solve(normal, (A * weight[:, None] ** 2).T)
        redundancy = dict(zip(zip(st.observations.point, st.observations.coordinate),
                              st.observations.redundancy_number))
        assert [redundancy[k % 10, k // 10] for k in range(20)] == pytest.approx(1 - np.diag(hat), abs=1e-12)
        assert st.redundancy == 20 - len(columns)
        assert st.sigma0 ** 2 == pytest.approx(np.sum((v * weight) ** 2) / st.redundancy, rel=1e-9)
        g = st.global_test
        assert (g.lower, g.upper) == pytest.approx(
            (stats.chi2.ppf(0.05, st.redundancy) / st.redundancy, stats.chi2.ppf(0.95, st.redundancy) / st.redundancy),
            rel=1e-10)
        assert st.w_critical == pytest.approx(stats.norm.ppf(0.995), rel=1e-10)
        # sqrt(lambda0): the two-sided test at 1 % rejects a shift of that many sigma with 80 % power.
        assert stats.ncx2.sf(stats.norm.ppf(0.995) ** 2, 1, st.noncentrality_sqrt ** 2) == pytest.approx(0.8, rel=1e-10)
    # The statistics travel with a pickled result.
    np.testing.assert_equal(pickle.loads(pickle.dumps(fit)).statistics, fit.statistics)
    # At 95 % the ellipses grow by sqrt(chi^2(0.95, 2)); the standard deviations along the axes do not.
    wider = tervala.fit_helmert_2d(xy, xy2, sigma=sigma, confidence=0.95).statistics.ellipses
    standard = tervala.fit_helmert_2d(xy, xy2, sigma=sigma).statistics.ellipses
    assert wider.semi_major == pytest.approx(np.sqrt(stats.chi2.ppf(0.95, 2)) * standard.semi_major, rel=1e-12)
    assert (wider.confidence, standard.confidence) == (0.95, pytest.approx(1 - np.exp(-0.5), rel=1e-15))
    np.testing.assert_equal(wider.sigma, standard.sigma)


@pytest.mark.parametrize("call, message", [
    (lambda p, t: tervala.fit_helmert_2d(p[:, :2], t[:, :2], sigma=np.full(20, 0.01)), r"sigma must be .*\(n, 2\)"),
    (lambda p, t: tervala.fit_height_plane(p[:, :2], p[:, 2], t[:, 2], sigma=np.full((10, 1), 0.01)),
     r"sigma must be .*\(n,\)"),
    (lambda p, t: tervala.fit_helmert7(p, t, convention="position_vector", target_sigma=0.01,
                                       source_sigma=np.zeros(3)),
     r"source_sigma must be"),
    (lambda p, t: tervala.fit_helmert_2d(p[:, :2], t[:, :2], sigma=-0.01), "positive"),
    (lambda p, t: tervala.fit_helmert7(p, t, convention="position_vector", fix=["rx", "scale"]),
     "unknown parameter 'scale'.*tx, ty, tz, s, rx, ry, rz"),
    (lambda p, t: tervala.fit_helmert_2d(p[:, :2], t[:, :2], fix="scale"), "scale can be held only together"),
    (lambda p, t: tervala.fit_height_plane(p[:, :2], p[:, 2], t[:, 2], snoop=True), "snooping .*give sigma"),
    (lambda p, t: tervala.fit_molodensky_badekas(p, t, convention="position_vector", target_sigma=0.01,
                                                 alpha0=1.0),
     "alpha and alpha0"),
    (lambda p, t: tervala.fit_helmert_2d(p[:, :2], t[:, :2], sigma=0.01, confidence=1.0), "confidence"),
])
def test_weighted_fits_refuse_what_they_cannot_use(call, message):
    points = np.random.default_rng(13).uniform(0, 1000, (10, 3))
    with pytest.raises(ValueError, match=message):
        call(points, points + 1.0)


@pytest.mark.parametrize("fit", [tervala.fit_helmert7, tervala.fit_molodensky_badekas])
def test_seven_parameter_sigmas_say_which_coordinates_they_weigh(fit):
    rng = np.random.default_rng(21)
    src = np.array([-3.05e6, 4.05e6, 3.85e6]) + rng.uniform(-5e4, 5e4, (8, 3))
    dst = src + [10.0, -20.0, 5.0] + rng.normal(0, 0.01, (8, 3))
    sigma0 = lambda **k: fit(src, dst, convention="position_vector", **k).statistics.sigma0  # noqa: E731
    # target_sigma alone: error-free source coordinates, as source_sigma=0.
    assert sigma0(target_sigma=0.01) == sigma0(target_sigma=0.01, source_sigma=0.0)
    # The old sigma= weighs both sets, and says so.
    with pytest.warns(DeprecationWarning, match="sigma= is deprecated: it weighs the target coordinates and, "
                                                "unless source_sigma= is given, the source coordinates too"):
        both = sigma0(sigma=0.01)
    assert both == sigma0(target_sigma=0.01, source_sigma=0.01)
    # Weighing both sets doubles the variance of the misclosures (to the
    # scale and rotation the source errors pass through, here 1e-7).
    assert both == pytest.approx(sigma0(target_sigma=0.01) / np.sqrt(2), rel=1e-6)
    with pytest.raises(TypeError, match="give target_sigma= .*not sigma="):
        sigma0(sigma=0.01, target_sigma=0.01)
