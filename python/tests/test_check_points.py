"""The fit commands' points outside the solution (check points, leave one out, points removed by
snooping) and the B-method levels in the JSON report, against independent computations: weighted
least squares in NumPy, the quantiles of SciPy and the seven-parameter transformation of PROJ."""

import json
import os
import pathlib
import subprocess

import numpy as np
import pytest

NETWORK = pathlib.Path(__file__).resolve().parents[2] / "tests" / "cli" / "inputs" / "blunder-network.txt"


def tool_path():
    tool = os.environ.get("TERVALA_TOOL")
    if not tool or not os.path.isfile(tool):
        pytest.skip("the tervala tool is not built (TERVALA_TOOL)")
    return tool


def fit(scratch, model, points, *options, expect=0):
    """Runs `tervala fit MODEL` on a file (or rows written to one) and returns (exit, JSON, stderr)."""
    if not isinstance(points, pathlib.Path):
        path = scratch / f"{model}.txt"
        path.write_text("".join(f"P{k} " + " ".join(repr(float(v)) for v in row) + "\n"
                                for k, row in enumerate(points)))
        points = path
    report = scratch / f"{model}.json"
    report.unlink(missing_ok=True)
    run = subprocess.run([tool_path(), "fit", model, str(points), "--json", str(report), *options],
                         capture_output=True, text=True)
    assert run.returncode == expect, run.stderr
    return run, json.loads(report.read_text()) if expect == 0 else None


def helmert_design(xy):
    """Rows of x' = t1 + c x - d y and y' = t2 + d x + c y, unknowns (t1, t2, c, d), x' rows then y' rows."""
    n = len(xy)
    one, zero = np.ones(n), np.zeros(n)
    return np.r_[np.c_[one, zero, xy[:, 0], -xy[:, 1]], np.c_[zero, one, xy[:, 1], xy[:, 0]]]


def weighted_fit(A, l, sigma):
    """x, residuals (computed minus observed), their cofactors diag(Qvv) and redundancy numbers."""
    P = np.diag(1 / sigma**2)
    Qxx = np.linalg.inv(A.T @ P @ A)
    x = Qxx @ A.T @ P @ l
    qvv = sigma**2 - np.einsum("ij,jk,ik->i", A, Qxx, A)
    return x, A @ x - l, qvv, qvv / sigma**2, Qxx


def load_network():
    ids = np.loadtxt(NETWORK, usecols=0, dtype=str)
    data = np.loadtxt(NETWORK, usecols=(1, 2, 3, 4))
    return ids, data[:, :2] - 2000.0, data[:, 2:] - np.array([200000.0, 457000.0])


def by_point(report_part):
    return {p["point"]: p for p in report_part["points"]}


