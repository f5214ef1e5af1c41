#!/usr/bin/env bash
# Regenerates every MP3 fixture in tests/data and the bundled sample samples/demo.mp3.
#
# sox only synthesizes PCM, lame and twolame only encode it; tags, garbage and the
# byte-level splices are written by the small python3 helper below. sox runs with -R (fixed
# random seed) and -D (no dither, so digital silence stays exactly zero), so a rerun gives
# the same bytes as long as the tool versions stay the same (made with SoX 14.4.2, LAME
# 3.100, TwoLAME 0.4.0). The helper finally reads back the first frame header of each file
# and fails when an encoder did not produce what README.md promises.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
data="$here"
samples="$(cd "$here/../.." && pwd)/samples"
mkdir -p "$samples"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

# synth NAME RATE CHANNELS EFFECT... : 16-bit WAV from sox's synth into the scratch folder.
synth() {
    local name="$1" rate="$2" channels="$3"
    shift 3
    # Rate and channels go on the null input too, or sox would synthesize at its default
    # rate and resample.
    sox -R -D -r "$rate" -c "$channels" -n -b 16 "$work/$name.wav" "$@"
}

# lame3 WAV OUT OPTION... : layer III; --resample pins the output rate to the input rate so
# that lame never picks a lower rate on its own for a low bit rate.
lame3() {
    local wav="$1" out="$2"
    shift 2
    local rate
    rate="$(soxi -r "$wav")"
    local khz
    case "$rate" in
        8000) khz=8 ;; 11025) khz=11.025 ;; 12000) khz=12 ;; 16000) khz=16 ;;
        22050) khz=22.05 ;; 24000) khz=24 ;; 32000) khz=32 ;; 44100) khz=44.1 ;;
        48000) khz=48 ;; *) echo "unexpected rate $rate" >&2; exit 1 ;;
    esac
    lame --quiet --resample "$khz" "$@" "$wav" "$out"
}

cat >"$work/fx.py" <<'PYEOF'
import struct
import sys


def syncsafe(n):
    return bytes([(n >> 21) & 0x7F, (n >> 14) & 0x7F, (n >> 7) & 0x7F, n & 0x7F])


def frame(fid, payload):
    # ID3v2.3 frame: id, plain big-endian size, two zero flag bytes.
    return fid.encode("ascii") + struct.pack(">I", len(payload)) + b"\0\0" + payload


def text(fid, *values):
    # Encoding 0 (ISO-8859-1); several values are separated by a NUL, no final NUL.
    return frame(fid, b"\0" + b"\0".join(v.encode("latin-1") for v in values))


def comm(desc, body):
    return frame("COMM", b"\0" + b"eng" + desc.encode("latin-1") + b"\0" + body.encode("latin-1"))


def apic(mime, picture):
    # Picture type 3 (front cover), empty description.
    return frame("APIC", b"\0" + mime.encode("ascii") + b"\0" + b"\x03" + b"\0" + picture)


def id3v2(frames, padding=0):
    body = b"".join(frames) + bytes(padding)
    return b"ID3\x03\x00\x00" + syncsafe(len(body)) + body


def id3v1(title, artist, album, year, comment, track, genre):
    def field(s, n):
        b = s.encode("latin-1")[:n]
        return b + bytes(n - len(b))

    return (b"TAG" + field(title, 30) + field(artist, 30) + field(album, 30) + field(year, 4)
            + field(comment, 28) + b"\0" + bytes([track, genre]))


def lcg_bytes(seed, n):
    # 32-bit linear congruential generator (1664525, 1013904223), top byte of each state:
    # fixed here so that the bytes never depend on the Python version.
    out = bytearray()
    x = seed
    for _ in range(n):
        x = (x * 1664525 + 1013904223) & 0xFFFFFFFF
        out.append(x >> 24)
    return bytes(out)


def read(path):
    with open(path, "rb") as f:
        return f.read()


def write(path, data):
    with open(path, "wb") as f:
        f.write(data)


