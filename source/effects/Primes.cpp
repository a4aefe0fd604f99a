#include "effects/Primes.h"

#include <cmath>

namespace tonewright {

namespace {

constexpr std::int32_t kLargestPrime = 104729;

// Sieve of Eratosthenes over the odd numbers, evaluated by the compiler.
constexpr std::array<std::int32_t, kPrimeCount> makePrimes()
{
    std::array<std::int32_t, kPrimeCount> p{};
    constexpr int half = kLargestPrime / 2 + 1;  // slot i stands for 2 i + 1
    bool composite[half] = {};
    p[0] = 2;
    int found = 1;
    for (int i = 1; i < half && found < kPrimeCount; ++i) {
        if (composite[i]) continue;
        const int n = 2 * i + 1;
        p[found++] = n;
        for (long long m = static_cast<long long>(n) * n; m <= kLargestPrime; m += 2 * n)
            composite[m / 2] = true;
    }
    return p;
}

constexpr std::array<std::int32_t, kPrimeCount> kTable = makePrimes();
static_assert(kTable.back() == kLargestPrime);

}  // namespace

constinit const std::array<std::int32_t, kPrimeCount> prime = kTable;

int closest_prime_index(double x)
{
    // Distances fall and then rise along the table; only a strictly closer
    // entry replaces the best, so a tie keeps the smaller prime.
    int best = 0;
    double bestDistance = std::fabs(x - prime[0]);
    for (int k = 1; k < kPrimeCount; ++k) {
        const double distance = std::fabs(x - prime[k]);
        if (distance < bestDistance) {
            best = k;
            bestDistance = distance;
        } else if (distance > bestDistance) {
            break;
        }
    }
    return best;
}

int closest_prime(double x) { return prime[closest_prime_index(x)]; }
int closest_prime(int x) { return closest_prime(static_cast<double>(x)); }

int next_prime(double x)
{
    const int k = closest_prime_index(x);
    if (prime[k] >= x || k == kPrimeCount - 1) return prime[k];
    return prime[k + 1];
}
int next_prime(int x) { return next_prime(static_cast<double>(x)); }

int previous_prime(double x)
{
    const int k = closest_prime_index(x);
    if (k == 0 || x >= prime[k]) return prime[k];
    return prime[k - 1];
}
int previous_prime(int x) { return previous_prime(static_cast<double>(x)); }

}  // namespace tonewright
