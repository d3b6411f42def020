// tervala-gtx-to-grid: converts a GTX geoid grid (such as proj-data's
// egm96_15.gtx) into a grid file for LoadKEGMData.
//
//   tervala-gtx-to-grid IN.gtx OUT
//
// Prints what it read and wrote; on a bad input says what is wrong with it
// and exits with status 1, leaving OUT untouched. Usage errors exit with 2.
#include <cstdio>
#include <cstring>
#include <string>

#include "geoid/GtxGrid.h"

int main(int argc, char** argv)
{
    if (argc == 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: tervala-gtx-to-grid IN.gtx OUT\n"
                    "Converts a GTX geoid grid into a grid file for LoadKEGMData (selector 13: kgeoid13.dat,\n"
                    "2008: egm2008p.dat, other: kgeoid14.dat): rows north first, longitudes in 0..360,\n"
                    "a global grid rotated to start at 0 degrees without a repeated wrap column.\n");
        return 0;
    }
    if (argc != 3) {
        std::fprintf(stderr, "usage: tervala-gtx-to-grid IN.gtx OUT\n");
        return 2;
    }
    tervala::gtx::Conversion done;
    std::string error;
    if (!tervala::gtx::convertGtxToGrid(argv[1], argv[2], done, error)) {
        std::fprintf(stderr, "tervala-gtx-to-grid: %s: %s\n", argv[1], error.c_str());
        return 1;
    }
    std::fputs(tervala::gtx::describe(done, argv[1], argv[2]).c_str(), stdout);
    return 0;
}
