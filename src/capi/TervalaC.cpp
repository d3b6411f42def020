// The C interface: each function checks its pointers, calls one member of
// CTervala on a copy of its arguments (the members turn degrees into radians
// in place) and hands the results back through out-parameters. Every
// exception stops here and becomes a status and a message.
#include "tervala/tervala_c.h"

#include <cmath>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "core/Access.h"
#include "tervala/Tervala.h"
#include "tervala/Version.h"

struct tervala_handle {
    CTervala object;
    std::string error;
};

namespace {

// Messages of the calls that had no handle to keep them in.
thread_local std::string handlelessError;

int fail(tervala_handle* h, int status, const std::string& message)
{
    (h != nullptr ? h->error : handlelessError) = message;
    return status;
}

int succeed(tervala_handle* h)
{
    h->error.clear();
    return TERVALA_OK;
}

bool allSet(std::initializer_list<const void*> pointers)
{
    for (const void* p : pointers)
        if (p == nullptr)
            return false;
    return true;
}

// Runs `body` (which returns a status) with the handle and the
// out-parameters checked, turning exceptions into statuses.
template <typename Body>
int guarded(tervala_handle* h, const char* function, std::initializer_list<const void*> outputs, Body body)
{
    if (h == nullptr)
        return fail(nullptr, TERVALA_ERROR_ARGUMENT, std::string(function) + ": the handle is NULL");
    if (!allSet(outputs))
        return fail(h, TERVALA_ERROR_ARGUMENT, std::string(function) + ": an output pointer is NULL");
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return fail(h, TERVALA_ERROR_MEMORY, std::string(function) + ": out of memory");
    } catch (const std::exception& e) {
        return fail(h, TERVALA_ERROR_INTERNAL, std::string(function) + ": " + e.what());
    } catch (...) {
        return fail(h, TERVALA_ERROR_INTERNAL, std::string(function) + ": unknown error");
    }
}

// The standard 6-degree zone of a longitude, as the tool chooses it.
int zoneOf(double lon)
{
    double reduced = std::fmod(lon + 180.0, 360.0);
    if (reduced < 0)
        reduced += 360.0;
    const int zone = static_cast<int>(reduced / 6.0) + 1;
    return zone > 60 ? 60 : zone;
}

bool validZone(int zone, int north) { return zone >= 1 && zone <= 60 && (north == 0 || north == 1); }

int utmForward(tervala_handle* h, int zone, int north, double lat, double lon, double height, double* northing,
               double* easting)
{
    double cm = zone * 6.0 - 183.0;
    // The series takes the longitude within half a turn of the meridian.
    if (lon - cm > 180.0)
        lon -= 360.0;
    else if (lon - cm < -180.0)
        lon += 360.0;
    h->object.Geodetic_to_UTM(north != 0 ? 0 : 1, cm, lat, lon, height);
    *northing = h->object.GetUTM(0);
    *easting = h->object.GetUTM(1);
    return succeed(h);
}

int fitStatus(tervala_handle* h, const char* function, bool converged)
{
    if (!converged)
        return fail(h, TERVALA_ERROR_NOT_CONVERGED, std::string(function) + ": the iteration did not converge in 21 passes");
    return succeed(h);
}

template <typename Getter>
int getOne(tervala_handle* h, const char* function, double* value, Getter getter)
{
    return guarded(h, function, {value}, [&] {
        *value = getter(h->object);
        return succeed(h);
    });
}

} // namespace

// The header declares every function below extern "C", which these
// definitions inherit.

tervala_handle* tervala_create(void)
{
    tervala_handle* h = new (std::nothrow) tervala_handle;
    if (h == nullptr)
        handlelessError = "tervala_create: out of memory";
    return h;
}

tervala_handle* tervala_copy(const tervala_handle* h)
{
    if (h == nullptr) {
        handlelessError = "tervala_copy: the handle is NULL";
        return nullptr;
    }
    try {
        return new tervala_handle{h->object, std::string()};
    } catch (...) {
        handlelessError = "tervala_copy: out of memory";
        return nullptr;
    }
}

void tervala_destroy(tervala_handle* h) { delete h; }

const char* tervala_last_error(const tervala_handle* h)
{
    return h != nullptr ? h->error.c_str() : handlelessError.c_str();
}

const char* tervala_version(void) { return TERVALA_VERSION_STRING; }

int tervala_set_data_folder(const char* folder)
{
    try {
        CTervala::SetDataFolder(folder);
    } catch (...) {
        return fail(nullptr, TERVALA_ERROR_MEMORY, "tervala_set_data_folder: out of memory");
    }
    return TERVALA_OK;
}

