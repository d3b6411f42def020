"""Error ellipses, local-frame tests and external reliability of `tervala fit`, against weighted least
squares rebuilt in NumPy: the design matrix (for the seven-parameter fits by central differences of a
similarity written out here), the parameters' cofactor matrix, and the eigenvectors of each point's
covariance."""

import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

NETWORK = pathlib.Path(__file__).resolve().parents[2] / "tests" / "cli" / "inputs" / "blunder-network.txt"
WGS84 = (6378137.0, 1 / 298.257223563)


def run_fit(scratch, model, rows, *options):
    tool = os.environ.get("TERVALA_TOOL")
    if not tool or not os.path.isfile(tool):
        pytest.skip("the tervala tool is not built (TERVALA_TOOL)")
    points, report = scratch / f"{model}.txt", scratch / f"{model}.json"
    points.write_text("".join(f"P{k} " + " ".join(repr(float(v)) for v in row) + "\n" for k, row in enumerate(rows)))
    run = subprocess.run([tool, "fit", model, str(points), "--json", str(report), *options], capture_output=True,
                         text=True)
    assert run.returncode == 0, run.stderr
    return run.stdout, json.loads(report.read_text())


def lambda0(alpha0=0.001, power=0.80):
    stats = pytest.importorskip("scipy.stats")
    optimize = pytest.importorskip("scipy.optimize")
    k2 = stats.norm.isf(alpha0 / 2) ** 2
    return optimize.brentq(lambda x: stats.ncx2.sf(k2, 1, x) - power, 1e-6, 100, xtol=1e-14, rtol=1e-14)


def ellipse(c):
    """Semi-axes and the major axis' angle from the first axis towards the second (degrees, [0, 180)) of a 2 x 2
    covariance, from its eigenvectors."""
    values, vectors = np.linalg.eigh(c)
    major = vectors[:, 1]
    return np.sqrt(values[1]), np.sqrt(values[0]), np.degrees(np.arctan2(major[1], major[0])) % 180


def same_angle(a, b, tol):
    return abs((a - b + 90) % 180 - 90) <= tol


def corners(lo, hi):
    return [(lo[0], lo[1]), (lo[0], hi[1]), (hi[0], hi[1]), (hi[0], lo[1])]


def external(Q, design, weights, mdb, jacobians):
    """For each observation i: max over the locations of |J Q A' P e_i| MDB_i, and where."""
    out = []
    for i in range(len(mdb)):
        dx = Q @ design.T @ weights[:, i] * mdb[i]
        shifts = [np.linalg.norm(J @ dx) for J in jacobians]
        out.append((max(shifts), int(np.argmax(shifts))))
    return out


def test_2d_helmert_ellipses_and_external_reliability_against_numpy(scratch):
    data = np.loadtxt(NETWORK, usecols=(1, 2, 3, 4))
    n = len(data)
    # Different standard deviations per point and coordinate, so the ellipses are not circles.
    sigma = np.c_[0.003 + 0.001 * np.arange(n), 0.007 - 0.0006 * np.arange(n)]
    _, j = run_fit(scratch, "helmert2d", np.c_[data, sigma])
    xy = data[:, :2] - data[:, :2].mean(axis=0)
    one, zero = np.ones(n), np.zeros(n)
    A = np.r_[np.c_[one, zero, xy[:, 0], -xy[:, 1]], np.c_[zero, one, xy[:, 1], xy[:, 0]]]  # x' rows, y' rows
    s = np.r_[sigma[:, 0], sigma[:, 1]]
    P = np.diag(1 / s**2)
    Q = np.linalg.inv(A.T @ P @ A)
    jac = lambda x, y: np.array([[1, 0, x, -y], [0, 1, y, x]])  # noqa: E731
    obs = {(o["point"], o["coordinate"]): o for o in j["observations"]}
    for k in range(n):
        major, minor, azimuth = ellipse(jac(*xy[k]) @ Q @ jac(*xy[k]).T)
        e = obs[f"P{k}", "x'"]["ellipse"]
        assert (e["semi_major"], e["semi_minor"]) == pytest.approx((major, minor), rel=1e-9)
        assert same_angle(e["azimuth"], azimuth, 1e-6), (k, e["azimuth"], azimuth)
        assert obs[f"P{k}", "y'"]["ellipse"] == e
    # External reliability: MDB_i = sigma_i sqrt(lambda0 / r_i), at the points and the box's corners.
    r = 1 - np.einsum("ij,jk,ik->i", A, Q, A) / s**2
    mdb = s * np.sqrt(lambda0() / r)
    box = corners(data[:, :2].min(axis=0) - data[:, :2].mean(axis=0), data[:, :2].max(axis=0) - data[:, :2].mean(axis=0))
    places = [jac(*p) for p in xy] + [jac(*c) for c in box]
    expected = external(Q, A, P, mdb, places)
    names = [f"P{k}" for k in range(n)] + [1, 2, 3, 4]
    for i, (value, at) in enumerate(expected):
        o = obs[f"P{i % n}", "x'" if i < n else "y'"]
        assert o["external"] == pytest.approx(value, rel=1e-8)
        assert o["external_at"] == ({"point": names[at]} if at < n else {"corner": names[at]})
    largest = max(expected)[0]
    assert j["external_reliability"]["largest"] == pytest.approx(largest, rel=1e-8)


