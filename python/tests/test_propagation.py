"""Propagated precision against a seeded Monte Carlo: parameter sets drawn from N(x, C) by Cholesky,
a few points transformed by an independent implementation of each model (NumPy formulas here, PROJ
for the geodetic and UTM legs), and the sample standard deviations compared with the propagated
ones within their sampling tolerance. Also the parameter file's covariance block as the tool
writes and reads it."""

import os
import pathlib
import subprocess

import numpy as np
import pytest

import tervala

ARCSEC = np.pi / 648000
SAMPLES = 4000
# The sample standard deviation of n normal draws has a relative standard error of about
# 1 / sqrt(2 n) (1.1 % for 4000); 5 of those is a tolerance a correct propagation never fails
# with these seeds, and a wrong Jacobian (a sign, a missed term, a unit) fails by far more.
TOLERANCE = 5 / np.sqrt(2 * SAMPLES)


def draws(x, C, seed):
    """SAMPLES parameter sets from N(x, C), by the Cholesky factor of C."""
    L = np.linalg.cholesky(C)
    return x + np.random.default_rng(seed).standard_normal((SAMPLES, len(x))) @ L.T


def ellipse(cov):
    """Semi-major, semi-minor axis and azimuth (degrees from the first axis toward the second)."""
    w, v = np.linalg.eigh(cov)
    major = v[:, 1]
    return np.sqrt(w[1]), np.sqrt(max(w[0], 0.0)), np.degrees(np.arctan2(major[1], major[0])) % 180


def rotation_cf(rx, ry, rz):
    """R3(rz) R2(ry) R1(rx) of coordinate-frame angles (radians), for arrays of angles: (..., 3, 3)."""
    def axis(angle, i, j):
        c, s = np.cos(angle), np.sin(angle)
        R = np.zeros(np.shape(angle) + (3, 3))
        R[..., :, :] = np.eye(3)
        R[..., i, i] = c
        R[..., j, j] = c
        R[..., i, j] = s
        R[..., j, i] = -s
        return R
    return axis(rz, 0, 1) @ axis(ry, 2, 0) @ axis(rx, 1, 2)


def seven_forward(p, X, origin=np.zeros(3)):
    """Bursa-Wolf / Molodensky-Badekas, exact coordinate-frame rotations: p (n, 7), X (3,) -> (n, 3)."""
    R = rotation_cf(p[:, 4] * ARCSEC, p[:, 5] * ARCSEC, p[:, 6] * ARCSEC)
    return p[:, :3] + origin + (1 + p[:, 3:4] * 1e-6) * (R @ (X - origin))


def test_helmert_2d_ellipses_follow_the_monte_carlo():
    rng = np.random.default_rng(7)
    src = rng.uniform(0, 1000, (6, 2))
    r = 40 * ARCSEC
    dst = (1 + 25e-6) * src @ np.array([[np.cos(r), np.sin(r)], [-np.sin(r), np.cos(r)]]) + [300.0, -120.0]
    dst += rng.normal(0, 0.01, dst.shape)
    fit = tervala.fit_helmert_2d(src, dst, sigma=0.01)
    x0, y0 = fit.origin
    C = np.asarray(fit.covariance)
    p = draws(np.array(fit.parameters), C, 11)
    points = np.array([[500.0, 500.0], [3000.0, -2000.0], [-1500.0, 2500.0]])
    got, sigmas, ellipses = fit.apply(points, propagate=True)
    np.testing.assert_allclose(got, fit.apply(points), rtol=0, atol=0)
    for k, (x, y) in enumerate(points):
        m, a = 1 + p[:, 2] * 1e-6, p[:, 3] * ARCSEC
        first = x0 + p[:, 0] + m * (np.cos(a) * (x - x0) - np.sin(a) * (y - y0))
        second = y0 + p[:, 1] + m * (np.sin(a) * (x - x0) + np.cos(a) * (y - y0))
        cov = np.cov(np.c_[first, second].T)
        np.testing.assert_allclose(sigmas[k], np.sqrt(np.diag(cov)), rtol=TOLERANCE)
        major, minor, azimuth = ellipse(cov)
        np.testing.assert_allclose(ellipses[k, :2], [major, minor], rtol=TOLERANCE)
        if major > 1.2 * minor:  # the direction is defined
            assert abs((ellipses[k, 2] - azimuth + 90) % 180 - 90) < 5
    # Far out the scale and rotation dominate: the ellipse grows with the distance.
    assert ellipses[1, 0] > 2 * ellipses[0, 0]