int tervala_get_data_folder(char* buffer, size_t size, size_t* needed)
{
    try {
        const std::string folder = CTervala::GetDataFolder();
        if (needed != nullptr)
            *needed = folder.size() + 1;
        if (buffer == nullptr || size < folder.size() + 1)
            return fail(nullptr, TERVALA_ERROR_ARGUMENT,
                        "tervala_get_data_folder: the buffer needs " + std::to_string(folder.size() + 1) + " bytes");
        std::memcpy(buffer, folder.c_str(), folder.size() + 1);
        return TERVALA_OK;
    } catch (...) {
        return fail(nullptr, TERVALA_ERROR_MEMORY, "tervala_get_data_folder: out of memory");
    }
}

int tervala_setup_ellipsoid(tervala_handle* h, double a, double inv_f)
{
    return guarded(h, "tervala_setup_ellipsoid", {}, [&] {
        if (!(a > 0) || !std::isfinite(a) || !(inv_f > 0))
            return fail(h, TERVALA_ERROR_ARGUMENT,
                        "tervala_setup_ellipsoid: expected a > 0 and 1/f > 0 (infinite for a sphere)");
        h->object.Setup_Ellipsoid(a, inv_f);
        return succeed(h);
    });
}

int tervala_geodetic_to_geocentric(tervala_handle* h, double lat, double lon, double h_ell, double* x, double* y,
                                   double* z)
{
    return guarded(h, "tervala_geodetic_to_geocentric", {x, y, z}, [&] {
        h->object.Geodetic_to_Geocentric(lat, lon, h_ell);
        *x = h->object.GetGeocentric(0);
        *y = h->object.GetGeocentric(1);
        *z = h->object.GetGeocentric(2);
        return succeed(h);
    });
}

int tervala_geocentric_to_geodetic(tervala_handle* h, double x, double y, double z, double* lat, double* lon,
                                   double* h_ell)
{
    return guarded(h, "tervala_geocentric_to_geodetic", {lat, lon, h_ell}, [&] {
        h->object.Geocentric_to_Geodetic(x, y, z);
        *lat = h->object.GetGeodetic(0);
        *lon = h->object.GetGeodetic(1);
        *h_ell = h->object.GetGeodetic(2);
        return succeed(h);
    });
}

int tervala_geodetic_to_tm(tervala_handle* h, double lat0, double lon0, double false_northing, double false_easting,
                           double k0, double lat, double lon, double* northing, double* easting)
{
    return guarded(h, "tervala_geodetic_to_tm", {northing, easting}, [&] {
        double height = 0;
        h->object.Geodetic_to_TM(lat0, lon0, false_northing, false_easting, k0, lat, lon, height);
        *northing = h->object.GetTM(0);
        *easting = h->object.GetTM(1);
        return succeed(h);
    });
}

int tervala_tm_to_geodetic(tervala_handle* h, double lat0, double lon0, double false_northing, double false_easting,
                           double k0, double northing, double easting, double* lat, double* lon)
{
    return guarded(h, "tervala_tm_to_geodetic", {lat, lon}, [&] {
        if (k0 == 0)
            return fail(h, TERVALA_ERROR_ARGUMENT, "tervala_tm_to_geodetic: the scale factor is 0");
        double height = 0;
        h->object.TM_to_Geodetic(lat0, lon0, false_northing, false_easting, k0, northing, easting, height);
        *lat = h->object.GetGeodetic(0);
        *lon = h->object.GetGeodetic(1);
        return succeed(h);
    });
}

int tervala_geodetic_to_utm(tervala_handle* h, double lat, double lon, double h_ell, int* zone, int* north,
                            double* northing, double* easting)
{
    return guarded(h, "tervala_geodetic_to_utm", {zone, north, northing, easting}, [&] {
        if (!(lat >= -80.0 && lat <= 84.0) || !std::isfinite(lon))
            return fail(h, TERVALA_ERROR_ARGUMENT,
                        "tervala_geodetic_to_utm: expected a latitude in [-80, 84] and a finite longitude");
        const int z = zoneOf(lon);
        const int n = lat >= 0 ? 1 : 0;
        double northingOut = 0, eastingOut = 0;
        const int status = utmForward(h, z, n, lat, lon, h_ell, &northingOut, &eastingOut);
        *zone = z;
        *north = n;
        *northing = northingOut;
        *easting = eastingOut;
        return status;
    });
}

