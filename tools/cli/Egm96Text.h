// Conversion of spherical-harmonic coefficient text files, as published, into
// the binary record files the coefficient loader reads.
//
// Coefficients: one record per line, "n m C S [sigmaC sigmaS]" (Fortran
// exponents such as 0.484D-03 accepted), written as 40-byte little-endian
// records: int32 n, int32 m, double C, double S, double sigmaC, double
// sigmaS (zeros when not given). The (360, 360) record must be present; it is
// written last, since the loader stops after it.
// Corrections: "n m c s" per line, written as 24-byte records: int32 n,
// int32 m, double c, double s.
// Both require 0 <= m <= n <= 360 and reject a repeated (n, m).
#ifndef TERVALA_TOOLS_CLI_EGM96TEXT_H
#define TERVALA_TOOLS_CLI_EGM96TEXT_H

#include <string>
#include <vector>

namespace tervala {
namespace cli {

// Converts coefficient text into record bytes. Every bad line adds a message
// with its line number; returns true when there was none.
bool convertCoefficientText(const std::string& text, std::string& records, std::vector<std::string>& errors);
bool convertCorrectionText(const std::string& text, std::string& records, std::vector<std::string>& errors);

} // namespace cli
} // namespace tervala

#endif