COMMENT_100 = ("This comment is exactly one hundred characters long so that it has to be "
               "wrapped onto a second line.")
assert len(COMMENT_100) == 100, len(COMMENT_100)


def make_tagged(audio, out):
    tag = id3v2([
        comm("note", "A described comment that is never shown."),
        text("TIT2", "Seven Bridges"),
        text("TPE1", "Anna Example", "Ben Sample"),
        text("TALB", "Fixture Album"),
        text("TYER", "1999"),
        text("TRCK", "07/12"),
        text("TCON", "(17)"),
        comm("", COMMENT_100),
        text("TCOP", "1999 Fixture Records"),
    ], padding=64)
    v1 = id3v1("Seven Bridges", "Anna Example", "Fixture Album", "1999", "One hundred characters",
               7, 17)
    write(out, tag + read(audio) + v1)


def fake_jpeg(size):
    # Starts like a JFIF file (FF D8 FF E0 ...), carries every pair FF E0 ... FF FB in a row,
    # and is otherwise filled with generator bytes, which hold more such pairs by chance.
    head = bytes.fromhex("FFD8FFE000104A46494600010100000100010000")
    pairs = b"".join(bytes([0xFF, b]) for b in range(0xE0, 0xFC))
    tail = bytes.fromhex("FFD9")
    fill = lcg_bytes(2026, size - len(head) - len(pairs) - len(tail))
    half = len(fill) // 2
    return head + fill[:half] + pairs + fill[half:] + tail


def make_big_tag(audio, out):
    tag = id3v2([text("TIT2", "Big Tag"), apic("image/jpeg", fake_jpeg(60000))])
    write(out, tag + read(audio))


def make_short(audio, out):
    tag = id3v2([text("TIT2", "Short"), text("TPE1", "Tiny Band")])
    write(out, tag + read(audio))


def make_midstream(first, second, out):
    tag = id3v2([text("TIT2", "Midstream"), text("TPE1", "Second Part")])
    write(out, read(first) + tag + read(second))


def make_garbage(out):
    write(out, lcg_bytes(12345, 5000))


def splice(out, *parts):
    write(out, b"".join(read(p) for p in parts))


# --- frame-header reader used to check what the encoders made ---------------------------

BR_V1 = {1: [0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448],
         2: [0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384],
         3: [0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320]}
BR_V2 = {1: [0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256],
         2: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160],
         3: [0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160]}
RATES = {"1": [44100, 48000, 32000], "2": [22050, 24000, 16000], "2.5": [11025, 12000, 8000]}
MODES = ["stereo", "joint", "dual", "mono"]


