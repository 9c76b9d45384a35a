#include "report/Distributions.h"

#include <cmath>
#include <limits>

namespace {

constexpr int kMaxIterations = 10000;
constexpr double kEpsilon = 1e-16;
constexpr double kTiny = 1e-300;  // keeps the continued fractions' denominators off zero (Lentz)

/// Series of P(a, x), good for x < a + 1.
double gammaSeries(double a, double x)
{
    double term = 1.0 / a, sum = term;
    for (int n = 1; n < kMaxIterations; ++n) {
        term *= x / (a + n);
        sum += term;
        if (std::fabs(term) < std::fabs(sum) * kEpsilon) break;
    }
    return sum * std::exp(-x + a * std::log(x) - std::lgamma(a));
}

/// Continued fraction of Q(a, x) = 1 - P(a, x), good for x >= a + 1 (modified Lentz).
double gammaContinuedFraction(double a, double x)
{
    double b = x + 1.0 - a, c = 1.0 / kTiny, d = 1.0 / b, h = d;
    for (int i = 1; i < kMaxIterations; ++i) {
        const double an = -i * (i - a);
        b += 2.0;
        d = an * d + b;
        if (std::fabs(d) < kTiny) d = kTiny;
        c = b + an / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < kEpsilon) break;
    }
    return std::exp(-x + a * std::log(x) - std::lgamma(a)) * h;
}

/// Continued fraction of the incomplete beta function (modified Lentz), good for x < (a+1)/(a+b+2).
double betaContinuedFraction(double a, double b, double x)
{
    const double qab = a + b, qap = a + 1.0, qam = a - 1.0;
    double c = 1.0, d = 1.0 - qab * x / qap;
    if (std::fabs(d) < kTiny) d = kTiny;
    d = 1.0 / d;
    double h = d;
    for (int m = 1; m < kMaxIterations; ++m) {
        const int m2 = 2 * m;
        double aa = m * (b - m) * x / ((qam + m2) * (a + m2));
        d = 1.0 + aa * d;
        if (std::fabs(d) < kTiny) d = kTiny;
        c = 1.0 + aa / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        d = 1.0 / d;
        h *= d * c;
        aa = -(a + m) * (qab + m) * x / ((a + m2) * (qap + m2));
        d = 1.0 + aa * d;
        if (std::fabs(d) < kTiny) d = kTiny;
        c = 1.0 + aa / c;
        if (std::fabs(c) < kTiny) c = kTiny;
        d = 1.0 / d;
        const double delta = d * c;
        h *= delta;
        if (std::fabs(delta - 1.0) < kEpsilon) break;
    }
    return h;
}

/// The x in [low, high] where the increasing function cdf reaches p, by bisection to the last bit.
template <typename Cdf>
double bisect(const Cdf& cdf, double p, double low, double high)
{
    for (int i = 0; i < 2000; ++i) {
        const double middle = 0.5 * (low + high);
        if (middle <= low || middle >= high) break;
        (cdf(middle) < p ? low : high) = middle;
    }
    return 0.5 * (low + high);
}

}  // namespace

double regularizedGammaP(double a, double x)
{
    if (x <= 0.0) return 0.0;
    if (std::isinf(x)) return 1.0;
    return x < a + 1.0 ? gammaSeries(a, x) : 1.0 - gammaContinuedFraction(a, x);
}

double regularizedBeta(double a, double b, double x)
{
    if (x <= 0.0) return 0.0;
    if (x >= 1.0) return 1.0;
    const double front =
        std::exp(std::lgamma(a + b) - std::lgamma(a) - std::lgamma(b) + a * std::log(x) + b * std::log1p(-x));
    // The fraction converges quickly on the side nearer its own expansion point; use symmetry otherwise.
    if (x < (a + 1.0) / (a + b + 2.0)) return front * betaContinuedFraction(a, b, x) / a;
    return 1.0 - front * betaContinuedFraction(b, a, 1.0 - x) / b;
}

double chiSquareCdf(double x, double df) { return regularizedGammaP(0.5 * df, 0.5 * x); }

double chiSquareQuantile(double p, double df)
{
    if (p <= 0.0) return 0.0;
    if (p >= 1.0) return std::numeric_limits<double>::infinity();
    const auto cdf = [df](double x) { return chiSquareCdf(x, df); };
    double high = df + 10.0;
    while (cdf(high) < p) high *= 2.0;
    return bisect(cdf, p, 0.0, high);
}

double studentTCdf(double t, double df)
{
    const double tail = 0.5 * regularizedBeta(0.5 * df, 0.5, df / (df + t * t));
    return t > 0 ? 1.0 - tail : tail;
}

double studentTQuantile(double p, double df)
{
    if (p <= 0.0) return -std::numeric_limits<double>::infinity();
    if (p >= 1.0) return std::numeric_limits<double>::infinity();
    if (p < 0.5) return -studentTQuantile(1.0 - p, df);
    const auto cdf = [df](double t) { return studentTCdf(t, df); };
    double high = 2.0;
    while (cdf(high) < p) high *= 2.0;
    return bisect(cdf, p, 0.0, high);
}
