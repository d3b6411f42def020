// Grid files made by the tool's library and the loaders that read data files
// from explicit paths: grids computed from the coefficients (tervala data
// egm96-grid) must equal the point evaluation EGM96GeoidHeight within 1e-8 m
// at every node; a refused file must come back with its path and the reason.
#include <cerrno>
#include <cmath>
#include <random>

#include <gtest/gtest.h>

#include "TestSupport.h"
#include "core/Access.h"
#include "geoid/GeoidGrid.h"
#include "geoid/SphericalHarmonic.h"
#include "gridtools/SphericalHarmonicGrid.h"
#include "tervala/Tervala.h"

using namespace tervala::egm96;

namespace {

double largestDifference(const CoefficientView& view, const GridSpec& layout, int threads)
{
    const std::vector<double> grid = synthesizeGrid(view, layout, threads);
    double worst = 0;
    for (int i = 0; i < layout.rows; ++i)
        for (int j = 0; j < layout.cols; ++j) {
            const double point = geoidHeight(view, layout.north - i * layout.dlat, layout.west + j * layout.dlon);
            worst = std::max(worst, std::fabs(grid[static_cast<std::size_t>(i) * layout.cols + j] - point));
        }
    return worst;
}

} // namespace

// Poles, the equator, both sides of the date line, and an odd spacing; the
// rows split among threads, which must not change a bit.
TEST(Egm96GridSynthesis, RandomModelAgreesWithPointEvaluation)
{
    TERVALA_SKIP_WITHOUT_THREADS();
    CTervala t;
    testsupport::loadRandomModel(t, 7, "egm96-grid");
    const CoefficientView view(tervala::TervalaAccess::egmCoef(t), tervala::TervalaAccess::corrCoefC(t),
                               tervala::TervalaAccess::corrCoefS(t));
    const GridSpec global{90.0, -180.0, 22.5, 37.3, 9, 11};
    EXPECT_LT(largestDifference(view, global, 2), 1e-8);
    const GridSpec regional{38.7, 126.05, 0.17, 0.23, 6, 7};
    EXPECT_LT(largestDifference(view, regional, 1), 1e-8);
    std::atomic<int> done{0};
    EXPECT_EQ(synthesizeGrid(view, regional, 1), synthesizeGrid(view, regional, 4, &done));
    EXPECT_EQ(done.load(), regional.rows);
    EXPECT_TRUE(synthesizeGrid(view, GridSpec{0, 0, 1, 1, 0, 5}, 2).empty());
}

// The real model, pole to pole and across the date line, against the member.
TEST(Egm96GridSynthesis, RealCoefficientsAgreeWithEgm96GeoidHeight)
{
    TERVALA_SKIP_WITHOUT_THREADS();
    TERVALA_SKIP_WITHOUT(testsupport::haveEgm96Files(), "EGM96.dat / CORRCOEF.dat absent in " << testsupport::egm96Folder());
    CTervala t;
    ASSERT_TRUE(testsupport::loadRealEgm96(t));
    const CoefficientView view(tervala::TervalaAccess::egmCoef(t), tervala::TervalaAccess::corrCoefC(t),
                               tervala::TervalaAccess::corrCoefS(t));
    const GridSpec layout{90.0, 170.0, 30.0, 5.0, 7, 5};
    const std::vector<double> grid = synthesizeGrid(view, layout, 2);
    for (int k = 0; k < layout.rows * layout.cols; ++k)
        EXPECT_NEAR(grid[static_cast<std::size_t>(k)], t.EGM96GeoidHeight(layout.north - k / layout.cols * layout.dlat,
                                                layout.west + k % layout.cols * layout.dlon), 1e-8) << k;
}

// The loaders take host paths and say which file failed and why, without an
// object (the Python layer shows these; its tests cover the folder files'
// order); the EGM96 tables keep what was read, as LoadEGMData does.
TEST(Loaders, RefusalsNameThePathAndTheReason)
{
    using tervala::platform::LoadProblem;
    const std::string folder = testsupport::scratchFolder("loaders");
    tervala::platform::makeDirectory(folder + "/folder.dat");
    testsupport::writeBytes(folder + "/short.dat", std::vector<unsigned char>(10));
    testsupport::writeBytes(folder + "/norows.dat", std::vector<unsigned char>(40));  // 0 rows, 0 columns
    testsupport::writeBytes(folder + "/partial.dat", std::vector<unsigned char>(60));  // 1.5 records
    const struct {
        std::string path;
        LoadProblem problem;
        int systemError;
        const char* reason;
    } grids[] = {{folder + "/missing.dat", LoadProblem::CannotOpen, ENOENT, "No such file"},
                 {folder + "/folder.dat", LoadProblem::CannotOpen, EISDIR, "folder"},
                 {"/dev/zero", LoadProblem::NotRegularFile, 0, "not a regular file"},
                 {folder + "/short.dat", LoadProblem::Truncated, 0, "40-byte header"},
                 {folder + "/norows.dat", LoadProblem::BadHeader, 0, "fewer than 1 row"}};
    for (const auto& c : grids) {
        if (c.path == "/dev/zero" && !tervala::platform::hasUnixSpecialFiles()) {
            std::printf("skipped on this system: /dev/zero (POSIX-only)\n");
            continue;
        }
        const tervala::grid::GridLoad load = tervala::grid::loadGridFile(c.path, 7);
        EXPECT_EQ(load.status.problem, c.problem) << c.path;
        EXPECT_EQ(load.status.systemError, c.systemError) << c.path;
        EXPECT_EQ(load.status.message(), c.path + ": " + load.status.reason);
        EXPECT_NE(load.status.reason.find(c.reason), std::string::npos) << load.status.reason;
        EXPECT_TRUE(load.grid.empty());
    }

    const Egm96Load load = loadEgm96Files(folder + "/short.dat", folder + "/partial.dat");
    EXPECT_EQ(load.status.problem, LoadProblem::Truncated);
    EXPECT_EQ(load.status.path, folder + "/partial.dat");
    EXPECT_NE(load.status.reason.find("(360, 360)"), std::string::npos);
    // The one complete record read is (0, 0) = 0; the normal field is removed anyway.
    EXPECT_EQ(load.coefficients.geopotential(1, 1), 0.0);
    EXPECT_GT(load.coefficients.geopotential(4, 1), 0.0);
}
