#!/usr/bin/env python3
"""Expected values of tests/Pooling_test.cpp, computed independently of the program's own
incomplete gamma and beta functions: Python's standard library only, with the closed forms that
exist for whole degrees of freedom (a Poisson sum for even chi-square, erf plus a finite sum for odd
chi-square, the finite trigonometric series of Student's t), quantiles by plain bisection.
Run: python3 tests/tools/pooling_expected.py"""
import math


def chi2_cdf(x, k):
    if x <= 0:
        return 0.0
    if k % 2 == 0:  # 1 - P(Poisson(x/2) < k/2)
        term, total = 1.0, 1.0
        for j in range(1, k // 2):
            term *= (x / 2) / j
            total += term
        return 1.0 - math.exp(-x / 2) * total
    # odd k: erf(sqrt(x/2)) - sqrt(2x/pi) e^{-x/2} sum_{j=1}^{(k-1)/2} x^{j-1} / (1*3*...*(2j-1))
    total, term = 0.0, 1.0
    for j in range(1, (k - 1) // 2 + 1):
        if j > 1:
            term *= x / (2 * j - 1)
        total += term
    return math.erf(math.sqrt(x / 2)) - math.sqrt(2 * x / math.pi) * math.exp(-x / 2) * total


def t_cdf(t, v):
    theta = math.atan(t / math.sqrt(v))
    s, c = math.sin(theta), math.cos(theta)
    if v % 2 == 0:
        coefficient, total = 1.0, 1.0
        for j in range(1, v // 2):
            coefficient *= (2 * j - 1) / (2 * j)
            total += coefficient * c ** (2 * j)
        a = s * total  # P(|T| < |t|), signed with t
    else:
        total = 0.0
        if v > 1:
            coefficient = 1.0
            total = c
            for j in range(1, (v - 3) // 2 + 1):
                coefficient *= (2 * j) / (2 * j + 1)
                total += coefficient * c ** (2 * j + 1)
        a = 2 / math.pi * (theta + s * total)
    return 0.5 + a / 2


def bisect(f, p, lo, hi):
    for _ in range(300):
        mid = (lo + hi) / 2
        if f(mid) < p:
            lo = mid
        else:
            hi = mid
    return (lo + hi) / 2


def chi2_quantile(p, k):
    return bisect(lambda x: chi2_cdf(x, k), p, 0.0, 10.0 * k + 100.0)


def t_quantile(p, v):
    return bisect(lambda t: t_cdf(t, v), p, 0.0, 100.0)


def pool(counts, areas, filter_area=378, volume=0.143):
    n, total, area = len(counts), sum(counts), sum(areas)
    density = total / area
    mean = total / n
    sd = math.sqrt(sum((c - mean) ** 2 for c in counts) / (n - 1))
    chi = sum((c - density * a) ** 2 / (density * a) for c, a in zip(counts, areas)) if total else float('nan')
    p = 1 - chi2_cdf(chi, n - 1) if total else float('nan')
    if total == 0 or p >= 0.05:
        kind = 'poisson'
        lo = chi2_quantile(0.025, 2 * total) / 2 if total else 0.0
        hi = chi2_quantile(0.975, 2 * total + 2) / 2
        lo, hi = lo / area, hi / area
    else:
        kind = 't'
        se = math.sqrt(n / (n - 1) * sum((c - density * a) ** 2 for c, a in zip(counts, areas))) / area
        tq = t_quantile(0.975, n - 1)
        lo, hi = max(0.0, density - tq * se), density + tq * se
    return dict(kind=kind, sd=sd, chi=chi, p=p, per_filter=density * filter_area,
                low=lo * filter_area, high=hi * filter_area)


if __name__ == '__main__':
    print('check: chi2 0.975 quantile, 2 df =', chi2_quantile(0.975, 2), '(tables: 7.3778)')
    print('check: t 0.975 quantile, 4 df =', t_quantile(0.975, 4), '(tables: 2.7764)')
    a = 1600 * 1200 / 3952 ** 2
    cases = {
        'equal fields': ([20, 20, 20, 20, 20], [a] * 5),
        'overdispersed': ([10, 25, 14, 30, 12, 22, 8, 27], [a] * 8),
        'one field empty': ([0, 3, 2, 4], [a] * 4),
        'two sizes': ([10, 12, 22, 19], [a, a, 2 * a, 2 * a]),
        'two sizes overdispersed': ([3, 25, 30, 60, 12], [a, a, 2 * a, 2 * a, a]),
    }
    for name, (counts, areas) in cases.items():
        r = pool(counts, areas)
        print(name, {k: (repr(v) if isinstance(v, float) else v) for k, v in r.items()})