def test_height_plane_and_seven_parameters_follow_the_monte_carlo():
    rng = np.random.default_rng(3)
    xy = rng.uniform(0, 2000, (7, 2))
    hs = rng.uniform(20, 80, 7)
    ht = hs + 3e-5 * xy[:, 0] - 2e-5 * xy[:, 1] + 0.4 + rng.normal(0, 0.005, 7)
    plane = tervala.fit_height_plane(xy, hs, ht, sigma=0.005)
    x0, y0 = plane.transformation.origin
    p = draws(np.array(plane.parameters), np.asarray(plane.covariance), 5)
    positions = np.array([[1000.0, 1000.0, 50.0], [6000.0, -3000.0, 50.0]])
    heights, sigmas = plane.apply(positions, propagate=True)
    np.testing.assert_allclose(heights, plane.apply(positions), rtol=0, atol=0)
    for k, (x, y, h) in enumerate(positions):
        sample = h + p[:, 0] * (x - x0) + p[:, 1] * (y - y0) + p[:, 2]
        np.testing.assert_allclose(sigmas[k], sample.std(ddof=1), rtol=TOLERANCE)

    # A local network a few kilometres across, both coordinate sets observed to 1 cm.
    lat, lon = np.radians(37.5 + rng.uniform(0, 0.05, 6)), np.radians(127.0 + rng.uniform(0, 0.05, 6))
    a, f = 6378137.0, 1 / 298.257223563
    e2 = f * (2 - f)
    N = a / np.sqrt(1 - e2 * np.sin(lat) ** 2)
    src = np.c_[N * np.cos(lat) * np.cos(lon), N * np.cos(lat) * np.sin(lon), N * (1 - e2) * np.sin(lat)]
    truth = np.array([[-115.8, 474.99, 674.11, -2.5, 1.16, -2.31, -1.63]])
    dst = np.array([seven_forward(truth, X)[0] for X in src]) + rng.normal(0, 0.01, src.shape)
    far = src.mean(axis=0) + [20000.0, -15000.0, 10000.0]
    for fitter, origin_of in ((tervala.fit_helmert7, lambda r: np.zeros(3)),
                              (tervala.fit_molodensky_badekas, lambda r: np.array(r.origin))):
        fit = fitter(src, dst, convention="coordinate_frame", target_sigma=0.01, source_sigma=0.01)
        origin = origin_of(fit)
        p = draws(np.array(fit.parameters), np.asarray(fit.covariance), 17)
        points = np.array([src[0], far])
        got, sigmas = fit.apply(points, propagate=True)
        np.testing.assert_allclose(got, fit.apply(points), rtol=0, atol=0)
        for k, X in enumerate(points):
            sample = seven_forward(p, X, origin)
            np.testing.assert_allclose(sigmas[k], sample.std(axis=0, ddof=1), rtol=TOLERANCE)


def tool_path():
    tool = os.environ.get("TERVALA_TOOL")
    if not tool or not os.path.isfile(tool):
        pytest.skip("the tervala tool is not built (TERVALA_TOOL)")
    return tool


def covariance_block(text):
    """The names and matrix of a parameter file's #covariance block, read independently of the tool."""
    rows = [line.split()[1:] for line in text.splitlines() if line.startswith("#covariance")]
    return rows[0], np.array([[float(v) for v in row] for row in rows[1:]])


def test_tool_carries_a_fits_covariance_through_transform_to_utm(scratch):
    """fit bursa-wolf --write-params, then transform --propagate --projection utm: the tool's standard
    deviations of northing, easting and height against parameter sets drawn from the file's own
    covariance, each applied with NumPy and taken to UTM by PROJ."""
    pyproj = pytest.importorskip("pyproj")
    network = pathlib.Path(__file__).resolve().parents[2] / "tests" / "cli" / "inputs" / "three-d-points.txt"
    params = scratch / "bw.txt"
    run = subprocess.run([tool_path(), "fit", "bursa-wolf", str(network), "--sigma", "0.02", "--write-params",
                          str(params)], capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    text = params.read_text()
    names, C = covariance_block(text)
    assert names == ["tx", "ty", "tz", "s", "rx", "ry", "rz"]
    np.testing.assert_array_equal(C, C.T)
    values = {line.split()[0]: float(line.split()[1]) for line in text.splitlines()
              if line and not line.startswith("#") and line.split()[0] in names}
    x = np.array([values[n] for n in names])

    point = (37.52, 127.03, 85.0)
    run = subprocess.run([tool_path(), "transform", "--model", "bursa-wolf", "--params", str(params),
                          "--source-ellipsoid", "WGS84", "--target-ellipsoid", "WGS84", "--projection", "utm",
                          "--propagate", "-p", "6", "-s", " ".join(map(str, point))],
                         capture_output=True, text=True)
    assert run.returncode == 0, run.stderr
    fields = run.stdout.split()
    assert fields[0] == "52S" and len(fields) == 7, run.stdout
    reported = np.array([float(v) for v in fields[4:]])

    to_cart = pyproj.Transformer.from_pipeline("+proj=cart +ellps=WGS84")
    X = np.array(to_cart.transform(point[1], point[0], point[2]))
    p = draws(x, C, 23)
    moved = seven_forward(p, X)
    to_utm = pyproj.Transformer.from_pipeline("+proj=pipeline +step +inv +proj=cart +ellps=WGS84 "
                                              "+step +proj=utm +zone=52 +ellps=WGS84")
    e, n, h = to_utm.transform(moved[:, 0], moved[:, 1], moved[:, 2])
    sample = np.array([np.std(n, ddof=1), np.std(e, ddof=1), np.std(h, ddof=1)])
    np.testing.assert_allclose(reported, sample, rtol=TOLERANCE, atol=2e-6)
