#!/usr/bin/env python3
"""Independent model of the synthesizer's sound: note rules, envelope and
trajectory, oscillator and frame loop, with every float32 rounding explicit.

Renders each scenario of a scenario file (see render_scenarios.txt) and writes
all frames, scenario after scenario, as little-endian float32.
usage: reference_engine.py SCENARIOS OUTPUT
"""
import array
import math
import sys

_F32 = array.array("f", [0.0])
PARAMS = ("m", "N1", "N2", "N3", "A", "B")


def f32(x):
    _F32[0] = x  # C conversion: nearest, ties to even; too large gives inf
    return _F32[0]


TWO_PI = f32(6.2831855)


def cpow(x, y):  # C pow for x >= 0: pow(0, negative) and overflow give inf
    try:
        return math.pow(x, y)
    except (ValueError, OverflowError):
        return math.inf


class Synth:
    def __init__(self, sc):
        self.sliders = sc["sliders"]
        self.p = dict(zip(PARAMS, sc["params"]))
        pad = sc["pad"]
        self.px, self.py = pad[0::2], pad[1::2]
        self.xaxis, self.yaxis = sc.get("x"), sc.get("y")
        self.traj = bool(self.xaxis or self.yaxis)
        self.note_freq, self.prev_freq = 0.0, 100.0
        self.gate = self.latched = self.started = self.keys = 0
        self.fade = self.index = self.rel_index = self.period = 0
        self.a = self.d = self.s = self.r = 0.0
        self.level = self.last_release = self.rel_level = 0.0
        self.pos_x = self.pos_y = self.rel_x = self.rel_y = 50.0
        self.phase = self.out = 0.0
        self.exact, self.bend_range = sc.get("exact", 0), sc.get("bend", 0)
        self.glide_time, self.glide_legato = sc.get("glide", (0.0, 0))
        self.sensitivity = sc.get("velocity", 0.0)
        self.onset, self.pedal = sc.get("onset", 0), sc.get("pedal", 0)
        self.bend, self.velocity, self.legato, self.note_level = 8192, 100, 0, 1.0
        self.pedal_down = self.sustained = 0
        self.pitch = self.glide_from = self.glide_to = 0.0
        self.glide_step = self.glide_frames = 0

    def release(self):
        self.keys = max(self.keys - 1, 0)
        if self.keys == 0:
            self.gate = self.latched = self.started = 0
            self.prev_freq = self.note_freq

    def midi(self, status, note, velocity):
        if status == 0x90 and velocity > 0:
            self.legato = int(self.keys > 0)
            if not self.legato:
                self.velocity = velocity
            self.note_freq = 440.0 * math.pow(2.0, (note - 69) / 12)
            if self.keys == 0:
                self.gate = 1
            self.keys += 1
        elif status in (0x80, 0x90):
            if self.pedal_down and self.sustained < self.keys:
                self.sustained += 1
            else:
                self.release()
        elif status == 0xE0:
            self.bend = note | velocity << 7
        elif status == 0xB0 and note == 64:
            self.pedal_down = int(velocity >= 64 and self.pedal == 1)
            if not self.pedal_down:
                for _ in range(self.sustained):
                    self.release()
                self.sustained = 0

    def apply_trajectory(self):
        for axis, pos in ((self.xaxis, self.pos_x), (self.yaxis, self.pos_y)):
            if axis and axis[0] in self.p:
                name, lo, hi = axis
                self.p[name] = f32(lo + (pos / 300) * (hi - lo))

    def envelope(self, n):
        px, py = self.px, self.py
        if self.gate == 0:
            remaining = self.r + self.rel_index - n
            if not remaining > 0:
                self.level, self.pos_y, self.pos_x = 0.0, py[3], px[3]
            else:
                k = n - self.rel_index
                self.level = self.rel_level * remaining / self.r
                self.pos_y = self.rel_y + (py[3] - self.rel_y) * k / self.r
                self.pos_x = self.rel_x + (px[3] - self.rel_x) * k / self.r
            self.last_release = self.level
            if self.traj:
                self.apply_trajectory()
        if self.gate == 1:
            if self.latched == 0:
                self.latched, self.fade = 1, -1
                A, D, S, R = self.sliders
                self.a = math.pow(1.00517037535, A) * 0.0994856 / 1000 * 44100
                self.d = D / 1000 * 44100
                self.s = S / 100
                self.r = R / 1000 * 44100
                if self.onset and self.last_release == 0.0:
                    self.fade = 1000  # nothing sounds: no fade-out
            self.fade += 1
            if self.fade <= 1000:
                self.level = (1 - self.fade / 1000) * self.last_release
            else:
                if self.started == 0:
                    self.phase, self.started, self.index, n = 0.0, 1, 0, 0
                    s, v = self.sensitivity, self.velocity / 127
                    self.note_level = 1.0 - s + s * (v * v)
                a, d, s = self.a, self.d, self.s
                if n <= round(a):  # round(): ties to even
                    self.level = n / a
                    self.pos_y = py[0] + (py[1] - py[0]) * n / a
                    self.pos_x = px[0] + (px[1] - px[0]) * n / a
                elif n <= round(a + d):
                    self.level = s + (1 - s) * (a + d - n) / d
                    self.pos_y = py[1] + (py[2] - py[1]) * (n - a) / d
                    self.pos_x = px[1] + (px[2] - px[1]) * (n - a) / d
                else:
                    self.level, self.pos_y, self.pos_x = s, py[2], px[2]
                if self.traj:
                    self.apply_trajectory()
            self.rel_level, self.rel_index = self.level, n
            self.rel_y, self.rel_x = self.pos_y, self.pos_x

    def note_pitch(self):
        # From the pitch sounding before, evenly in semitones over the glide time.
        target = self.note_freq
        if target != self.glide_to:
            glide = (self.glide_time > 0 and self.pitch > 0
                     and (self.glide_legato == 0 or self.legato == 1))
            self.glide_from, self.glide_to, self.glide_step = self.pitch, target, 0
            self.glide_frames = max(1, round(self.glide_time * 44100)) if glide else 0
        if self.glide_step < self.glide_frames:
            self.glide_step += 1
            k = self.glide_step / self.glide_frames
            self.pitch = target if self.glide_step == self.glide_frames else \
                self.glide_from * math.pow(target / self.glide_from, k)
        else:
            self.pitch = target
        return self.pitch

    def oscillator(self):
        if not self.note_freq > 0:
            return self.out
        f = self.note_pitch() if self.fade > 1000 else self.prev_freq
        semitones = self.bend_range * (self.bend - 8192) / 8192
        bend = math.pow(2.0, semitones / 12)
        if bend != 1.0:
            f *= bend
        self.period = round(44100 / f)
        p = self.p
        theta = f32(self.phase * TWO_PI)
        e = f32(-1.0 / p["N1"])
        angle = p["m"] * theta / 4
        a = f32(abs(math.cos(angle) * (1.0 / p["A"])))
        t1 = f32(cpow(a, p["N2"]))
        b = f32(abs(math.sin(angle) * (1.0 / p["B"])))
        t2 = f32(cpow(b, p["N3"]))
        r = f32(cpow(f32(t1 + t2), e))
        self.out = f32(r * math.sin(theta))
        if not math.isfinite(self.out):  # inf * 0 and inf: never passed on
            self.out = 0.0
        step = f32(f / 44100) if self.exact else 1.0 / self.period
        self.phase = f32(self.phase + step)
        while self.phase > 1.0:
            self.phase = f32(self.phase - 1.0)
        return self.out

    def frame(self):
        self.envelope(self.index)
        i = self.index
        x = self.oscillator() * self.level
        if self.note_level != 1.0:
            x *= self.note_level
        if i < 100:
            x *= f32(cpow(f32(i / 100), 5))
        self.index += 1
        return f32(x)