def header(b, o):
    if o + 4 > len(b):
        return None
    h = int.from_bytes(b[o:o + 4], "big")
    if h & 0xFFE00000 != 0xFFE00000:
        return None
    version = {0: "2.5", 2: "2", 3: "1"}.get((h >> 19) & 3)
    layer = {1: 3, 2: 2, 3: 1}.get((h >> 17) & 3)
    bri, sri = (h >> 12) & 15, (h >> 10) & 3
    if version is None or layer is None or bri in (0, 15) or sri == 3:
        return None
    br = (BR_V1 if version == "1" else BR_V2)[layer][bri]
    rate = RATES[version][sri]
    pad = (h >> 9) & 1
    if layer == 1:
        length = (12000 * br // rate + pad) * 4
    elif layer == 3 and version != "1":
        length = 72000 * br // rate + pad
    else:
        length = 144000 * br // rate + pad
    mode = (h >> 6) & 3
    crc = not (h >> 16) & 1
    side = (32 if mode != 3 else 17) if version == "1" else (17 if mode != 3 else 9)
    info = b[o + 4 + (2 if crc else 0) + side:][:12] if layer == 3 else b""
    xing = None
    if info[:4] in (b"Xing", b"Info"):
        flags = int.from_bytes(info[4:8], "big")
        xing = (info[:4].decode(), int.from_bytes(info[8:12], "big") if flags & 1 else None)
    return dict(version=version, layer=layer, crc=crc, bitrate=br, rate=rate, pad=pad,
                mode=MODES[mode], modeext=(h >> 4) & 3, copyright=(h >> 3) & 1,
                original=(h >> 2) & 1, emphasis=h & 3, length=length, xing=xing,
                word="%08X" % h)


def tag_size(b, o):
    if b[o:o + 3] != b"ID3" or o + 10 > len(b):
        return 0
    return 10 + ((b[o + 6] << 21) | (b[o + 7] << 14) | (b[o + 8] << 7) | b[o + 9])


def first_sync(b):
    # First eleven set bits anywhere, the way a scanner that skips no tag sees the file.
    for o in range(len(b) - 1):
        if b[o] == 0xFF and b[o + 1] >= 0xE0:
            return o
    return None


def walk(b):
    """Frames from the start, stepping over ID3v2 tags at frame positions and a final ID3v1."""
    o, frames, tags, v1, junk = 0, [], [], False, None
    while o < len(b):
        t = tag_size(b, o)
        if t:
            tags.append((o, t))
            o += t
            continue
        if b[o:o + 3] == b"TAG" and len(b) - o == 128:
            v1 = True
            break
        h = header(b, o)
        if h is None or o + h["length"] > len(b):
            junk = o
            break
        h["offset"] = o
        frames.append(h)
        o += h["length"]
    return frames, tags, v1, junk


def segments(frames):
    segs = []
    for i, f in enumerate(frames):
        key = (f["version"], f["layer"], f["rate"], f["mode"])
        if not segs or segs[-1]["key"] != key:
            segs.append(dict(key=key, first=i, offset=f["offset"], count=0, padded=0,
                             bitrates=set()))
        s = segs[-1]
        s["count"] += 1
        s["padded"] += f["pad"]
        s["bitrates"].add(f["bitrate"])
    return segs


def check(path, *expect):
    b = read(path)
    frames, tags, v1, junk = walk(b)
    if not frames:
        raise SystemExit("%s: no frames" % path)
    f = frames[0]
    got = dict(version=f["version"], layer=str(f["layer"]), rate=str(f["rate"]), mode=f["mode"],
               bitrate=str(f["bitrate"]), crc=str(int(f["crc"])),
               xing=f["xing"][0] if f["xing"] else "none", v1=str(int(v1)),
               tags=str(len(tags)), segments=str(len(segments(frames))),
               vbr=str(int(len({x["bitrate"] for x in frames}) > 1)))
    for e in expect:
        k, v = e.split("=", 1)
        if got[k] != v:
            raise SystemExit("%s: %s is %s, expected %s" % (path, k, got[k], v))
    if junk is not None:
        raise SystemExit("%s: frame walk stopped at byte %d" % (path, junk))


def report(*paths):
    for path in paths:
        b = read(path)
        name = path.rsplit("/", 1)[-1]
        print("== %s: %d bytes" % (name, len(b)))
        s = first_sync(b)
        print("   first FF Ex pair at byte %s: %s" % (s, b[s:s + 4].hex(" ") if s is not None
                                                       else "-"))
        frames, tags, v1, junk = walk(b)
        for o, t in tags:
            print("   ID3v2 tag at byte %d, %d bytes in total" % (o, t))
        if v1:
            print("   ID3v1 tag in the last 128 bytes")
        if junk is not None:
            print("   frame walk stopped at byte %d" % junk)
        if not frames:
            continue
        f = frames[0]
        print("   first frame at %d: %s  MPEG-%s layer %d %d Hz %s %d kbit/s crc=%d "
              "copyright=%d original=%d emphasis=%d pad=%d len=%d xing=%s" % (
                  f["offset"], f["word"], f["version"], f["layer"], f["rate"], f["mode"],
                  f["bitrate"], f["crc"], f["copyright"], f["original"], f["emphasis"],
                  f["pad"], f["length"], f["xing"]))
        for s in segments(frames):
            print("   frames %d..%d from byte %d: MPEG-%s L%d %d Hz %s, %d frames, %d padded, "
                  "kbit/s %s" % (s["first"], s["first"] + s["count"] - 1, s["offset"],
                                 s["key"][0], s["key"][1], s["key"][2], s["key"][3], s["count"],
                                 s["padded"], sorted(s["bitrates"])))
        ms = sum(1 for x in frames if x["mode"] == "joint" and x["modeext"] & 2)
        if f["mode"] == "joint":
            print("   frames with M/S stereo: %d of %d" % (ms, len(frames)))


def coded_silence(path):
    # Layer III side information only: a granule whose part2_3_length is 0 for every channel
    # codes no spectral value at all. Lists the runs of frames in which every granule is so.
    frames = walk(read(path))[0]
    b = read(path)
    empty = []
    for f in frames:
        nch = 1 if f["mode"] == "mono" else 2
        mpeg1 = f["version"] == "1"
        bits = int.from_bytes(b[f["offset"] + 4 + (2 if f["crc"] else 0):][:32], "big")
        width = 32 * 8
        pos = (9 + (5 if nch == 1 else 3) + 4 * nch) if mpeg1 else (8 + (1 if nch == 1 else 2))
        lengths = []
        for _ in range(2 if mpeg1 else 1):
            for _ in range(nch):
                lengths.append((bits >> (width - pos - 12)) & 0xFFF)
                pos += 59 if mpeg1 else 63
        empty.append(all(x == 0 for x in lengths))
    runs, start = [], None
    for i, e in enumerate(empty + [False]):
        if e and start is None:
            start = i
        if not e and start is not None:
            runs.append((start, i - 1))
            start = None
    for a, z in runs:
        print("   %s: frames %d..%d (bytes %d..%d) code no audio" % (
            path.rsplit("/", 1)[-1], a, z, frames[a]["offset"],
            frames[z]["offset"] + frames[z]["length"] - 1))


if __name__ == "__main__":
    globals()[sys.argv[1].replace("-", "_")](*sys.argv[2:])
PYEOF
fx() { python3 "$work/fx.py" "$@"; }

# The exact-length set in exact/: sines encoded with lame's LAME tag (delay and padding), so a
# decoder that trims them gives back the source's sample count. manifest.txt records per file
# the signal (rate, channels, tone per channel; amplitude 0.5, phase 0, and sox's half-sine
# fade of 0.02 s at both ends: round(16384 sin(2 pi f n / rate) g(n) g(N - n)) with
# g(k) = (1 - cos(pi k / L)) / 2 below L fade samples, else 1 -- checked sample for sample
# against sox's WAV), the source WAV's sample count (soxi -s) and the length a gapless decode
# must give, read from the source WAV's header by Python's wave module (lame's tag states the
# delay and padding it added, so that length is the source's), so no test needs an encoder. The fades keep the clicks of
# a hard start out of the residual: they alone would cost 15 to 25 dB of it.
# exact_one NAME RATE CHANNELS SECONDS CHECK LAME_OPTION... (CHECK 1: 128 kbit/s, residual test)
# lame lowers CBR and ABR input to 0.95 of its level (its --scale 1 does not undo that), so a
# test fits the level before it measures the residual.
exact_one() {
    local name="$1" rate="$2" channels="$3" seconds="$4" check="$5"
    shift 5
    local tones=(sine 440) right=0
    if [[ "$channels" == 2 ]]; then
        tones=(sine 440 sine 660)
        right=660
    fi
    synth "x_$name" "$rate" "$channels" synth "$seconds" "${tones[@]}" vol 0.5 \
        fade h 0.02 "$seconds" 0.02
    local wav="$work/x_$name.wav"
    case "$name" in
        *_id3lame) lame3 "$wav" "$exact/$name.mp3" "$@" --id3v2-only --tt "Exact" --ta "Pelmora" ;;
        *_id3) lame3 "$wav" "$work/x_$name.mp3" "$@"
               fx make-short "$work/x_$name.mp3" "$exact/$name.mp3" ;;
        *) lame3 "$wav" "$exact/$name.mp3" "$@" ;;
    esac
    local frames
    frames="$(python3 -c 'import sys, wave; print(wave.open(sys.argv[1]).getnframes())' "$wav")"
    printf '%s %s %s 440 %s %s %s %s %s\n' "$name.mp3" "$rate" "$channels" "$right" \
        "$((rate / 50))" "$(soxi -s "$wav")" "$frames" "$check" >>"$exact/manifest.txt"
}

