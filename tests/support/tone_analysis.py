#!/ usr / bin / python3
"""Spectral figures of our outputs with numpy, for the resampler's quality tests.

  tone_analysis.py tone FILE CHANNEL RATE START SECONDS FREQ BAND_HZ
      The tone at FREQ and the strongest other component up to BAND_HZ, over SECONDS from
      START, through a Kaiser window (beta 38, side lobes far below any figure asked for).
      Prints "tone_db=... spurious_db=... rms_db=...": the tone's amplitude in dB of full
      scale, the strongest other component in dB relative to the tone, and the RMS of the
      whole span in dB of a full-scale sine.
  tone_analysis.py diff FILE_A FILE_B CHANNEL FIRST COUNT
      Prints "diff_db=...": the RMS of A - B over COUNT samples from sample FIRST, relative
      to the RMS of A.

FILE is a PCM WAV file (16, 24 or 32-bit, its chunks walked here) or, with the suffix .f28,
raw little-endian 32-bit samples with 28 fraction bits, one channel.
"""
import struct
import sys

import numpy as np


def read_samples(path, channel):
    """The channel's samples as floats, full scale 1.0."""
    if path.endswith(".f28"):
        return np.fromfile(path, dtype="<i4").astype(np.float64) / 2.0**28
    data = open(path, "rb").read()
    if data[0:4] != b"RIFF" or data[8:12] != b"WAVE":
        sys.exit(path + ": not a RIFF WAVE file")
    offset = 12
    channels = bits = None
    while offset + 8 <= len(data):
        chunk_id = data[offset:offset + 4]
        size = struct.unpack("<I", data[offset + 4:offset + 8])[0]
        body = data[offset + 8:offset + 8 + size]
        if chunk_id == b"fmt ":
            channels = struct.unpack("<H", body[2:4])[0]
            bits = struct.unpack("<H", body[14:16])[0]
        elif chunk_id == b"data":
            break
        offset += 8 + size + (size & 1)
    else:
        sys.exit(path + ": no data chunk")
    width = (bits + 7) // 8
    raw = np.frombuffer(body[: len(body) // (width * channels) * width * channels], dtype=np.uint8)
    raw = raw.reshape(-1, width)
    value = np.zeros(raw.shape[0], dtype=np.int64)
    for byte in range(width):
        value |= raw[:, byte].astype(np.int64) << (8 * byte)
    sign = np.int64(1) << (8 * width - 1)
    value = (value ^ sign) - sign
    return (value.astype(np.float64) / float(sign)).reshape(-1, channels)[:, channel]


def span(samples, rate, start, seconds):
    first = int(start * rate)
    count = int(seconds * rate)
    if first + count > len(samples):
        sys.exit("span past the end: %d samples, %d asked" % (len(samples), first + count))
    return samples[first:first + count]


def tone(path, channel, rate, start, seconds, freq, band):
    x = span(read_samples(path, channel), rate, start, seconds)
    window = np.kaiser(len(x), 38.0)
    spectrum = np.abs(np.fft.rfft(x * window)) / (window.sum() / 2.0)
    bin_hz = rate / len(x)
    tone_bin = int(round(freq / bin_hz))
#The Kaiser window's main lobe is about 12.5 bins wide on either side at beta 38.
    lobe = 16
    tone_amp = spectrum[max(tone_bin - lobe, 0):tone_bin + lobe + 1].max()
    rest = spectrum.copy()
    rest[max(tone_bin - lobe, 0):tone_bin + lobe + 1] = 0
    rest[int(band / bin_hz) + 1:] = 0
    rms = np.sqrt(np.mean(x * x)) * np.sqrt(2.0)
    floor = 1e-30
    print("tone_db=%.2f spurious_db=%.2f rms_db=%.2f" % (
        20 * np.log10(max(tone_amp, floor)),
        20 * np.log10(max(rest.max(), floor) / max(tone_amp, floor)),
        20 * np.log10(max(rms, floor))))


def diff(path_a, path_b, channel, first, count):
    a = read_samples(path_a, channel)
    b = read_samples(path_b, channel)
    first = int(first)
    count = int(count)
    if first + count > min(len(a), len(b)):
        sys.exit("span past the end")
    a = a[first:first + count]
    b = b[first:first + count]
    print("diff_db=%.2f" % (10 * np.log10(max(np.mean((a - b) ** 2), 1e-300) / np.mean(a * a))))


def main():
    if len(sys.argv) == 9 and sys.argv[1] == "tone":
        tone(sys.argv[2], int(sys.argv[3]), float(sys.argv[4]), float(sys.argv[5]),
             float(sys.argv[6]), float(sys.argv[7]), float(sys.argv[8]))
    elif len(sys.argv) == 7 and sys.argv[1] == "diff":
        diff(sys.argv[2], sys.argv[3], int(sys.argv[4]), float(sys.argv[5]), float(sys.argv[6]))
    else:
        sys.exit(__doc__)


main()