def test_check_points_and_leave_one_out_match_numpy_fits_without_them(scratch):
    ids, xy, target = load_network()
    sigma = 0.004
    run, j = fit(scratch, "helmert2d", NETWORK, "--sigma", str(sigma), "--check", "P3,P7", "--leave-one-out")
    assert "Check points (held out of the fit)" in run.stdout and "Leave one out" in run.stdout

    def misfit_without(left_out):
        keep = ~np.isin(ids, left_out)
        A = helmert_design(xy[keep])
        x, *_, Qxx = weighted_fit(A, np.r_[target[keep, 0], target[keep, 1]], np.full(2 * keep.sum(), sigma))
        out = helmert_design(xy[~keep])
        k = (~keep).sum()
        e = out @ x - np.r_[target[~keep, 0], target[~keep, 1]]
        sd = np.sqrt(sigma**2 + np.einsum("ij,jk,ik->i", out, Qxx, out))
        return {pid: (e[i], e[i + k], sd[i], sd[i + k]) for i, pid in enumerate(ids[~keep])}

    checks = misfit_without(["P3", "P7"])
    got = by_point(j["check"])
    assert sorted(got) == ["P3", "P7"]
    for pid, (ex, ey, sx, sy) in checks.items():
        obs = {o["coordinate"]: o for o in got[pid]["observations"]}
        assert obs["x'"]["residual"] == pytest.approx(ex, abs=1e-9)
        assert obs["y'"]["residual"] == pytest.approx(ey, abs=1e-9)
        assert obs["x'"]["sigma_residual"] == pytest.approx(sx, rel=1e-9)
        assert obs["y'"]["sigma_residual"] == pytest.approx(sy, rel=1e-9)
        assert got[pid]["misfit"] == pytest.approx(np.hypot(ex, ey), abs=1e-9)
    e = np.array(list(checks.values()))[:, :2]
    assert j["check"]["rms"]["x'"] == pytest.approx(np.sqrt(np.mean(e[:, 0] ** 2)), abs=1e-9)
    assert j["check"]["rms"]["y'"] == pytest.approx(np.sqrt(np.mean(e[:, 1] ** 2)), abs=1e-9)
    assert j["check"]["rms_misfit"] == pytest.approx(np.sqrt(np.mean((e**2).sum(axis=1))), abs=1e-9)
    # The check points are not in the solution: 6 points, 12 observations, redundancy 8.
    assert j["redundancy"] == 8 and {o["point"] for o in j["observations"]} == set(ids) - {"P3", "P7"}

    # Leave one out: each of the 6 points of the solution against the fit of the other 5 (still without
    # the check points).
    loo = by_point(j["leave_one_out"])
    assert sorted(loo) == sorted(set(ids) - {"P3", "P7"})
    for pid in loo:
        ex, ey, *_ = misfit_without(["P3", "P7", pid])[pid]
        obs = {o["coordinate"]: o["residual"] for o in loo[pid]["observations"]}
        assert (obs["x'"], obs["y'"]) == pytest.approx((ex, ey), abs=1e-9), pid


def test_removed_point_residual_against_final_solution_and_w_with_it_put_back(scratch):
    """P6 (6 cm blunder in x') is removed; its residuals come from the fit of the other seven, its w and
    redundancy numbers are those of the full fit of all eight (Baarda's w = v / sigma_v)."""
    ids, xy, target = load_network()
    sigma = 0.004
    run, j = fit(scratch, "helmert2d", NETWORK, "--sigma", str(sigma), "--snoop")
    assert "Points removed by data snooping, against the final solution" in run.stdout
    (removed,) = j["removed"]
    assert removed["point"] == "P6"
    obs = {o["coordinate"]: o for o in removed["observations"]}

    keep = ids != "P6"
    x, *_ = weighted_fit(helmert_design(xy[keep]), np.r_[target[keep, 0], target[keep, 1]],
                         np.full(2 * keep.sum(), sigma))
    six = helmert_design(xy[~keep]) @ x - target[~keep].T.ravel()
    assert obs["x'"]["residual"] == pytest.approx(six[0], abs=1e-9)
    assert obs["y'"]["residual"] == pytest.approx(six[1], abs=1e-9)
    assert obs["x'"]["residual"] == pytest.approx(-0.0611, abs=5e-5)  # the documented example

    _, v, qvv, r, _ = weighted_fit(helmert_design(xy), np.r_[target[:, 0], target[:, 1]], np.full(16, sigma))
    k = int(np.flatnonzero(~keep)[0])
    for coordinate, row in (("x'", k), ("y'", k + 8)):
        assert obs[coordinate]["w"] == pytest.approx(v[row] / np.sqrt(qvv[row]), rel=1e-8, abs=1e-6)
        assert obs[coordinate]["redundancy_number"] == pytest.approx(r[row], rel=1e-9)
    assert obs["x'"]["rejected"] and not obs["y'"]["rejected"]


def test_snoop_says_when_it_removes_nothing(scratch):
    ids, xy, target = load_network()
    clean = scratch / "clean.txt"
    clean.write_text("".join(f"{i} {a + 2000:.4f} {b + 2000:.4f} {c + 200000:.4f} {d + 457000:.4f}\n"
                             for i, (a, b), (c, d) in zip(ids, xy, target) if i != "P6"))
    run, j = fit(scratch, "helmert2d", clean, "--sigma", "0.004", "--snoop")
    assert "Data snooping: no point removed" in run.stdout and j["removed"] == []


