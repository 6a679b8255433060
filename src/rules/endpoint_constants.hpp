// The fixed values of the elementary functions' endpoint kernels, apart from
// the kernels themselves so that the vector forms can share them. Plain
// constants of internal linkage: per-target files include them too.
#pragma once

namespace quorvex {

// ln, log2 and log10 of 2^-1022, the smallest positive normal double: the lower
// bound of an interval that reaches down to zero or below.
constexpr double kLnFloor = -708.3964185322641;
constexpr double kLog2Floor = -1022.0;
constexpr double kLog10Floor = -307.6526555685888;
// Above this upper endpoint exp's upper bound is +inf; below this lower
// endpoint its lower bound is 0.
constexpr double kExpHighEdge = 709.0;
constexpr double kExpLowEdge = -745.0;
// The doubles nearest 2*pi, pi and pi/2.
constexpr double kTwoPi = 6.283185307179586;
constexpr double kPi = 3.141592653589793;
constexpr double kHalfPi = 1.5707963267948966;
// numpy's factors of deg2rad and rad2deg (pi / 180 and 180 / pi, each the
// double nearest the quotient of the doubles) and its ln 2 of logaddexp.
constexpr double kDegToRad = 0.017453292519943295;
constexpr double kRadToDeg = 57.29577951308232;
constexpr double kLn2 = 0.6931471805599453;

namespace endpoint_detail {

// The quick "no candidate point inside" test of sin, cos and tan: the index
// estimate (lo - offset) * kInvPi is rounded to an integer by adding and
// subtracting 1.5 * 2^52, exact for magnitudes below 2^51; the test is only
// tried below kQuickTestLimit, well inside that.
constexpr double kInvPi = 0.3183098861837907;
constexpr double kRoundingShift = 6755399441055744.0;
constexpr double kQuickTestLimit = 2.0e15;

}  // namespace endpoint_detail
}  // namespace quorvex
