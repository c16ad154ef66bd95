#!/usr/bin/env python3
"""Impairments applied to a rendered recording after the fact, through libsndfile.

Usage: impair.py IN.wav OUT KIND
  clip       the signal driven 1.8 times past full scale, clipped
  u8         8-bit unsigned samples
  crosstalk  another recording of the same kind leaking in at a third of the level
  agc        the level swung by a slow automatic gain control (0.3 to 1, 2.5 Hz)
  dropouts   5 ms of silence every 400 ms
  vorbis     Ogg Vorbis at quality 0.4 (about 128 kbit/s)
  opus       Ogg Opus at its default bit rate (the input must be 48 kHz)
  opus32     Ogg Opus at about 32 kbit/s (the same)
"""
import ctypes
import math
import random
import sys

SF_FORMAT_WAV, SF_FORMAT_OGG = 0x010000, 0x200000
SF_FORMAT_PCM_16, SF_FORMAT_PCM_U8 = 0x0002, 0x0005
SF_FORMAT_VORBIS, SF_FORMAT_OPUS = 0x0060, 0x0064
SFM_READ, SFM_WRITE = 0x10, 0x20
SFC_SET_VBR_ENCODING_QUALITY = 0x1300
SFC_SET_COMPRESSION_LEVEL = 0x1301
# libsndfile maps Opus's compression level 0 to 1 onto 256 down to 6 kbit/s per channel.
OPUS_32K_LEVEL = (256 - 32) / (256 - 6)


class Info(ctypes.Structure):
    _fields_ = [("frames", ctypes.c_int64), ("samplerate", ctypes.c_int),
                ("channels", ctypes.c_int), ("format", ctypes.c_int),
                ("sections", ctypes.c_int), ("seekable", ctypes.c_int)]


sf = ctypes.CDLL("libsndfile.so.1")
sf.sf_open.restype = ctypes.c_void_p
sf.sf_open.argtypes = [ctypes.c_char_p, ctypes.c_int, ctypes.POINTER(Info)]
sf.sf_readf_float.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
sf.sf_readf_float.restype = ctypes.c_int64
sf.sf_writef_float.argtypes = [ctypes.c_void_p, ctypes.c_void_p, ctypes.c_int64]
sf.sf_writef_float.restype = ctypes.c_int64
sf.sf_command.argtypes = [ctypes.c_void_p, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
sf.sf_close.argtypes = [ctypes.c_void_p]


def read(path):
    info = Info()
    handle = sf.sf_open(path.encode(), SFM_READ, ctypes.byref(info))
    if not handle:
        sys.exit(f"cannot read {path}")
    data = (ctypes.c_float * (info.frames * info.channels))()
    sf.sf_readf_float(handle, data, info.frames)
    sf.sf_close(handle)
    return [data[i * info.channels] for i in range(info.frames)], info.samplerate


def write(path, samples, rate, fmt, quality=None, level=None):
    info = Info(0, rate, 1, fmt, 0, 0)
    handle = sf.sf_open(path.encode(), SFM_WRITE, ctypes.byref(info))
    if not handle:
        sys.exit(f"cannot write {path}")
    if quality is not None:
        q = ctypes.c_double(quality)
        sf.sf_command(handle, SFC_SET_VBR_ENCODING_QUALITY, ctypes.byref(q), ctypes.sizeof(q))
    if level is not None:
        lv = ctypes.c_double(level)
        sf.sf_command(handle, SFC_SET_COMPRESSION_LEVEL, ctypes.byref(lv), ctypes.sizeof(lv))
    data = (ctypes.c_float * len(samples))(*samples)
    sf.sf_writef_float(handle, data, len(samples))
    sf.sf_close(handle)


def main():
    source, target, kind = sys.argv[1:4]
    x, rate = read(source)
    wav16 = SF_FORMAT_WAV | SF_FORMAT_PCM_16
    if kind == "clip":
        write(target, [max(-1.0, min(1.0, 1.8 * v)) for v in x], rate, wav16)
    elif kind == "u8":
        write(target, x, rate, SF_FORMAT_WAV | SF_FORMAT_PCM_U8)
    elif kind == "crosstalk":
        # The same recording a little over a frame later stands for another transmitter.
        shift = int(0.0317 * rate)
        write(target, [0.75 * v + 0.25 * x[(i + shift) % len(x)] for i, v in enumerate(x)], rate,
              wav16)
    elif kind == "agc":
        write(target, [v * (0.65 + 0.35 * math.sin(2 * math.pi * 2.5 * i / rate))
                       for i, v in enumerate(x)], rate, wav16)
    elif kind == "dropouts":
        period, gap = int(0.4 * rate), int(0.005 * rate)
        write(target, [0.0 if i % period < gap else v for i, v in enumerate(x)], rate, wav16)
    elif kind == "vorbis":
        write(target, x, rate, SF_FORMAT_OGG | SF_FORMAT_VORBIS, 0.4)
    elif kind == "opus":
        write(target, x, rate, SF_FORMAT_OGG | SF_FORMAT_OPUS)
    elif kind == "opus32":
        write(target, x, rate, SF_FORMAT_OGG | SF_FORMAT_OPUS, level=OPUS_32K_LEVEL)
    else:
        sys.exit(f"unknown impairment {kind}")


if __name__ == "__main__":
    random.seed(1)
    main()