@pytest.mark.parametrize("alpha0, power", [(0.001, 0.80), (0.01, 0.80), (0.05, 0.80), (0.001, 0.90), (0.05, 0.5)])
def test_b_method_levels_at_the_top_of_the_report(scratch, alpha0, power):
    """lambda0: the non-centrality at which the two-sided w-test at alpha0 rejects with the power asked for
    (Baarda's tables: 17.07 at 0.1 % and 80 %, 11.68 at 1 %, 7.85 at 5 %)."""
    stats = pytest.importorskip("scipy.stats")
    optimize = pytest.importorskip("scipy.optimize")
    k2 = stats.norm.isf(alpha0 / 2) ** 2
    lam = optimize.brentq(lambda x: stats.ncx2.sf(k2, 1, x) - power, 1e-6, 100, xtol=1e-14, rtol=1e-14)
    _, j = fit(scratch, "helmert2d", NETWORK, "--sigma", "0.004", "--alpha", "0.1", "--alpha0", str(alpha0),
               "--power", str(power))
    assert (j["power"], j["alpha"], j["alpha0"]) == (power, 0.1, alpha0)
    assert j["lambda0"] == pytest.approx(lam, rel=1e-10)
    # The MDB of an uncorrelated observation is sigma sqrt(lambda0 / r_i).
    for o in j["observations"]:
        assert o["mdb"] == pytest.approx(0.004 * np.sqrt(lam / o["redundancy_number"]), rel=1e-9)
    published = {(0.001, 0.80): 17.07, (0.01, 0.80): 11.68, (0.05, 0.80): 7.85}
    if (alpha0, power) in published:
        assert j["lambda0"] == pytest.approx(published[alpha0, power], abs=0.006)


def test_height_plane_check_points_match_numpy(scratch):
    rng = np.random.default_rng(5)
    xy = rng.uniform(0, 3000, (9, 2))
    hs = rng.uniform(100, 200, 9)
    ht = hs + 31.2 + 3e-5 * (xy[:, 0] - 1500) - 2e-5 * (xy[:, 1] - 1500) + rng.normal(0, 0.004, 9)
    _, j = fit(scratch, "height", np.c_[xy, hs, ht], "--sigma", "0.005", "--check", "P2,P8")
    keep = np.ones(9, bool)
    keep[[2, 8]] = False
    A = np.c_[xy, np.ones(9)]
    x, *_ = weighted_fit(A[keep], (ht - hs)[keep], np.full(7, 0.005))
    expected = A[~keep] @ x - (ht - hs)[~keep]
    got = by_point(j["check"])
    assert [got[p]["observations"][0]["residual"] for p in ("P2", "P8")] == pytest.approx(expected, abs=1e-10)


def test_seven_parameter_check_points_equal_the_fit_without_them_applied_by_proj(scratch):
    """The misfit of check points from --check equals fitting the other points alone and transforming the
    check points with PROJ's Helmert (coordinate frame, exact rotations)."""
    pyproj = pytest.importorskip("pyproj")
    rng = np.random.default_rng(8)
    lat, lon, h = np.radians(rng.uniform(59, 60.5, 9)), np.radians(rng.uniform(23, 26, 9)), rng.uniform(0, 200, 9)
    a, f = 6378137.0, 1 / 298.257222101
    e2 = f * (2 - f)
    nu = a / np.sqrt(1 - e2 * np.sin(lat) ** 2)
    src = np.c_[(nu + h) * np.cos(lat) * np.cos(lon), (nu + h) * np.cos(lat) * np.sin(lon),
                (nu * (1 - e2) + h) * np.sin(lat)]
    helmert = ("+proj=helmert +x=-96.062 +y=-82.428 +z=-121.753 +rx=4.801 +ry=0.345 +rz=-1.376 +s=1.496 "
               "+convention=coordinate_frame +exact")
    forward = pyproj.Transformer.from_pipeline(helmert)
    dst = np.column_stack(forward.transform(*src.T))
    dst += rng.normal(0, 0.01, dst.shape)
    rows = np.c_[src, dst]
    _, j = fit(scratch, "bursa-wolf", rows, "--sigma", "0.01", "--check", "P1,P6")
    proj_file = scratch / "reduced.proj"
    reduced = scratch / "reduced.txt"
    reduced.write_text("".join(f"P{k} " + " ".join(repr(float(v)) for v in row) + "\n"
                               for k, row in enumerate(rows) if k not in (1, 6)))
    subprocess.run([tool_path(), "fit", "bursa-wolf", str(reduced), "--sigma", "0.01", "--write-proj",
                    str(proj_file)], check=True, capture_output=True)
    fitted = pyproj.Transformer.from_pipeline(proj_file.read_text().strip())
    got = by_point(j["check"])
    for k in (1, 6):
        expected = np.array(fitted.transform(*src[k])) - dst[k]
        residual = [o["residual"] for o in got[f"P{k}"]["observations"]]
        assert residual == pytest.approx(expected, abs=2e-4)
        assert got[f"P{k}"]["misfit"] == pytest.approx(np.linalg.norm(expected), abs=2e-4)


