#!/usr/bin/env python3
"""The photosensitivity analyser's reference cases: short videos made here, frame by
frame, through ffmpeg (lossless FFV1, or H.264 where a player's file is the point), and
the verdict each must get, under each standard where they part.

    cases.py list                      the cases' names
    cases.py make DIR                  write every case's video into DIR
    cases.py check FLASHCHECK DIR NAME run flashcheck on one and check its verdict
    cases.py refuse FLASHCHECK DIR     what is not a video, or not an option, ends with 2

A case passes when flashcheck's exit status is the expected one, its summary lists
every kind of stretch the case must have and none it must not, and each standard named
in VERDICTS gives its verdict.
"""
import json
import os
import subprocess
import sys

SMALL = (640, 360)      # the windows scale with the frame: 139 x 139 here
FULL_HD = (1920, 1080)  # where a window is 416 x 416
KINDS = ["general flash", "red flash", "extended flashing", "pattern", "warning"]


def linear(code):
    v = code / 255.0
    return v / 12.92 if v <= 0.04045 else ((v + 0.055) / 1.055) ** 2.4


def grey_luminance(code):
    return linear(code)  # the three weights sum to 1


def grey_with_luminance(y):
    return min(range(256), key=lambda c: abs(grey_luminance(c) - y))


def red_luminance():
    return 0.2126 * linear(255)


# Mid-grey and the grey just short of a 0.10 change above it.
UNDER_LOW = 124
UNDER_HIGH = max(c for c in range(256) if grey_luminance(c) - grey_luminance(UNDER_LOW) < 0.099)
# Both states at 0.80 or brighter.
BRIGHT_LOW = min(c for c in range(256) if grey_luminance(c) >= 0.82)
RED_GREY = grey_with_luminance(red_luminance())


def uniform(size, rgb):
    return bytes(rgb) * (size[0] * size[1])


def square(size, background, colour, side, x, y):
    w, h = size
    plain = bytes(background) * w
    row = plain[: x * 3] + bytes(colour) * side + plain[(x + side) * 3:]
    return plain * y + row * side + plain * (h - y - side)


