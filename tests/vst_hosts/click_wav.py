#!/usr/bin/env python3
"""Writes a hard-left click, and measures what a host made of it.
  click_wav.py write OUT.wav
  click_wav.py check IN.wav DIRECT CROSS DELAY
check finds the direct copy on the left and the crossfed one on the right,
relative to the click's own amplitude, and fails when gains or the delay in
samples differ, or when anything else is heard; it names a dry render (the
click passed through untouched, as when a host could not load the effect)."""
import struct
import sys

RATE, LENGTH, AT, AMPLITUDE = 44100, 44100, 4410, 0.5
GAIN_TOLERANCE = 0.002
SILENCE = 1e-4


def write(path):
    frames = bytearray()
    for i in range(LENGTH):
        frames += struct.pack('<hh', int(AMPLITUDE * 32768) if i == AT else 0, 0)
    with open(path, 'wb') as out:
        out.write(b'RIFF' + struct.pack('<I', 36 + len(frames)) + b'WAVEfmt '
                  + struct.pack('<IHHIIHH', 16, 1, 2, RATE, RATE * 4, 4, 16)
                  + b'data' + struct.pack('<I', len(frames)) + frames)


def read(path):
    data = open(path, 'rb').read()
    pos, fmt, samples = 12, None, None
    while pos + 8 <= len(data):
        chunk, size = data[pos:pos + 4], struct.unpack('<I', data[pos + 4:pos + 8])[0]
        body = data[pos + 8:pos + 8 + size]
        if chunk == b'fmt ':
            fmt = struct.unpack('<HHIIHH', body[:16])
        elif chunk == b'data':
            samples = body
        pos += 8 + size + (size & 1)
    tag, channels, rate, _, _, bits = fmt
    code = {(3, 32): 'f', (0xFFFE, 32): 'f', (1, 16): 'h'}[(tag, bits)]
    scale = 1.0 / 32768 if code == 'h' else 1.0
    count = len(samples) // (channels * bits // 8)
    values = struct.unpack('<%d%s' % (count * channels, code), samples[:count * channels * bits // 8])
    return rate, [[v * scale for v in values[c::channels]] for c in range(channels)]


def is_dry(channels):
    expected = lambda c, i: AMPLITUDE if c == 0 and i == AT else 0.0
    return all(abs(v - expected(c, i)) <= SILENCE for c, channel in enumerate(channels)
               for i, v in enumerate(channel))


def peak(channel):
    where = max(range(len(channel)), key=lambda i: abs(channel[i]))
    return where, channel[where]


def check(path, direct, cross, delay):
    rate, channels = read(path)
    if rate != RATE or len(channels) != 2:
        return ['rate %d with %d channels, expected %d stereo' % (rate, len(channels), RATE)]
    left, right = channels
    at_left, left_peak = peak(left)
    at_right, right_peak = peak(right)
    measured = (left_peak / AMPLITUDE, right_peak / AMPLITUDE, at_right - at_left)
    print('measured: direct gain %.4f, cross gain %.4f, delay %d samples (expected %.4f, %.4f, %d)'
          % (measured + (direct, cross, delay)))
    if is_dry(channels):
        return ['dry render: the output equals the input, the effect did not run']
    faults = []
    if abs(measured[0] - direct) > GAIN_TOLERANCE:
        faults.append('direct gain')
    if abs(measured[1] - cross) > GAIN_TOLERANCE:
        faults.append('cross gain')
    if measured[2] != delay:
        faults.append('delay')
    rest = max([abs(v) for i, v in enumerate(left) if i != at_left]
               + [abs(v) for i, v in enumerate(right) if i != at_right])
    if rest > SILENCE:
        faults.append('other sound, up to %.5f' % rest)
    return faults


if __name__ == '__main__':
    if sys.argv[1] == 'write':
        write(sys.argv[2])
    else:
        faults = check(sys.argv[2], float(sys.argv[3]), float(sys.argv[4]), int(sys.argv[5]))
        for fault in faults:
            print('wrong: ' + fault)
        sys.exit(1 if faults else 0)
