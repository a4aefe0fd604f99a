#!/usr/bin/python3
"""Measures a mono WAV clip the way a guitar DI recording is judged.

usage: measure_clip.py CLIP.wav [--lead SECONDS] [--tail SECONDS]
                       [--note START:LENGTH:F0 ...]

Prints the length, the peak, the share of energy in the bands 80-250 Hz,
250 Hz-1 kHz, 1-4 kHz and 4-10 kHz (of the whole clip), the spectral
centroid (power-weighted and magnitude-weighted), the level of the lead-in
and of the tail (RMS, and the hum and hiss in them), and for each --note the
levels of its first harmonics relative to the fundamental.
Needs numpy (Debian's, under /usr/bin/python3).
"""
import argparse
import struct
import sys

import numpy as np

BANDS = [(80, 250), (250, 1000), (1000, 4000), (4000, 10000)]


def read_wav(path):
    data = open(path, "rb").read()
    if data[:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(f"{path}: not a RIFF/WAVE file")
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        tag, size = data[pos:pos + 4], struct.unpack("<I", data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if tag == b"fmt ":
            fmt = struct.unpack("<HHIIHH", body[:16])
        elif tag == b"data":
            samples = body
        pos += 8 + size + (size & 1)
    code, channels, rate, _, _, bits = fmt
    if code == 3 and bits == 32:
        x = np.frombuffer(samples, "<f4").astype(np.float64)
    elif code == 1 and bits == 16:
        x = np.frombuffer(samples, "<i2") / 32768.0
    elif code == 1 and bits == 24:
        b = np.frombuffer(samples, np.uint8).reshape(-1, 3).astype(np.int32)
        v = b[:, 0] | (b[:, 1] << 8) | (b[:, 2] << 16)
        x = np.where(v >= 1 << 23, v - (1 << 24), v) / 8388608.0
    else:
        sys.exit(f"{path}: unsupported format {code}/{bits}")
    return x.reshape(-1, channels).mean(axis=1), float(rate)


def db(x):
    return 10.0 * np.log10(max(x, 1e-30))


def power_spectrum(x, fs):
    p = np.abs(np.fft.rfft(x)) ** 2
    f = np.fft.rfftfreq(len(x), 1.0 / fs)
    return f, p


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("clip")
    ap.add_argument("--lead", type=float, default=0.2)
    ap.add_argument("--tail", type=float, default=3.0)
    ap.add_argument("--note", action="append", default=[])
    a = ap.parse_args()
    x, fs = read_wav(a.clip)
    n = len(x)
    print(f"length          {n / fs:.3f} s ({n} samples at {fs:.0f} Hz)")
    peak = np.max(np.abs(x))
    print(f"peak            {20 * np.log10(peak):.2f} dBFS at {np.argmax(np.abs(x)) / fs:.3f} s")
    print(f"RMS             {db(np.mean(x ** 2)):.2f} dBFS")

    f, p = power_spectrum(x, fs)
    total = p[1:].sum()
    for lo, hi in BANDS:
        share = p[(f >= lo) & (f < hi)].sum() / total
        print(f"band {lo:>5}-{hi:<5} Hz  {100 * share:6.2f} %  {db(share):7.2f} dB")
    m = np.sqrt(p)
    print(f"centroid        {np.sum(f * p) / total:.0f} Hz (power)  "
          f"{np.sum(f * m) / m.sum():.0f} Hz (magnitude)")

    for name, seg in (("lead-in", x[:int(a.lead * fs)]), ("tail", x[n - int(a.tail * fs):])):
        if len(seg) == 0:
            continue
        sf, sp = power_spectrum(seg, fs)
        st = sp[1:].sum()
        hum = sp[(sf > 40) & (sf < 400)].sum()
        hiss = sp[sf >= 1000].sum()
        rms = db(np.mean(seg ** 2))
        print(f"{name:<8} {len(seg) / fs:.2f} s  RMS {rms:.1f} dBFS  peak {20 * np.log10(np.max(np.abs(seg)) + 1e-30):.1f} dBFS  "
              f"below 400 Hz {rms + db(hum / st):.1f} dBFS  above 1 kHz {rms + db(hiss / st):.1f} dBFS")

    for spec in a.note:
        start, length, f0 = (float(v) for v in spec.split(":"))
        seg = x[int(start * fs):int((start + length) * fs)]
        seg = seg * np.hanning(len(seg))
        sf, sp = power_spectrum(seg, fs)
        levels = []
        for k in range(1, 7):
            near = (sf > k * f0 * 0.97) & (sf < k * f0 * 1.03)
            levels.append(db(sp[near].max()))
        rel = " ".join(f"H{k + 1} {levels[k] - levels[0]:+.1f}" for k in range(1, 6))
        print(f"note {f0:.1f} Hz at {start:.2f} s  {rel} dB (relative to the fundamental)")


if __name__ == "__main__":
    main()
