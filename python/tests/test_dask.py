"""Tervala objects across processes: pickling, and tervala.dask on a two-process LocalCluster."""

import copy
import os
import pickle
import re
import signal
import time

import numpy as np
import pytest

import tervala
import tervala.dask as tdask
from conftest import GRS80, egm96_folder, same_bits, write_grid_file

try:
    import dask
    import dask.array as da
    import dask.dataframe as dd
    import distributed
    import pandas as pd
except ImportError as error:
    dask, MISSING = None, str(error)

BESSEL = (6377397.155, 299.1528128)
# Illustrative Tokyo -> GRS80 parameters; the Molodensky-Badekas origin is a point in Korea.
BURSA = (-115.80, 474.99, 674.11, 6.43, 1.16, -2.31, -1.63)
BADEKAS = (-3044439.0, 4043336.0, 3867062.0) + BURSA


def make_grid(folder, name="kgeoid14.dat"):
    """A 0.25-degree regional grid over Korea with a smooth, nowhere-zero surface."""
    lat = 44.0 - 0.25 * np.arange(61)[:, None]
    lon = 122.0 + 0.25 * np.arange(49)[None, :]
    write_grid_file(folder / name, 44.0, 122.0, 0.25, 0.25, 25.0 + np.sin(np.radians(7 * lat)) * np.cos(np.radians(5 * lon)))
    return folder / name


def points(n, seed=5):
    rng = np.random.default_rng(seed)
    return rng.uniform(33.0, 39.0, n), rng.uniform(124.0, 130.0, n)


def fingerprint(t):
    """Everything an object gives back: accessors, and results that depend on its ellipsoid and data."""
    lat, lon = points(40)
    values = [get(i) for get, n in ((t.GetGeocentric, 3), (t.GetGeodetic, 3), (t.GetTM, 3), (t.GetUTM, 3),
                                    (t.Get2DH, 3), (t.GetdLLH, 3), (t.GetHeightParameters, 3), (t.GetRotOrigin, 3),
                                    (t.Get2DHelmertParameters, 4), (t.GetSevenParameters, 7), (t.GetResidual2D, 30),
                                    (t.GetResidualH, 30), (t.GetResidual, 30)) for i in range(n)]
    values += [t.Get2DHelmertCovariance(i, j) for i in range(4) for j in range(4)]
    values += [t.GetSevenCovariance(i, j) for i in range(7) for j in range(7)] + [t.GetSigma(), t.GetHeightMeanaccuracy()]
    values += list(np.ravel(t.geodetic_to_tm(38.0, 127.0, 6e5, 2e5, 1.0, lat, lon)))
    for height, n in ((t.kegm_geoid_height, 40), (t.egm96_geoid_height, 3)):
        try:
            values += list(height(lat[:n], lon[:n]))
        except RuntimeError:  # nothing loaded
            values.append(-1.0)
    return np.array(values, dtype=np.float64)


def fitted(t):
    """The four estimators run on one object, leaving their results in it."""
    lat, lon = points(8, seed=11)
    t.Setup_Ellipsoid(*BESSEL)
    src = np.column_stack(t.geodetic_to_geocentric(lat, lon, 50.0))
    t.SetParameters_Bursa_WolfModel(*BURSA)
    dst = np.column_stack(t.bursa_wolf(*src.T)) + np.random.default_rng(3).normal(0, 0.02, src.shape)
    t.SevenParameters_Bursa_WolfModel(src, dst)
    t.SevenParameters_Molodensky_BadekasModel(src, dst)
    xy = np.column_stack([lat * 1e4, lon * 1e4])
    t.Parameters_2DHelmert(xy, xy * 1.00001 + 3.0)
    t.Parameters_HeightTrans(xy[0, 1], xy[0, 0], xy, lat, lat + 0.5)
    t.Geodetic_to_TM(38.0, 127.0, 6e5, 2e5, 1.0, 37.5, 127.3, 12.0)
    t.Geodetic_to_UTM(0, 129.0, 37.5, 127.3, 12.0)


def load_grid(t, folder):
    t.SetDataFolder(folder)
    make_grid(folder)
    t.LoadKEGMData(14)


