#pragma once
// The first 10000 primes and nearest-prime lookups. Reverb delay lengths are
// snapped to primes when the sample rate changes, so that no two lines share
// a common period.

#include <array>
#include <cstdint>

namespace tonewright {

inline constexpr int kPrimeCount = 10000;

// 2, 3, 5, ... 104729 in ascending order.
extern const std::array<std::int32_t, kPrimeCount> prime;

// The prime nearest to x; a tie keeps the smaller one. NaN gives 2.
int closest_prime(double x);
int closest_prime(int x);
// Index of closest_prime(x) in `prime`.
int closest_prime_index(double x);
// The closest prime when it is not below x (or when it is the last entry),
// else the one after it.
int next_prime(double x);
int next_prime(int x);
// The closest prime when it is not above x (or when it is the first entry),
// else the one before it.
int previous_prime(double x);
int previous_prime(int x);

}  // namespace tonewright
