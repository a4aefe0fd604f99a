#pragma once
// Discrete Fourier transforms of power-of-two lengths, in place, with the
// classic (n, isgn, a, ip, w) calling convention:
//
// cdft(n, isgn, a, ip, w): complex transform of n/2 points held as
//   a[2j] = Re x[j], a[2j+1] = Im x[j];
//   X[k] = sum_j x[j] exp(isgn * 2 pi i j k / (n/2)) with isgn = -1 or +1.
//   cdft(n, 1) after cdft(n, -1) gives the input times n/2.
//
// rdft(n, isgn, a, ip, w): real transform of n samples.
//   isgn = 1: R[k] + i I[k] = sum_j a[j] exp(+2 pi i j k / n) (the complex
//   conjugate of the usual forward DFT), packed as a[2k] = R[k],
//   a[2k+1] = I[k] for 0 < k < n/2, a[0] = R[0], a[1] = R[n/2].
//   isgn = -1: the inverse from that layout; it returns the samples times n/2.
//
// ip is an integer work array whose first element is 0 before its first use;
// w is a table of cosines and sines built on first use. One pair of work
// arrays may serve several lengths: it is rebuilt when a longer transform
// needs it. Their sizes, for the longest transform a pair serves, are given
// by the functions below (the same bounds as the classic routines).

namespace tonewright {

void cdft(int n, int isgn, double* a, int* ip, double* w);
void rdft(int n, int isgn, double* a, int* ip, double* w);

namespace fft {

constexpr int floorLog2(int n)
{
    int b = 0;
    while ((2 << b) <= n) ++b;
    return b;
}

// ints in ip and doubles in w needed by cdft(n, ...), n doubles of data
constexpr int cdftIpSize(int n) { return 2 + (1 << (floorLog2(n > 1 ? n / 2 : 1) / 2)); }
constexpr int cdftWSize(int n) { return n / 4 > 1 ? n / 4 : 1; }
// ints in ip and doubles in w needed by rdft(n, ...)
constexpr int rdftIpSize(int n) { return cdftIpSize(n); }
constexpr int rdftWSize(int n) { return n / 2 > 1 ? n / 2 : 1; }

}  // namespace fft

}  // namespace tonewright
