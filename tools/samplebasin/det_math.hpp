// Elementary functions built from basic IEEE operations only.  The maths
// library may pick processor-specific variants at run time whose last bits
// differ; these give the same bits on every x86-64, so a seed gives the
// same basin everywhere.  Accuracy: a few units in the last place.
#pragma once

namespace sb {

/// Natural logarithm of a positive finite x (0 gives -inf, a negative
/// value or one that is not a number gives NaN, +inf gives +inf).
double det_log(double x);
/// e to the power x.
double det_exp(double x);
/// x to the power e, for x > 0.
double det_pow(double x, double e);
/// Base-2 logarithm, for x > 0.
double det_log2(double x);
/// Sine and cosine of an angle given in turns (1 turn = 360 degrees).
void det_sincos_turns(double turns, double& sine, double& cosine);

}  // namespace sb