def test_height_plane_external_reliability_against_numpy(scratch):
    """The height plane has no ellipse; an MDB error in one height difference tilts the plane, and the largest
    change of a transformed height is at a point or a corner of the positions' box."""
    rng = np.random.default_rng(11)
    n = 8
    xy = rng.uniform(0, 2500, (n, 2))
    hs = rng.uniform(50, 90, n)
    ht = hs + 30 + 2e-5 * xy[:, 0] - 1e-5 * xy[:, 1] + rng.normal(0, 0.005, n)
    sigma = rng.uniform(0.004, 0.01, n)
    _, j = run_fit(scratch, "height", np.c_[xy, hs, ht, sigma])
    assert j["ellipses"] is None
    centre = xy.mean(axis=0)
    A = np.c_[xy - centre, np.ones(n)]
    P = np.diag(1 / sigma**2)
    Q = np.linalg.inv(A.T @ P @ A)
    r = 1 - np.einsum("ij,jk,ik->i", A, Q, A) / sigma**2
    mdb = sigma * np.sqrt(lambda0() / r)
    places = [np.array([[*p - centre, 1]]) for p in list(xy) + corners(xy.min(axis=0), xy.max(axis=0))]
    for k, (value, at) in enumerate(external(Q, A, P, mdb, places)):
        o = j["observations"][k]
        assert o["point"] == f"P{k}" and o["external"] == pytest.approx(value, rel=1e-9)
        assert o["external_at"] == ({"point": f"P{at}"} if at < n else {"corner": at - n + 1})


def R1(a):
    c, s = np.cos(a), np.sin(a)
    return np.array([[1, 0, 0], [0, c, s], [0, -s, c]])


def R2(a):
    c, s = np.cos(a), np.sin(a)
    return np.array([[c, 0, -s], [0, 1, 0], [s, 0, c]])


def R3(a):
    c, s = np.cos(a), np.sin(a)
    return np.array([[c, s, 0], [-s, c, 0], [0, 0, 1]])


def similarity(p, x):
    """t + (1 + s 1e-6) R3(rz) R2(ry) R1(rx) x, rotations in arc-seconds (coordinate frame)."""
    r = np.radians(np.asarray(p[4:]) / 3600)
    return p[:3] + (1 + p[3] * 1e-6) * (R3(r[2]) @ R2(r[1]) @ R1(r[0]) @ x)


def jacobian(p, x):
    steps = np.array([1.0, 1.0, 1.0, 1.0, 0.1, 0.1, 0.1])  # large enough that rounding at 6e6 m stays below 1e-9
    cols = [(similarity(p + np.eye(7)[i] * h, x) - similarity(p - np.eye(7)[i] * h, x)) / (2 * h)
            for i, h in enumerate(steps)]
    return np.array(cols).T


def geodetic(X, a, f):
    e2 = f * (2 - f)
    p = np.hypot(X[0], X[1])
    lat = np.arctan2(X[2], p * (1 - e2))
    for _ in range(10):
        nu = a / np.sqrt(1 - e2 * np.sin(lat) ** 2)
        lat = np.arctan2(X[2], p * (1 - e2 * nu / (nu + p / np.cos(lat) - nu)))
    nu = a / np.sqrt(1 - e2 * np.sin(lat) ** 2)
    return lat, np.arctan2(X[1], X[0]), p / np.cos(lat) - nu


def geocentric(lat, lon, h, a, f):
    e2 = f * (2 - f)
    nu = a / np.sqrt(1 - e2 * np.sin(lat) ** 2)
    return np.array([(nu + h) * np.cos(lat) * np.cos(lon), (nu + h) * np.cos(lat) * np.sin(lon),
                     (nu * (1 - e2) + h) * np.sin(lat)])


def enu(lat, lon):
    return np.array([[-np.sin(lon), np.cos(lon), 0],
                     [-np.sin(lat) * np.cos(lon), -np.sin(lat) * np.sin(lon), np.cos(lat)],
                     [np.cos(lat) * np.cos(lon), np.cos(lat) * np.sin(lon), np.sin(lat)]])