# state -> the steps that make it, given the object and a scratch folder; files it loads
STATES = {
    "no ellipsoid": (lambda t, folder: None, 0),
    "ellipsoid and parameters": (lambda t, folder: (t.Setup_Ellipsoid(*GRS80),
                                                    t.SetParameters_Molodensky_BadekasModel(*BADEKAS)), 0),
    "after the four fits": (lambda t, folder: fitted(t), 0),
    "loaded grid": (lambda t, folder: (t.Setup_Ellipsoid(*GRS80), load_grid(t, folder)), 1),
    "assigned a copy of a loaded grid": (lambda t, folder: (load_grid(u := tervala.Tervala(), folder),
                                                            t.assign(copy.copy(u))), 1),
    "loaded grid and coefficients, fitted": (lambda t, folder: (
        load_grid(t, folder), t.SetDataFolder(egm96_folder()), t.LoadEGMData(), fitted(t)), 2),
}


@pytest.mark.parametrize("state", STATES)
def test_pickle_round_trip_keeps_every_result(state, scratch):
    t = tervala.Tervala()
    STATES[state][0](t, scratch)
    tervala.Tervala.SetDataFolder(None)  # the copy must not depend on the folder setting
    loads = tervala._tervala._file_loads()
    copies = [pickle.loads(pickle.dumps(t)) for _ in range(3)]
    assert tervala._tervala._file_loads() - loads <= STATES[state][1]  # once, not per copy
    assert all(same_bits(fingerprint(u), fingerprint(t)) for u in copies)
    # Data travels by path: the pickle is small whatever is loaded.
    assert len(pickle.dumps(t)) < 16384


# A grid replaced under the same name is refused, not read with the old
# header: another shape, or the same shape with another origin or spacing.
@pytest.mark.parametrize("north, west, step, shape", [
    (44.0, 122.0, 0.5, (31, 25)),     # another shape
    (45.0, 122.0, 0.25, (61, 49)),    # the same shape a degree further north
    (44.0, 121.75, 0.25, (61, 49)),   # another west edge
    (44.0, 122.0, 0.2, (61, 49)),     # another spacing
])
def test_unpickling_a_replaced_grid_is_refused(scratch, north, west, step, shape):
    t = tervala.Tervala()
    load_grid(t, scratch)
    state = pickle.dumps(t)
    write_grid_file(scratch / "kgeoid14.dat", north, west, step, step, np.full(shape, 20.0))
    with pytest.raises(tervala.DataFileError, match="not the grid the object was pickled with"):
        pickle.loads(state)


# ---- Dask --------------------------------------------------------------------------

@pytest.fixture(scope="module")
def client():
    if dask is None:
        pytest.skip(f"Dask is not installed ({MISSING}; Debian python3-dask python3-distributed python3-pandas)")
    cluster = distributed.LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                                       dashboard_address=None, silence_logs=40)
    with distributed.Client(cluster) as c:
        yield c
    cluster.close()


# The loads a worker made (a lambda: the workers cannot import this file).
WORKER_LOADS = lambda: __import__("tervala")._tervala._file_loads()  # noqa: E731
N = 1_000_000
GRID_SHAPE = (1000, 1000)
CHUNKS = (250, 1000)
# name, arguments from the points p (2-D arrays of GRID_SHAPE), points used (None: all).
FUNCTIONS = [
    ("geodetic_to_geocentric", lambda p: (p["lat"], p["lon"], p["h"]), None),
    ("geocentric_to_geodetic", lambda p: (p["X"], p["Y"], p["Z"]), None),
    ("geodetic_to_tm", lambda p: (38.0, 127.0, 6e5, 2e5, 0.9999, p["lat"], p["lon"]), None),
    ("tm_to_geodetic", lambda p: (38.0, 127.0, 6e5, 2e5, 0.9999, p["N"], p["E"]), None),
    # a central meridian per row, broadcast across the columns
    ("geodetic_to_utm", lambda p: (0, p["meridian"], p["lat"], p["lon"]), None),
    ("bursa_wolf", lambda p: (p["X"], p["Y"], p["Z"]), None),
    ("inv_bursa_wolf", lambda p: (p["X"], p["Y"], p["Z"]), None),
    ("molodensky_badekas", lambda p: (p["X"], p["Y"], p["Z"]), None),
    ("inv_molodensky_badekas", lambda p: (p["X"], p["Y"], p["Z"]), None),
    ("kegm_geoid_height", lambda p: (p["lat"], p["lon"]), None),
    # the synthesis takes half a millisecond a point: 400 points
    ("egm96_geoid_height", lambda p: (p["lat"], p["lon"]), (2, 200)),
]