@pytest.mark.parametrize("options, message", [
    (["--check", "P3,P9"], "--check: no point 'P9' in the file"),
    (["--check", "P3,P3"], "--check: point 'P3' is named twice"),
    (["--check", "P1,P2,P3,P4,P5,P6,P7"], "--check holds 7 of the 8 points out of the fit"),
    (["--power", "0.0005"], "--power 0.0005 must exceed --alpha0 0.001"),
    (["--power", "1"], "--power: must lie strictly between 0 and 1"),
])
def test_refusals(scratch, options, message):
    run, _ = fit(scratch, "helmert2d", NETWORK, "--sigma", "0.004", *options,
                 expect=1 if "holds" in message else 2)
    assert message in run.stderr
    assert not (scratch / "helmert2d.json").exists()


class _Page(__import__("html.parser").parser.HTMLParser):
    """Collects the cells and list items of a page, its tags (to check they nest) and every attribute."""

    VOID = {"meta", "br", "img", "hr", "link", "input", "circle", "line", "path", "rect", "ellipse"}

    def __init__(self):
        super().__init__()
        self.cells, self.open, self.attributes, self.text, self.errors = [], [], [], "", []
        self.rows = []  # the cells of each table row, in order

    def handle_starttag(self, tag, attrs):
        self.attributes += attrs
        if tag == "tr":
            self.rows.append([])
        if tag in ("td", "th", "li"):
            self.text = ""
        if tag not in self.VOID:
            self.open.append(tag)

    def handle_startendtag(self, tag, attrs):
        self.attributes += attrs

    def handle_endtag(self, tag):
        if tag in self.VOID:
            return
        if not self.open or self.open[-1] != tag:
            self.errors.append(f"</{tag}> closes {self.open[-1:]}")
        else:
            self.open.pop()
        if tag in ("td", "th", "li"):
            self.cells.append(self.text.strip())
            if tag != "li" and self.rows:
                self.rows[-1].append(self.text.strip())

    def handle_data(self, data):
        self.text += data


