"""Reference results for the cabinet tests, computed with numpy.

Usage: numpy_oracle.py FOLDER
Every FOLDER/<kind>_<n>.in (raw little-endian float64) gets a matching
FOLDER/<kind>_<n>.out:
  cdft     input n interleaved complex points; output numpy.fft.fft, interleaved
  rdft     input n real samples; output numpy.fft.rfft (n/2 + 1 points), interleaved
  minphase input n real samples; output the minimum-phase version (n samples)
           by the real cepstrum over 2 * (next power of two >= n) points
"""
import os
import sys

import numpy as np


def minimum_phase(x):
    n = len(x)
    p = 1
    while p < n:
        p *= 2
    k = 2 * p
    spectrum = np.fft.fft(x, k)
    log_magnitude = np.log(np.maximum(np.abs(spectrum), np.exp(-100.0)))
    cepstrum = np.fft.ifft(log_magnitude).real
    fold = np.zeros(k)
    fold[0] = 1.0
    fold[1:p] = 2.0
    fold[p] = 1.0
    return np.fft.ifft(np.exp(np.fft.fft(cepstrum * fold))).real[:n]


def main():
    folder = sys.argv[1]
    for name in sorted(os.listdir(folder)):
        if not name.endswith(".in"):
            continue
        kind = name.split("_")[0]
        data = np.fromfile(os.path.join(folder, name), dtype="<f8")
        if kind == "cdft":
            result = np.fft.fft(data[0::2] + 1j * data[1::2])
        elif kind == "rdft":
            result = np.fft.rfft(data)
        elif kind == "minphase":
            result = minimum_phase(data)
        else:
            raise SystemExit("unknown kind " + kind)
        if np.iscomplexobj(result):
            out = np.empty(2 * len(result))
            out[0::2] = result.real
            out[1::2] = result.imag
        else:
            out = np.asarray(result, dtype=float)
        out.astype("<f8").tofile(os.path.join(folder, name[:-3] + ".out"))


if __name__ == "__main__":
    main()
