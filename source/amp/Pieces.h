#pragma once
// Stages whose per-sample loops carry a long chain from one sample to the
// next (the tubes' loops, recursive filters) are fastest when several such
// loops are in flight at once. Running a series of them piece by piece over
// a block lets the processor overlap the loops of consecutive stages, which
// a whole block per stage would keep apart.

#include <algorithm>

namespace tonewright {

// Short enough that the loops of a whole amplifier on one piece fit in the
// processor's window of instructions in flight.
constexpr int kPiece = 4;

// Calls work(x + i, m) for consecutive pieces of at most kPiece samples.
template <class Work>
void inPieces(double* x, int n, Work&& work)
{
    for (int i = 0; i < n; i += kPiece) work(x + i, std::min(kPiece, n - i));
}

}  // namespace tonewright