def point_set(t):
    lat, lon = (a.reshape(GRID_SHAPE) for a in points(N, seed=7))
    X, Y, Z = t.geodetic_to_geocentric(lat, lon, 30.0)
    N_, E = t.geodetic_to_tm(38.0, 127.0, 6e5, 2e5, 0.9999, lat, lon)
    meridian = np.where(np.arange(GRID_SHAPE[0]) % 2 == 0, 129.0, 123.0)[:, None]
    return dict(lat=lat, lon=lon, h=np.full(GRID_SHAPE, 30.0), X=X, Y=Y, Z=Z, N=N_, E=E, meridian=meridian)


def loaded_object(folder):
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    t.SetParameters_Bursa_WolfModel(*BURSA)
    t.SetParameters_Molodensky_BadekasModel(*BADEKAS)
    load_grid(t, folder)
    try:
        t.SetDataFolder(egm96_folder())
        t.LoadEGMData()
    except pytest.skip.Exception:  # the other functions are tested all the same
        return t, False
    return t, True


def test_every_function_on_the_cluster_equals_the_array_call(client, scratch):
    t, has_egm96 = loaded_object(scratch)
    p = point_set(t)
    loads_before = client.run(WORKER_LOADS)
    lazy, expected = [], []
    for name, args, subset in FUNCTIONS:
        if name == "egm96_geoid_height" and not has_egm96:
            continue
        values = args({k: v[:subset[0], :subset[1]] if subset and v.shape == GRID_SHAPE else v for k, v in p.items()})
        dask_args = [da.from_array(v, chunks=CHUNKS[:v.ndim] if subset is None else (1, -1)) if np.ndim(v) else v
                     for v in values]
        lazy.append(getattr(tdask, name)(t, *dask_args))
        expected.append(getattr(t, name)(*values))

    # The frame form and a value type's method, in the same computation.
    frame = dd.from_pandas(pd.DataFrame({"lat": p["lat"].ravel(), "lon": p["lon"].ravel()}), npartitions=6)
    lazy.append(tdask.geodetic_to_tm(t, 38.0, 127.0, 6e5, 2e5, 0.9999, "lat", "lon", frame=frame,
                                     names=("n", "e"))[["n", "e"]])
    expected.append(t.geodetic_to_tm(38.0, 127.0, 6e5, 2e5, 0.9999, p["lat"].ravel(), p["lon"].ravel()))
    utm = tervala.Utm(52, ellipsoid=tervala.Ellipsoid("GRS80"))
    lazy.append(tdask.apply(utm.forward, da.from_array(p["lon"], chunks=CHUNKS), p["lat"][:, :1], xy=True))
    expected.append(utm.forward(p["lon"], p["lat"][:, :1], xy=True))

    computed = dask.compute(*lazy)
    for (name, _, _), got, want in zip(FUNCTIONS + [("frame", 0, 0), ("apply", 0, 0)], computed, expected):
        if hasattr(got, "to_numpy"):
            got = tuple(got[c].to_numpy() for c in got.columns)
        got, want = (got, want) if isinstance(want, tuple) else ((got,), (want,))
        assert len(got) == len(want), name
        assert all(same_bits(g, w) for g, w in zip(got, want)), name

    # The grid (and the coefficients) were read at most once in each worker, although
    # dozens of tasks used them.
    loads = {w: n - loads_before[w] for w, n in client.run(WORKER_LOADS).items()}
    assert 1 <= max(loads.values()) <= 1 + int(has_egm96), loads