def stripes(size, bars, shift):
    """`bars` alternating white and black bars over the left half, moved right by
    `shift` pixels; the right half mid-grey."""
    w, h = size
    half = w // 2
    width = half / bars
    row = bytearray()
    for x in range(half):
        row += b"\xff\xff\xff" if int((x - shift) // width) % 2 == 0 else b"\x00\x00\x00"
    row += bytes((128, 128, 128)) * (w - half)
    return bytes(row) * h


def on_off(rate):
    """True in the first half of each of `rate` cycles a second."""
    return lambda t: int(t * rate * 2) % 2 == 0


def flashing(size, rate, on, off):
    state = on_off(rate)
    frames = {True: uniform(size, on), False: uniform(size, off)}
    return lambda t: frames[state(t)]


def flashing_square(side, rate):
    state = on_off(rate)
    grey = (128, 128, 128)
    # Away from the windows' grid, so that no one window holds the square exactly.
    frames = {on: square(FULL_HD, grey, (255, 255, 255) if on else (0, 0, 0), side, 701, 333)
              for on in (True, False)}
    return lambda t: frames[state(t)]


def ramped(size, rate, fps, ramp_frames, low, high):
    """Flashes at `rate` a second between two luminances, each change spread evenly over
    `ramp_frames` frames."""
    half = fps / (2 * rate)
    def frame_at(t):
        i = round(t * fps)
        phase, rising = i % half, int(i // half) % 2 == 0
        step = min(1.0, phase / ramp_frames)
        y = low + (high - low) * (step if rising else 1.0 - step)
        return uniform(size, (grey_with_luminance(y),) * 3)
    return frame_at


def corner_square(size, side, rate):
    """A square in the frame's bottom right corner, flashing white and black on grey."""
    state = on_off(rate)
    frames = {on: square(size, (128, 128, 128), (255, 255, 255) if on else (0, 0, 0), side,
                         size[0] - side, size[1] - side) for on in (True, False)}
    return lambda t: frames[state(t)]


def fade(size, seconds):
    return lambda t: uniform(size, (round(255 * min(1.0, t / seconds)),) * 3)


def moving_stripes(size, bars, pixels_per_second):
    return lambda t: stripes(size, bars, int(t * pixels_per_second))


BLACK, WHITE, GREY = (0, 0, 0), (255, 255, 255), (128, 128, 128)

# name: (size, fps, seconds, frame at time t, codec, exit status, must have, must not have)
CASES = {
    "flash_3_a_second": (SMALL, 60, 3.0, flashing(SMALL, 3, GREY, BLACK), "ffv1", 0,
                         ["warning"], ["general flash", "extended flashing"]),
    "flash_4_a_second_60fps": (SMALL, 60, 3.0, flashing(SMALL, 4, GREY, BLACK), "h264", 1,
                               ["general flash"], ["red flash", "pattern"]),
    "flash_4_a_second_30fps": (SMALL, 30, 3.0, flashing(SMALL, 4, GREY, BLACK), "h264", 1,
                               ["general flash"], ["red flash", "pattern"]),
    "flash_4_a_second_24fps": (SMALL, 24, 3.0, flashing(SMALL, 4, GREY, BLACK), "h264", 1,
                               ["general flash"], ["red flash", "pattern"]),
    "under_a_tenth_10_a_second": (SMALL, 60, 2.0,
                                  flashing(SMALL, 10, (UNDER_HIGH,) * 3, (UNDER_LOW,) * 3), "ffv1",
                                  0, [], KINDS),
    "darker_state_bright_10_a_second": (SMALL, 60, 2.0,
                                        flashing(SMALL, 10, WHITE, (BRIGHT_LOW,) * 3), "ffv1", 1,
                                        ["general flash"], ["red flash", "pattern"]),
    "red_against_equal_grey": (SMALL, 60, 3.0,
                               flashing(SMALL, 4, (255, 0, 0), (RED_GREY,) * 3), "ffv1", 1,
                               ["red flash"], ["general flash", "pattern"]),
    "square_416_5_a_second": (FULL_HD, 30, 2.0, flashing_square(416, 5), "ffv1", 1,
                              ["general flash"], ["pattern"]),
    "square_200_5_a_second": (FULL_HD, 30, 2.0, flashing_square(200, 5), "ffv1", 1,
                              ["general flash"], ["red flash", "pattern"]),
    "fade_over_two_seconds": (SMALL, 60, 3.0, fade(SMALL, 2.0), "ffv1", 0, [], KINDS),
    "flash_2_5_a_second_7_seconds": (SMALL, 30, 7.0, flashing(SMALL, 2.5, GREY, BLACK), "ffv1", 1,
                                   ["extended flashing"], ["general flash"]),
    "stripes_20_moving": (SMALL, 60, 1.2, moving_stripes(SMALL, 20, 15), "ffv1", 1,
                          ["pattern"], ["general flash", "warning"]),
    "stripes_4_moving": (SMALL, 60, 1.2, moving_stripes(SMALL, 4, 15), "ffv1", 0, [], KINDS),
    # 7.5 changes of 0.24 a second: spread over 3 frames at 60 fps (50 ms) they are
    # flashes; over all 8 frames of each half cycle (never 0.10 within 66 ms), a glow.
    "ramped_50ms_60fps": (SMALL, 60, 2.0, ramped(SMALL, 3.75, 60, 3, 0.05, 0.29), "ffv1", 1,
                          ["general flash"], ["red flash"]),
    "ramped_133ms_60fps": (SMALL, 60, 2.0, ramped(SMALL, 3.75, 60, 8, 0.05, 0.29), "ffv1", 0,
                           [], KINDS),
    # At 720p the window is 277 x 277: a 200 x 200 square in the corner is half of one.
    "corner_square_720p": ((1280, 720), 60, 2.0, corner_square((1280, 720), 200, 5), "ffv1", 1,
                           ["general flash"], ["red flash", "pattern"]),
}

# Where the standards part: above 0.80 only TRACE weighs contrast; a 200 x 200 square is
# under a quarter of TRACE's window but near half of WCAG's field and a sliver of the
# screen; flashing for seconds and stripes are the broadcast rules' alone.
BROADCAST_PASS = {"ofcom": "pass", "itu": "pass", "iso": "pass"}
VERDICTS = {
    "darker_state_bright_10_a_second": dict(BROADCAST_PASS, trace="fail", wcag="pass"),
    "square_200_5_a_second": dict(BROADCAST_PASS, trace="pass", wcag="fail"),
    "square_416_5_a_second": dict(BROADCAST_PASS, trace="fail", wcag="fail"),
    "flash_2_5_a_second_7_seconds": {"trace": "pass with warnings", "wcag": "pass with warnings",
                                     "ofcom": "fail", "itu": "fail", "iso": "fail"},
    "stripes_20_moving": {"trace": "pass", "wcag": "pass", "ofcom": "fail", "itu": "fail", "iso": "fail"},
    "corner_square_720p": dict(BROADCAST_PASS, trace="fail", wcag="fail"),
}

# Where a case flashes, when in one place (x, y, width, height): the window a stretch
# names must cover more than a quarter of it.
FLASHING_AT = {"square_416_5_a_second": (701, 333, 416, 416), "corner_square_720p": (1080, 520, 200, 200)}


def covers_a_quarter(window, area):
    x, y, w, h = area
    across = min(window["x"] + window["width"], x + w) - max(window["x"], x)
    down = min(window["y"] + window["height"], y + h) - max(window["y"], y)
    return across > 0 and down > 0 and across * down > w * h / 4


def video_path(directory, name):
    return os.path.join(directory, name + (".mp4" if CASES[name][4] == "h264" else ".mkv"))


def make(directory):
    os.makedirs(directory, exist_ok=True)
    for name, (size, fps, seconds, frame_at, codec, *_rest) in CASES.items():
        path = video_path(directory, name)
        codec_args = (["-c:v", "libx264", "-preset", "ultrafast", "-crf", "18", "-pix_fmt", "yuv420p"]
                      if codec == "h264" else ["-c:v", "ffv1"])
        encoder = subprocess.Popen(
            ["ffmpeg", "-v", "error", "-y", "-f", "rawvideo", "-pix_fmt", "rgb24", "-video_size",
             "%dx%d" % size, "-framerate", str(fps), "-i", "pipe:0"] + codec_args + [path],
            stdin=subprocess.PIPE)
        for i in range(round(seconds * fps)):
            encoder.stdin.write(frame_at(i / fps))
        encoder.stdin.close()
        if encoder.wait() != 0:
            sys.exit("ffmpeg could not write %s" % path)


def check(flashcheck, directory, name):
    *_head, status, must, must_not = CASES[name]
    prefix = os.path.join(directory, name + ".result")
    run = subprocess.run([flashcheck, "--quiet", "--out", prefix, video_path(directory, name)],
                         capture_output=True, text=True)
    print(run.stdout + run.stderr, end="")
    with open(prefix + ".json") as text:
        summary = json.load(text)
    stretches = summary["stretches"]
    kinds = {s["kind"] for s in stretches}
    faults = []
    if name in FLASHING_AT:
        faults += ["a flash put at %s" % s["window"] for s in stretches
                   if s["level"] == "fail" and not covers_a_quarter(s["window"], FLASHING_AT[name])]
    if run.returncode != status:
        faults.append("exit status %d, expected %d" % (run.returncode, status))
    faults += ["no %s stretch" % k for k in must if k not in kinds]
    faults += ["a %s stretch it must not have" % k for k in must_not if k in kinds]
    faults += ["%s: %s, expected %s" % (k, summary["standards"][k], v) for k, v in VERDICTS.get(name, {}).items()
               if summary["standards"][k] != v]
    for fault in faults:
        print("%s: %s" % (name, fault))
    return 1 if faults else 0


def refuse(flashcheck, directory):
    not_video = os.path.join(directory, "not-a-video.mkv")
    with open(not_video, "w") as text:
        text.write("plain text\n")
    tries = [([not_video], "cannot read"),
             ([os.path.join(directory, "missing.mp4")], "no such file"),
             (["--frames-per-second", "60", not_video], "unknown option"),
             (["--standard", "trace,bbc", not_video], "unknown standard 'bbc'"),
             (["--demo", "--from", "44", "--to", "40"], "--to must come after --from")]
    faults = 0
    for args, message in tries:
        run = subprocess.run([flashcheck, "--quiet"] + args, capture_output=True, text=True)
        if run.returncode != 2 or message not in run.stderr:
            print("%s: status %d, said: %s" % (" ".join(args), run.returncode, run.stderr.strip()))
            faults += 1
    return 1 if faults else 0


if __name__ == "__main__":
    if len(sys.argv) == 2 and sys.argv[1] == "list":
        print(";".join(CASES))
    elif len(sys.argv) == 4 and sys.argv[1] == "refuse":
        sys.exit(refuse(sys.argv[2], sys.argv[3]))
    elif len(sys.argv) == 3 and sys.argv[1] == "make":
        make(sys.argv[2])
    elif len(sys.argv) == 5 and sys.argv[1] == "check":
        sys.exit(check(sys.argv[2], sys.argv[3], sys.argv[4]))
    else:
        sys.exit(__doc__)
