#pragma once
// The distributions the pooled result needs: chi-square and Student's t, their distribution functions
// and quantiles, from the regularized incomplete gamma and beta functions. Accurate to about 1e-12
// relative, which is far below the three digits the report shows.

/// Regularized lower incomplete gamma function P(a, x), a > 0, x >= 0.
double regularizedGammaP(double a, double x);
/// Regularized incomplete beta function I_x(a, b), a, b > 0, 0 <= x <= 1.
double regularizedBeta(double a, double b, double x);

/// P(X <= x) for X chi-square with df degrees of freedom (df > 0).
double chiSquareCdf(double x, double df);
/// The x with chiSquareCdf(x, df) = p, 0 < p < 1 (0 for p <= 0).
double chiSquareQuantile(double p, double df);

/// P(T <= t) for T Student-t with df degrees of freedom (df > 0).
double studentTCdf(double t, double df);
/// The t with studentTCdf(t, df) = p, 0 < p < 1.
double studentTQuantile(double p, double df);