def test_a_worker_killed_mid_computation_is_replaced(client):
    t = tervala.Tervala()
    t.Setup_Ellipsoid(*GRS80)
    lat, lon = points(N, seed=9)
    X, Y, Z = t.geodetic_to_geocentric(lat, lon, 100.0)
    lazy = tdask.geocentric_to_geodetic(t, *(da.from_array(v, chunks=25_000) for v in (X, Y, Z)))
    pids = client.run(os.getpid)
    futures = client.compute(list(lazy))
    deadline = time.monotonic() + 30
    while not any(client.processing().values()) and time.monotonic() < deadline:
        time.sleep(0.005)
    time.sleep(0.05)  # a few blocks done, others running
    assert not any(f.done() for f in futures), "the computation ended before the worker could be killed"
    os.kill(next(iter(pids.values())), signal.SIGKILL)
    distributed.wait(futures, timeout=120)
    for got, want in zip(client.gather(futures), t.geocentric_to_geodetic(X, Y, Z)):
        assert same_bits(got, want)
    assert set(client.run(os.getpid).values()) != set(pids.values())  # a new process took the place


def test_a_worker_without_the_file_raises_on_the_client(client, scratch):
    t = tervala.Tervala()
    tervala.Tervala.SetDataFolder(scratch)
    path = make_grid(scratch, "egm2008p.dat")
    t.LoadKEGMData(2008)
    lazy = tdask.kegm_geoid_height(t, da.from_array(np.full(1000, 37.0), chunks=100), 127.0)
    path.unlink()
    with pytest.raises(FileNotFoundError, match=re.escape(str(path))) as error:
        lazy.compute(scheduler=client)
    assert error.value.filename == str(path)


def test_a_worker_refusing_the_file_raises_it_with_its_filename(client, scratch):
    t = tervala.Tervala()
    tervala.Tervala.SetDataFolder(scratch)
    path = make_grid(scratch, "egm2008p.dat")
    t.LoadKEGMData(2008)
    lazy = tdask.kegm_geoid_height(t, da.from_array(np.full(1000, 37.0), chunks=100), 127.0)
    path.write_bytes(b"\0" * 20)  # damaged after the graph was built
    with pytest.raises(tervala.DataFileError, match=re.escape(str(path))) as error:
        lazy.compute(scheduler=client)
    assert error.value.filename == str(path)


def test_misuse_is_refused_before_anything_runs(client, grs80):
    lat = da.zeros(10, chunks=5)
    frame = dd.from_pandas(pd.DataFrame({"lat": [1.0], "lon": [2.0]}), npartitions=1)
    cases = [
        (lambda: tdask.kegm_geoid_height(grs80, lat, lat), RuntimeError, "call LoadKEGMData first"),
        (lambda: tdask.geodetic_to_tm(grs80, 38, 127, 0, 0, 1, "lat", "lon"), TypeError, "without frame="),
        (lambda: tdask.geodetic_to_tm(grs80, 38, 127, 0, 0, 1, "lat", "lng", frame=frame), KeyError, "'lng'"),
        (lambda: tdask.geodetic_to_utm(grs80, 0.5, 129, lat, lat), TypeError, "hemisphere"),
        (lambda: tdask.geodetic_to_tm(grs80, 38, 127, 0, 0, 1, lat, lat, names=("n",)), ValueError, "2 result"),
        (lambda: tdask.apply(len, lat), TypeError, "bound method"),
    ]
    for call, error, message in cases:
        with pytest.raises(error, match=message):
            call()


def test_a_built_graph_keeps_the_object_as_it_was(grs80):
    """Changing the object after building a graph changes nothing the graph computes."""
    if dask is None:
        pytest.skip(f"Dask is not installed ({MISSING})")
    lat, lon = (da.from_array(a, chunks=10) for a in points(40))
    want = grs80.geodetic_to_tm(38.0, 127.0, 6e5, 2e5, 0.9996, *points(40))
    graph = tdask.geodetic_to_tm(grs80, 38.0, 127.0, 6e5, 2e5, 0.9996, lat, lon)
    grs80.Setup_Ellipsoid(*BESSEL)  # hundreds of metres in northing
    got = dask.compute(*graph, scheduler="synchronous")
    assert all(same_bits(np.asarray(g), w) for g, w in zip(got, want))