def test_seven_parameter_ellipses_local_tests_and_external_reliability_against_numpy(scratch):
    rng = np.random.default_rng(27)
    n = 7
    a, f = WGS84
    lat, lon, h = np.radians(rng.uniform(60, 60.4, n)), np.radians(rng.uniform(24, 25, n)), rng.uniform(0, 150, n)
    src = np.array([geocentric(*g, a, f) for g in zip(lat, lon, h)])
    truth = np.array([-96.06, -82.43, -121.75, 1.5, 4.8, 0.35, -1.38])
    dst = np.array([similarity(truth, x) for x in src]) + rng.normal(0, 0.01, src.shape)
    s_src = rng.uniform(0.002, 0.006, (n, 3))
    s_dst = rng.uniform(0.006, 0.02, (n, 3))
    _, j = run_fit(scratch, "bursa-wolf", np.c_[src, dst, s_src, s_dst])

    # Gauss-Newton on the misclosures, weights Inv(m^2 R Qs R' + Qt) per point.
    p = np.zeros(7)
    for _ in range(6):
        r = np.radians(p[4:] / 3600)
        mR = (1 + p[3] * 1e-6) * (R3(r[2]) @ R2(r[1]) @ R1(r[0]))
        W = [np.linalg.inv(mR @ np.diag(s_src[k] ** 2) @ mR.T + np.diag(s_dst[k] ** 2)) for k in range(n)]
        J = [jacobian(p, src[k]) for k in range(n)]
        N = sum(J[k].T @ W[k] @ J[k] for k in range(n))
        U = sum(J[k].T @ W[k] @ (dst[k] - similarity(p, src[k])) for k in range(n))
        p = p + np.linalg.solve(N, U)
    Q = np.linalg.inv(N)
    v = [similarity(p, src[k]) - dst[k] for k in range(n)]
    lam = lambda0()

    ell = {e["point"]: e for e in j["ellipses"]["points"]}
    local = {(o["point"], o["axis"]): o for o in j["local"]}
    obs = {(o["point"], o["coordinate"]): o for o in j["observations"]}
    for k in range(n):
        E = enu(*geodetic(dst[k], a, f)[:2])
        C = E @ J[k] @ Q @ J[k].T @ E.T  # east, north, up
        major, minor, azimuth = ellipse(C[[1, 0]][:, [1, 0]])  # north first: azimuth from north towards east
        e = ell[f"P{k}"]
        assert (e["semi_major"], e["semi_minor"]) == pytest.approx((major, minor), rel=1e-6)
        assert same_angle(e["azimuth"], azimuth, 1e-4), (k, e["azimuth"], azimuth)
        assert e["sigma"] == pytest.approx(np.sqrt(np.diag(C))[[1, 0, 2]], rel=1e-6)
        # w-test and MDB of a bias along each local axis c: c'Pv / sqrt(c'P Qvv P c).
        Qvv = np.linalg.inv(W[k]) - J[k] @ Q @ J[k].T
        for c, axis in zip(E, "enu"):
            Pc = W[k] @ c
            got = local[f"P{k}", axis]
            assert got["residual"] == pytest.approx(c @ v[k], abs=1e-7)
            assert got["w"] == pytest.approx(Pc @ v[k] / np.sqrt(Pc @ Qvv @ Pc), abs=1e-5)
            assert got["mdb"] == pytest.approx(np.sqrt(lam / (Pc @ Qvv @ Pc)), rel=1e-6)

    # External reliability of each geocentric misclosure: MDB from P Qvv P, shifts at the points and at the
    # corners of the source points' latitude/longitude box at their mean height.
    geo = np.array([geodetic(x, a, f) for x in src])
    box = [geocentric(la, lo, geo[:, 2].mean(), a, f)
           for la, lo in corners(geo[:, :2].min(axis=0), geo[:, :2].max(axis=0))]
    places = [jacobian(p, x) for x in list(src) + box]
    for k in range(n):
        Qvv = np.linalg.inv(W[k]) - J[k] @ Q @ J[k].T
        K = W[k] @ Qvv @ W[k]
        mdb = np.sqrt(lam / np.diag(K))
        for i, (value, at) in enumerate(external(Q, J[k], W[k], mdb, places)):
            o = obs[f"P{k}", "XYZ"[i]]
            assert o["mdb"] == pytest.approx(mdb[i], rel=1e-6)
            assert o["external"] == pytest.approx(value, rel=1e-5)
            assert o["external_at"] == ({"point": f"P{at}"} if at < n else {"corner": at - n + 1})
    # Molodensky-Badekas is the same model about the centroid: the same transformed positions and precision.
    _, mb = run_fit(scratch, "molodensky-badekas", np.c_[src, dst, s_src, s_dst])
    for key in ("semi_major", "semi_minor"):
        assert [e[key] for e in mb["ellipses"]["points"]] == pytest.approx([ell[f"P{k}"][key] for k in range(n)],
                                                                           rel=1e-7)
    assert [o["external"] for o in mb["observations"]] == pytest.approx([o["external"] for o in j["observations"]],
                                                                        rel=1e-7)
    assert np.allclose(np.radians(np.array(j["external_reliability"]["corners"])[:, :2]),
                       [(la, lo) for la, lo in corners(geo[:, :2].min(axis=0), geo[:, :2].max(axis=0))], atol=1e-12)