make_exact_set() {
    exact="$data/exact"
    mkdir -p "$exact"
    rm -f "$exact"/*.mp3
    cat >"$exact/manifest.txt" <<'MANIFEST'
# Made by make_fixtures.sh. Columns: file, sample rate, channels, left tone Hz, right tone Hz
# (0: mono), fade samples at each end, source samples per channel (soxi -s of the WAV lame encoded), samples per channel
# of a gapless decode (the WAV's frames as Python's wave module reads them), 1 when the file is 128 kbit/s CBR (the residual check applies).
MANIFEST
    exact_one cbr128_44k_s_2s 44100 2 2 1 --cbr -b 128 -m s
    exact_one cbr128_48k_s_2s 48000 2 2 1 --cbr -b 128 -m s
    exact_one cbr128_32k_m_2s 32000 1 2 1 --cbr -b 128 -m m
    exact_one cbr128_22k_s_2s 22050 2 2 1 --cbr -b 128 -m s
    exact_one cbr128_44k_m_005 44100 1 0.05 1 --cbr -b 128 -m m
    exact_one cbr128_44k_s_005 44100 2 0.05 1 --cbr -b 128 -m s
    exact_one cbr64_22k_m_2s 22050 1 2 0 --cbr -b 64 -m m
    exact_one vbrv2_44k_s_2s 44100 2 2 0 -V 2
    exact_one vbrv2_48k_m_2s 48000 1 2 0 -V 2 -m m
    exact_one vbrv2_22k_s_005 22050 2 0.05 0 -V 2
    exact_one abr128_44k_s_2s 44100 2 2 0 --abr 128
    exact_one abr96_32k_m_2s 32000 1 2 0 --abr 96 -m m
    exact_one cbr128_44k_s_2s_id3lame 44100 2 2 1 --cbr -b 128 -m s
    exact_one vbrv2_44k_s_2s_id3 44100 2 2 0 -V 2
    exact_one cbr40_32k_m_180s 32000 1 180 0 --cbr -b 40 -m m
    for f in "$exact"/cbr*.mp3; do
        fx check "$f" layer=3 xing=Info vbr=0
    done
    for f in "$exact"/vbr*.mp3 "$exact"/abr*.mp3; do
        fx check "$f" layer=3 xing=Xing
    done
    fx check "$exact/cbr128_22k_s_2s.mp3" version=2 rate=22050
    fx check "$exact/cbr128_44k_s_2s_id3lame.mp3" tags=1
    fx check "$exact/vbrv2_44k_s_2s_id3.mp3" tags=1
}

if [[ "${1:-}" == "--exact-only" ]]; then
    make_exact_set
    exit 0
fi

rm -f "$data"/*.mp3 "$samples/demo.mp3"

# 1-2: the reference stereo signal, 440 Hz left and 660 Hz right at -6 dBFS.
synth lr3 44100 2 synth 3 sine 440 sine 660 vol 0.5
lame3 "$work/lr3.wav" "$data/stereo_44k_128.mp3" -t --cbr -b 128 -m s
lame3 "$work/lr3.wav" "$data/stereo_44k_128_info.mp3" --cbr -b 128 -m s
lame3 "$work/lr3.wav" "$data/vbr_xing.mp3" -V 4 -m j

# 3: the other rates and channel modes.
synth m22 22050 1 synth 3 sine 440 vol 0.5
lame3 "$work/m22.wav" "$data/mono_22k.mp3" -t --cbr -b 64 -m m
synth m11 11025 1 synth 3 sine 440 vol 0.5
lame3 "$work/m11.wav" "$data/mono_11k.mp3" -t --cbr -b 32 -m m
lame3 "$work/lr3.wav" "$data/dual_channel.mp3" -t --cbr -b 192 -m d
# Nearly equal channels, so that lame actually codes them as mid/side.
synth js3 44100 2 synth 3 sine 440 vol 0.5 remix 1 1v0.9
lame3 "$work/js3.wav" "$data/joint_stereo.mp3" -t --cbr -b 128 -m j

# 4-5: CRC protection and layer II.
lame3 "$work/lr3.wav" "$data/crc.mp3" -t -p --cbr -b 128 -m s
twolame --quiet -b 192 -m s "$work/lr3.wav" "$data/layer2.mp3"

# 6-8: tags at the start, a large tag, a tiny file and a tag in the middle of the stream.
synth lr2 44100 2 synth 2 sine 440 sine 660 vol 0.5
lame3 "$work/lr2.wav" "$work/lr2.mp3" -t --cbr -b 128 -m s
fx make-tagged "$work/lr2.mp3" "$data/tagged.mp3"
fx make-big-tag "$work/lr2.mp3" "$data/big_tag.mp3"
synth tiny 44100 2 synth 0.1 sine 440 sine 660 vol 0.5
lame3 "$work/tiny.wav" "$work/tiny.mp3" -t --cbr -b 128 -m s
fx make-short "$work/tiny.mp3" "$data/short.mp3"
synth a440 44100 2 synth 2 sine 440 sine 440 vol 0.5
synth a660 44100 2 synth 2 sine 660 sine 660 vol 0.5
lame3 "$work/a440.wav" "$work/a440.mp3" -t --cbr -b 128 -m s
lame3 "$work/a660.wav" "$work/a660.mp3" -t --cbr -b 128 -m s
fx make-midstream "$work/a440.mp3" "$work/a660.mp3" "$data/midstream_tag.mp3"

# 9: digital silence at the start and inside (sox's pad inserts exact zeros).
synth sil 44100 2 synth 2 sine 440 sine 660 vol 0.5 pad 3 0
lame3 "$work/sil.wav" "$data/silence_start.mp3" -t --cbr -b 128 -m s
synth pause 44100 2 synth 4 sine 440 sine 660 vol 0.5 pad 5@2
lame3 "$work/pause.wav" "$data/long_pause.mp3" -t --cbr -b 128 -m s

# 10: sample-rate changes by byte concatenation.
synth r48 48000 2 synth 2 sine 440 sine 660 vol 0.5
lame3 "$work/r48.wav" "$work/r48.mp3" -t --cbr -b 128 -m s
fx splice "$data/rate_change.mp3" "$work/lr2.mp3" "$work/r48.mp3"
synth r22 22050 2 synth 2 sine 440 sine 660 vol 0.5
lame3 "$work/r22.wav" "$work/r22.mp3" -t --cbr -b 64 -m s
fx splice "$data/rate_change_22k.mp3" "$work/lr2.mp3" "$work/r22.mp3"

# 11: not MP3 at all.
fx make-garbage "$data/garbage.mp3"
: >"$data/empty.mp3"

# 12: levels for clipping and normalization.
synth loud 44100 2 synth 2 square 220 square 330 vol 0.99
lame3 "$work/loud.wav" "$data/loud.mp3" -t --cbr -b 192 -m s
synth quiet 44100 2 synth 2 sine 440 sine 660 vol 0.1
lame3 "$work/quiet.wav" "$data/quiet.mp3" -t --cbr -b 128 -m s

# 13: the bundled sample, four strummed chords (C, Am, F, G) and a last C that rings out.
chord() {
    local name="$1" len="$2"
    shift 2
    sox -R -D -c 6 -r 44100 -n -c 2 -b 16 "$work/$name.wav" synth "$len" \
        pluck "$1" pluck "$2" pluck "$3" pluck "$4" pluck "$5" pluck "$6" \
        delay 0 .03 .06 .09 .12 .15 remix 1,3v0.6,5 2v0.6,4,6 fade 0.005 "$len" 0.25
}
chord c1 1.6 C3 G3 C4 E4 G4 C5
chord a1 1.6 A2 E3 A3 C4 E4 A4
chord f1 1.6 F2 C3 F3 A3 C4 F4
chord g1 1.6 G2 D3 G3 B3 D4 G4
chord c2 1.6 C3 G3 C4 E4 G4 E5
sox -R -D "$work"/{c1,a1,f1,g1,c2}.wav "$work/chords.wav" norm -3
synth pad 44100 2 synth 8 sine C2 sine G2 vol 0.08 fade q 1 8 2
sox -R -D -m "$work/chords.wav" "$work/pad.wav" "$work/demo.wav" norm -3 fade 0.02 8 1.5
lame3 "$work/demo.wav" "$samples/demo.mp3" --cbr -b 160 -m j --id3v2-only --id3v2-latin1 \
    --tt "Pelmora Demo" --ta "The Pelmora Developers" --tl "Samples" --ty 2026 --tn 1 \
    --tg Electronic --tc "Synthesized for Pelmora's first run."

# What the files turned out to be; a mismatch with README.md stops the script.
fx check "$data/stereo_44k_128.mp3" version=1 layer=3 rate=44100 mode=stereo bitrate=128 \
    crc=0 xing=none vbr=0 tags=0 v1=0
fx check "$data/stereo_44k_128_info.mp3" version=1 layer=3 rate=44100 mode=stereo \
    bitrate=128 xing=Info vbr=0
fx check "$data/vbr_xing.mp3" version=1 layer=3 rate=44100 mode=joint xing=Xing vbr=1
fx check "$data/mono_22k.mp3" version=2 layer=3 rate=22050 mode=mono bitrate=64 xing=none
fx check "$data/mono_11k.mp3" version=2.5 layer=3 rate=11025 mode=mono bitrate=32 xing=none
fx check "$data/dual_channel.mp3" version=1 layer=3 rate=44100 mode=dual bitrate=192
fx check "$data/joint_stereo.mp3" version=1 layer=3 rate=44100 mode=joint bitrate=128
fx check "$data/crc.mp3" version=1 layer=3 rate=44100 mode=stereo crc=1
fx check "$data/layer2.mp3" version=1 layer=2 rate=44100 mode=stereo bitrate=192 crc=0
fx check "$data/tagged.mp3" version=1 layer=3 rate=44100 tags=1 v1=1
fx check "$data/big_tag.mp3" version=1 layer=3 rate=44100 tags=1
fx check "$data/short.mp3" version=1 layer=3 rate=44100 tags=1
fx check "$data/midstream_tag.mp3" version=1 layer=3 rate=44100 tags=1 segments=1
fx check "$data/silence_start.mp3" version=1 layer=3 rate=44100 mode=stereo bitrate=128
fx check "$data/long_pause.mp3" version=1 layer=3 rate=44100 mode=stereo bitrate=128
fx check "$data/rate_change.mp3" version=1 rate=44100 segments=2
fx check "$data/rate_change_22k.mp3" version=1 rate=44100 segments=2
fx check "$data/loud.mp3" version=1 layer=3 rate=44100 bitrate=192
fx check "$data/quiet.mp3" version=1 layer=3 rate=44100 bitrate=128
fx check "$samples/demo.mp3" version=1 layer=3 rate=44100 mode=joint bitrate=160 tags=1 \
    xing=Info

make_exact_set

if [[ "${1:-}" == "--report" ]]; then
    fx report "$data"/*.mp3 "$samples/demo.mp3"
    for f in silence_start long_pause stereo_44k_128 stereo_44k_128_info mono_22k; do
        fx coded-silence "$data/$f.mp3"
    done
fi