int tervala_geodetic_to_utm_zone(tervala_handle* h, int zone, int north, double lat, double lon, double* northing,
                                 double* easting)
{
    return guarded(h, "tervala_geodetic_to_utm_zone", {northing, easting}, [&] {
        if (!validZone(zone, north))
            return fail(h, TERVALA_ERROR_ARGUMENT, "tervala_geodetic_to_utm_zone: expected zone 1..60 and north 0 or 1");
        return utmForward(h, zone, north, lat, lon, 0.0, northing, easting);
    });
}

int tervala_utm_to_geodetic(tervala_handle* h, int zone, int north, double northing, double easting, double* lat,
                            double* lon)
{
    return guarded(h, "tervala_utm_to_geodetic", {lat, lon}, [&] {
        if (!validZone(zone, north))
            return fail(h, TERVALA_ERROR_ARGUMENT, "tervala_utm_to_geodetic: expected zone 1..60 and north 0 or 1");
        double cm = zone * 6.0 - 183.0, height = 0;
        h->object.UTM_to_Geodetic(north != 0 ? 0 : 1, cm, northing, easting, height);
        *lat = h->object.GetGeodetic(0);
        *lon = h->object.GetGeodetic(1);
        return succeed(h);
    });
}

int tervala_set_helmert_2d(tervala_handle* h, double t1, double t2, double scale, double rotation)
{
    return guarded(h, "tervala_set_helmert_2d", {}, [&] {
        h->object.Set2DHelmert(t1, t2, scale, rotation);
        return succeed(h);
    });
}

int tervala_helmert_2d(tervala_handle* h, double x0, double y0, double x, double y, double* x_out, double* y_out)
{
    return guarded(h, "tervala_helmert_2d", {x_out, y_out}, [&] {
        h->object.Helmert2D(x0, y0, x, y);
        *x_out = h->object.Get2DH(0);
        *y_out = h->object.Get2DH(1);
        return succeed(h);
    });
}

int tervala_set_height_trans(tervala_handle* h, double a1, double a2, double c)
{
    return guarded(h, "tervala_set_height_trans", {}, [&] {
        h->object.SetHeightTrans(a1, a2, c);
        return succeed(h);
    });
}

int tervala_height_trans(tervala_handle* h, double x0, double y0, double x, double y, double h_in, double* h_out)
{
    return guarded(h, "tervala_height_trans", {h_out}, [&] {
        h->object.HeightTrans(x0, y0, x, y, h_in);
        *h_out = h->object.Get2DH(2);
        return succeed(h);
    });
}

int tervala_set_bursa_wolf(tervala_handle* h, double tx, double ty, double tz, double s, double rx, double ry,
                           double rz)
{
    return guarded(h, "tervala_set_bursa_wolf", {}, [&] {
        h->object.SetParameters_Bursa_WolfModel(tx, ty, tz, s, rx, ry, rz);
        return succeed(h);
    });
}

namespace {

template <typename Member>
int transform3(tervala_handle* h, const char* function, double x, double y, double z, double* x_out, double* y_out,
               double* z_out, Member member)
{
    return guarded(h, function, {x_out, y_out, z_out}, [&] {
        member(h->object, x, y, z);
        *x_out = h->object.GetTrans_GeoCentric(0);
        *y_out = h->object.GetTrans_GeoCentric(1);
        *z_out = h->object.GetTrans_GeoCentric(2);
        return succeed(h);
    });
}

} // namespace

int tervala_bursa_wolf(tervala_handle* h, double x, double y, double z, double* x_out, double* y_out, double* z_out)
{
    return transform3(h, "tervala_bursa_wolf", x, y, z, x_out, y_out, z_out,
                      [](CTervala& t, double& a, double& b, double& c) { t.Bursa_WolfModel(a, b, c); });
}

int tervala_inv_bursa_wolf(tervala_handle* h, double x, double y, double z, double* x_out, double* y_out,
                           double* z_out)
{
    return transform3(h, "tervala_inv_bursa_wolf", x, y, z, x_out, y_out, z_out,
                      [](CTervala& t, double& a, double& b, double& c) { t.Inv_Bursa_WolfModel(a, b, c); });
}

int tervala_set_molodensky_badekas(tervala_handle* h, double x0, double y0, double z0, double tx, double ty,
                                   double tz, double s, double rx, double ry, double rz)
{
    return guarded(h, "tervala_set_molodensky_badekas", {}, [&] {
        h->object.SetParameters_Molodensky_BadekasModel(x0, y0, z0, tx, ty, tz, s, rx, ry, rz);
        return succeed(h);
    });
}