@pytest.mark.parametrize("model, points, options", [
    ("helmert2d", NETWORK, ["--sigma", "0.004", "--snoop", "--check", "P3", "--leave-one-out"]),
    ("bursa-wolf", NETWORK.parent / "calibration-3d.txt", ["--sigma", "0.006", "--leave-one-out"]),
])
def test_html_report_is_self_contained_and_holds_the_jsons_numbers(scratch, model, points, options):
    """--html: a page that parses with every tag closed, prints on A4, fetches nothing, and shows the
    figures of the JSON report of the same run (rounded as printed)."""
    page_path = scratch / f"{model}.html"
    _, report = fit(scratch, model, points, *options, "--html", str(page_path))
    text = page_path.read_text(encoding="utf-8")
    page = _Page()
    page.feed(text)
    page.close()
    assert not page.errors and page.open == [], (page.errors, page.open)
    assert text.startswith("<!DOCTYPE html>") and "@page { size: A4" in text and "@media print" in text
    # Nothing outside the file: no scripts, links, imports or addresses other than the page's own #ids.
    for name, value in page.attributes:
        assert name not in ("src", "href") or value.startswith("#"), (name, value)
        assert "url(" not in (value or "") or (value or "").startswith("url(#"), value
    assert "@import" not in text and "<script" not in text and "<link" not in text and "<img" not in text
    assert "http://" not in text.replace('xmlns="http://www.w3.org/2000/svg"', "") and "https://" not in text
    cells = set(page.cells)
    for p in report["parameters"]:
        decimals = 10 if p["unit"] == "m/m" else 6
        assert f"{p['value']:.{decimals}f}" in cells and f"{p['sigma']:.{decimals}f}" in cells, p
        if p["alternative_unit"]:
            assert f"{p['alternative_value']:.{12 if p['alternative_unit'] == 'factor' else 4}f}" in cells, p
    rows = [tuple(r) for r in page.rows]
    for o in report["observations"]:
        assert (o["point"], o["coordinate"], f"{o['residual']:.4f}", f"{o['redundancy_number']:.3f}",
                f"{o['normalised_residual']:.2f}", f"{o['w']:.2f}", f"{o['mdb']:.4f}",
                f"{o['external']:.4f}", "REJECTED" if o["rejected"] else "") in rows, o
    # The external-reliability summary: the largest shift, which observation causes it and where.
    ext = report["external_reliability"]
    at = ext["at"]["point"] if "point" in ext["at"] else f"corner {ext['at']['corner']}"
    assert any(r[0] == "External" and r[1].startswith(
        f"an undetected error of one MDB moves a transformed position by at most {ext['largest']:.4f} m "
        f"({ext['coordinate']} of {ext['point']}, at {at};") for r in rows), ext
    # The seven-parameter tests in each point's east/north/up frame, row by row.
    assert ("local" in report) == (model == "bursa-wolf")
    for t in report.get("local", []):
        assert (t["point"], t["axis"], f"{t['residual']:.4f}", f"{t['redundancy_number']:.3f}",
                f"{t['normalised_residual']:.2f}", f"{t['w']:.2f}", f"{t['mdb']:.4f}",
                ">" if t["above_critical"] else "") in rows, t
    # Leave one out: every point of the solution, each coordinate's misfit, the point's misfit on its last row.
    loo = report["leave_one_out"]
    assert len(loo["points"]) == len(report["observations"]) // len(loo["rms"])
    for p in loo["points"]:
        for k, o in enumerate(p["observations"]):
            shown = [f"{v:.{d}f}" if v is not None else "-" for v, d in
                     ((o["residual"], 4), (o["sigma_residual"], 4), (o["w"], 2), (o["redundancy_number"], 3),
                      (o["mdb"], 4))]
            misfit = f"{p['misfit']:.4f}" if k + 1 == len(p["observations"]) else ""
            assert (p["point"], o["coordinate"], *shown, misfit) in rows, (p["point"], o)
    assert f"|v| {loo['rms_misfit']:.4f} m" in text
    # The sections in the order of the text report, each there when the JSON has its part.
    headings = [("<h2>Observations", True),
                ("<h2>The same in each point's local east/north/up frame", "local" in report),
                ("<h2>Error ellipses", report["ellipses"] is not None), ("<h2>Points removed", report["removed"]),
                ("<h2>Check points", report["check"]), ("<h2>Leave one out", True), ("<h2>Residuals", True)]
    for h, present in headings:
        assert (h in text) == bool(present), h
    found = [text.find(h) for h, _ in headings if h in text]
    assert found == sorted(found)
    if report["check"]:
        assert {f"{o['residual']:.4f}" for p in report["check"]["points"] for o in p["observations"]} <= cells
    assert report["metadata"]["date"] in cells and report["metadata"]["command_line"] in cells
    # The residual plot inline, an error ellipse at every point drawn (all but those snooping removed).
    drawn = report["metadata"]["inputs"][0]["points"] - len(report["removed"])
    assert text.count("<svg") == 1 and text.count("<ellipse") == drawn


def test_html_report_never_replaces_the_point_file(scratch):
    """An output named like the input is refused before anything is written; the points stay as they were."""
    points = scratch / "points.txt"
    points.write_bytes(NETWORK.read_bytes())
    run = subprocess.run([tool_path(), "fit", "helmert2d", str(points), "--sigma", "0.004", "--html", str(points)],
                         capture_output=True, text=True)
    assert run.returncode == 2 and "--html" in run.stderr and "common-point file" in run.stderr
    assert points.read_bytes() == NETWORK.read_bytes()