def parse(line):
    name, *tokens = line.split()
    sc = {"name": name, "sliders": (1, 1000, 50, 1500),
          "params": tuple(f32(v) for v in (6.03, 4.2, 0.1, 71.6, 0.3, 0.767)),
          "pad": (50, 50, 150, 150, 200, 100, 250, 75), "events": []}
    for token in tokens:
        key, value = token.split("=")
        if key in ("on", "off", "pb", "cc"):
            data, at = value.split("@")
            d = list(map(int, data.split(":")))
            if key == "pb":
                d = [d[0] & 127, d[0] >> 7]
            status = {"on": 0x90, "off": 0x80, "pb": 0xE0, "cc": 0xB0}[key]
            default = 100 if key == "on" else 64
            sc["events"].append((int(at), status, d[0], d[1] if len(d) > 1 else default))
        elif key in ("exact", "bend", "onset", "pedal"):
            sc[key] = int(value)
        elif key == "velocity":
            sc[key] = f32(float(value))
        elif key == "glide":
            t, mode = value.split(",")
            sc[key] = (f32(float(t)), int(mode))
        elif key in ("x", "y"):
            param, lo, hi = value.split(",")
            sc[key] = (param, f32(float(lo)), f32(float(hi)))
        elif key == "frames":
            sc[key] = int(value)
        else:
            sc[key] = tuple((f32 if key == "params" else float)(float(v))
                            for v in value.split(","))
            if key == "sliders":
                sc[key] = tuple(map(int, sc[key]))
    assert [e[0] for e in sc["events"]] == sorted(e[0] for e in sc["events"])
    return sc


def render(sc):
    synth, out, events = Synth(sc), array.array("f"), sc["events"]
    for at, status, d1, d2 in events + [(sc["frames"], None, None, None)]:
        while len(out) < at:
            out.append(synth.frame())
        if status is not None:
            synth.midi(status, d1, d2)
    return out


def main(scenarios, output):
    with open(scenarios) as f:
        lines = [l for l in f if l.strip() and not l.lstrip().startswith("#")]
    samples = array.array("f")
    for line in lines:
        samples.extend(render(parse(line)))
    if sys.byteorder != "little":
        samples.byteswap()
    with open(output, "wb") as f:
        samples.tofile(f)


if __name__ == "__main__":
    main(*sys.argv[1:])