int tervala_molodensky_badekas(tervala_handle* h, double x, double y, double z, double* x_out, double* y_out,
                               double* z_out)
{
    return transform3(h, "tervala_molodensky_badekas", x, y, z, x_out, y_out, z_out,
                      [](CTervala& t, double& a, double& b, double& c) { t.Molodensky_BadekasModel(a, b, c); });
}

int tervala_inv_molodensky_badekas(tervala_handle* h, double x, double y, double z, double* x_out, double* y_out,
                                   double* z_out)
{
    return transform3(h, "tervala_inv_molodensky_badekas", x, y, z, x_out, y_out, z_out,
                      [](CTervala& t, double& a, double& b, double& c) { t.Inv_Molodensky_BadekasModel(a, b, c); });
}

int tervala_abridged_molodensky(tervala_handle* h, double lat, double lon, double dx, double dy, double dz,
                                double da, double df, double* dlat, double* dlon, double* dh)
{
    return guarded(h, "tervala_abridged_molodensky", {dlat, dlon, dh}, [&] {
        h->object.Abridged_Molodensky_Transform(lat, lon, dx, dy, dz, da, df);
        *dlat = h->object.GetdLLH(0);
        *dlon = h->object.GetdLLH(1);
        *dh = h->object.GetdLLH(2);
        return succeed(h);
    });
}

namespace {

// The largest point count whose doubles still fit in the members' int.
bool pointCount(int n, int per, int least)
{
    return n >= least && n <= 2147483647 / per;
}

} // namespace

int tervala_fit_helmert_2d(tervala_handle* h, int n_points, const double* src, const double* dst, double* params)
{
    return guarded(h, "tervala_fit_helmert_2d", {src, dst}, [&] {
        if (!pointCount(n_points, 2, 1))
            return fail(h, TERVALA_ERROR_ARGUMENT, "tervala_fit_helmert_2d: expected at least 1 point");
        h->object.Parameters_2DHelmert(2 * n_points, const_cast<double*>(src), const_cast<double*>(dst));
        if (params != nullptr)
            for (int i = 0; i < 4; ++i)
                params[i] = h->object.Get2DHelmertParameters(i);
        return succeed(h);
    });
}

int tervala_fit_height_trans(tervala_handle* h, int n_points, double x0, double y0, const double* xy,
                             const double* hs, const double* ht, double* params)
{
    return guarded(h, "tervala_fit_height_trans", {xy, hs, ht}, [&] {
        if (!pointCount(n_points, 2, 1))
            return fail(h, TERVALA_ERROR_ARGUMENT, "tervala_fit_height_trans: expected at least 1 point");
        h->object.Parameters_HeightTrans(n_points, y0, x0, const_cast<double*>(xy), const_cast<double*>(hs),
                                         const_cast<double*>(ht));
        if (params != nullptr)
            for (int i = 0; i < 3; ++i)
                params[i] = h->object.GetHeightParameters(i);
        return succeed(h);
    });
}

namespace {

template <typename Member>
int fitSeven(tervala_handle* h, const char* function, int n_points, const double* source, const double* target,
             double* params, Member member)
{
    return guarded(h, function, {source, target}, [&] {
        if (!pointCount(n_points, 3, 1))
            return fail(h, TERVALA_ERROR_ARGUMENT, std::string(function) + ": expected at least 1 point");
        const bool converged = member(h->object, 3 * n_points, const_cast<double*>(source), const_cast<double*>(target));
        if (params != nullptr)
            for (int i = 0; i < 7; ++i)
                params[i] = h->object.GetSevenParameters(i);
        return fitStatus(h, function, converged);
    });
}

} // namespace

int tervala_fit_bursa_wolf(tervala_handle* h, int n_points, const double* source, const double* target,
                           double* params)
{
    return fitSeven(h, "tervala_fit_bursa_wolf", n_points, source, target, params,
                    [](CTervala& t, int n, double* s, double* d) { return t.SevenParameters_Bursa_WolfModel(n, s, d); });
}

int tervala_fit_molodensky_badekas(tervala_handle* h, int n_points, const double* source, const double* target,
                                   double* params)
{
    return fitSeven(h, "tervala_fit_molodensky_badekas", n_points, source, target, params,
                    [](CTervala& t, int n, double* s, double* d) {
                        return t.SevenParameters_Molodensky_BadekasModel(n, s, d);
                    });
}

