"""The estimators: synthetic common points from known parameters, result objects, untouched inputs."""

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


def test_bursa_wolf_fit_recovers_known_parameters(grs80):
    p = (100.0, -50.0, 80.0, 5.0, 1.5, -2.0, 0.8)
    src, dst = seven_parameter_points(np.random.default_rng(3), p)
    fit = grs80.SevenParameters_Bursa_WolfModel(src, dst)
    assert fit.converged is True and fit.rotation_origin is None and fit.residuals.shape == (8, 3)
    assert fit.parameters == pytest.approx(p, abs=0.05)  # in the accessors' order
    assert list(fit.parameters) == [grs80.GetSevenParameters(i) for i in range(7)]
    assert fit.residuals[2, 2] == grs80.GetResidual(9) and fit.sigma == grs80.GetSigma()
    assert fit.covariance[4, 1] == grs80.GetSevenCovariance(4, 1)
    # The estimate stays in the object: the array function carries source onto target.
    moved = np.c_[grs80.bursa_wolf(*src.T)]
    assert np.max(np.abs(moved - dst)) < 0.05


def test_molodensky_badekas_fit_turns_about_the_source_centroid(grs80):
    p = (100.0, -50.0, 80.0, 5.0, 1.5, -2.0, 0.8)
    src, dst = seven_parameter_points(np.random.default_rng(4), p)
    src_before = src.copy()
    fit = grs80.SevenParameters_Molodensky_BadekasModel(src, dst)
    assert np.array_equal(src, src_before)
    assert fit.converged and fit.rotation_origin == pytest.approx(src.mean(axis=0), abs=1e-6)
    assert list(fit.rotation_origin) == [grs80.GetRotOrigin(i) for i in range(3)]
    assert fit.parameters[3:] == pytest.approx(p[3:], abs=0.01)  # scale and rotations as Bursa-Wolf
    moved = np.c_[grs80.molodensky_badekas(*src.T)]
    assert np.max(np.abs(moved - dst)) < 0.05


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