int tervala_load_egm96(tervala_handle* h)
{
    return guarded(h, "tervala_load_egm96", {}, [&] {
        const tervala::platform::LoadStatus status = tervala::TervalaAccess::loadEgm96(h->object);
        if (!status.ok())
            return fail(h, TERVALA_ERROR_DATA, "tervala_load_egm96: " + status.message());
        return succeed(h);
    });
}

int tervala_egm96_geoid_height(tervala_handle* h, double lat, double lon, double* undulation)
{
    return guarded(h, "tervala_egm96_geoid_height", {undulation}, [&] {
        *undulation = h->object.EGM96GeoidHeight(lat, lon);
        return succeed(h);
    });
}

int tervala_load_grid(tervala_handle* h, int model)
{
    return guarded(h, "tervala_load_grid", {}, [&] {
        const tervala::platform::LoadStatus status = tervala::TervalaAccess::loadGrid(h->object, model);
        if (!status.ok())
            return fail(h, TERVALA_ERROR_DATA, "tervala_load_grid: " + status.message());
        return succeed(h);
    });
}

int tervala_grid_geoid_height(tervala_handle* h, double lat, double lon, double* undulation)
{
    return guarded(h, "tervala_grid_geoid_height", {undulation}, [&] {
        const double n = h->object.KEGMGeoidHeight(lat, lon);
        if (n == 999999.0)
            return fail(h, TERVALA_ERROR_ARGUMENT,
                        "tervala_grid_geoid_height: expected a latitude in [-90, 90] and a longitude in [0, 360] (reduced once by 360)");
        if (n == -999999.0)
            return fail(h, TERVALA_ERROR_DATA, "tervala_grid_geoid_height: no grid loaded, or the point is outside it");
        *undulation = n;
        return succeed(h);
    });
}

int tervala_corr_undulation(tervala_handle* h, double lat, double lon, double dx, double dy, double dz, double da,
                            double df, double* dh)
{
    return guarded(h, "tervala_corr_undulation", {dh}, [&] {
        *dh = h->object.CorrUndulation(lat, lon, dx, dy, dz, da, df);
        return succeed(h);
    });
}

#define TERVALA_C_GETTER(name, member)                                                                              \
    int name(tervala_handle* h, int i, double* value)                                                               \
    {                                                                                                               \
        return getOne(h, #name, value, [i](CTervala& t) { return t.member(i); });                                  \
    }

TERVALA_C_GETTER(tervala_get_geocentric, GetGeocentric)
TERVALA_C_GETTER(tervala_get_trans_geocentric, GetTrans_GeoCentric)
TERVALA_C_GETTER(tervala_get_geodetic, GetGeodetic)
TERVALA_C_GETTER(tervala_get_tm, GetTM)
TERVALA_C_GETTER(tervala_get_utm, GetUTM)
TERVALA_C_GETTER(tervala_get_2dh, Get2DH)
TERVALA_C_GETTER(tervala_get_dllh, GetdLLH)
TERVALA_C_GETTER(tervala_get_helmert_2d_parameters, Get2DHelmertParameters)
TERVALA_C_GETTER(tervala_get_height_parameters, GetHeightParameters)
TERVALA_C_GETTER(tervala_get_rot_origin, GetRotOrigin)
TERVALA_C_GETTER(tervala_get_seven_parameters, GetSevenParameters)
TERVALA_C_GETTER(tervala_get_residual_2d, GetResidual2D)
TERVALA_C_GETTER(tervala_get_residual_h, GetResidualH)
TERVALA_C_GETTER(tervala_get_residual, GetResidual)
#undef TERVALA_C_GETTER

int tervala_get_helmert_2d_covariance(tervala_handle* h, int i, int j, double* value)
{
    return getOne(h, "tervala_get_helmert_2d_covariance", value,
                  [i, j](CTervala& t) { return t.Get2DHelmertCovariance(i, j); });
}

int tervala_get_seven_covariance(tervala_handle* h, int i, int j, double* value)
{
    return getOne(h, "tervala_get_seven_covariance", value, [i, j](CTervala& t) { return t.GetSevenCovariance(i, j); });
}

int tervala_get_sigma(tervala_handle* h, double* value)
{
    return getOne(h, "tervala_get_sigma", value, [](CTervala& t) { return t.GetSigma(); });
}

int tervala_get_height_mean_accuracy(tervala_handle* h, double* value)
{
    return getOne(h, "tervala_get_height_mean_accuracy", value, [](CTervala& t) { return t.GetHeightMeanaccuracy(); });
}
