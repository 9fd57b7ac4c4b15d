// Ten seconds of the real-time path: messages sent through the worklet's port
// while it plays, some for a frame ahead and some for at once, the frame each
// acted on recorded with the output. tessivox-render fed those frames (one
// tick a frame) gives the same samples.
import assert from 'node:assert/strict';
import {mkdtempSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {differing, launch, openPage, readFloatWav, render, serve} from './lib.mjs';

const ports = {bend_range: 2, glide_time: 0.05, velocity: 0.5};
const portArgs = ['--bend-range', '2', '--glide-time', '0.05', '--velocity', '0.5'];

async function playInPage([seconds, ports]) {
    const {loadModule, instantiate, portIndex, createEngine} = await import('/engine.js');
    const module = await loadModule();
    const index = portIndex(instantiate(module));
    const engine = await createEngine(module);
    await engine.resume();
    const rate = engine.context.sampleRate, frames = seconds * rate;
    for (const [s, v] of Object.entries(ports)) engine.setPort(index[s], v);
    engine.node.port.postMessage({type: 'record', frames});
    let seed = 31;
    const random = (n) => ((seed = (seed * 1103515245 + 12345) % 2147483648) >> 12) % n;
    const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
    const held = new Set(), wanted = [];
    for (const end = performance.now() + seconds * 1000 + 300; performance.now() < end; await sleep(20 + random(200))) {
        const note = 48 + random(24), kind = random(10), off = [...held][random(held.size)];
        const bytes = kind < 5                ? [0x90, note, 1 + random(127)]
                      : kind < 8 && held.size ? [0x80, off, 64]
                                              : [0xe0, random(128), random(128)];
        if (bytes[0] === 0x90) held.add(note);
        if (bytes[0] === 0x80) held.delete(off);
        // Every other one for a frame a little ahead, as a page schedules them.
        wanted.push(random(2) ? Math.round(engine.context.currentTime * rate) + 1000 + random(4000) : -1);
        engine.midi(bytes, wanted.at(-1) < 0 ? undefined : wanted.at(-1));
    }
    let state;
    while ((state = await engine.poll()).recorded < frames) await sleep(100);
    const r = await new Promise((resolve) => {
        engine.node.port.onmessage = (e) => e.data.type === 'recording' && resolve(e.data);
        engine.node.port.postMessage({type: 'recording'});
    });
    return {...r, rate, gaps: state.gaps, onTime: wanted.filter((f, i) => f === r.acted[i]).length,
            early: wanted.filter((f, i) => f > r.acted[i]).length};
}

// A format 0 file whose tick is one frame: a quarter of 10 ms in rate / 100 ticks.
function midiFileOf(rate, frames, messages) {
    const varLen = (v) => (v > 127 ? [...varLen(v >> 7).map((b) => b | 0x80), v & 0x7f] : [v]);
    const track = [0, 0xff, 0x51, 3, 0x00, 0x27, 0x10];
    messages.forEach((m, i) => {
        track.push(...varLen(frames[i] - (frames[i - 1] ?? 0)), m & 0xff, (m >> 8) & 0x7f, m >> 16);
    });
    track.push(0, 0xff, 0x2f, 0);
    const u32 = (v) => [v >>> 24, (v >> 16) & 0xff, (v >> 8) & 0xff, v & 0xff];
    return Uint8Array.from([...Buffer.from('MThd'), ...u32(6), 0, 0, 0, 1, (rate / 100) >> 8, (rate / 100) & 0xff,
                            ...Buffer.from('MTrk'), ...u32(track.length), ...track]);
}

const dir = mkdtempSync(join(tmpdir(), 'tessivox-web-'));
const server = await serve();
const browser = await launch();
try {
    const r = await (await openPage(browser, `${server.url}/blank.html`)).evaluate(playInPage, [10, ports]);
    assert.equal(r.samples.length, 10 * r.rate);
    assert.ok(r.frames.length > 40, `only ${r.frames.length} messages acted`);
    assert.equal(r.early, 0, 'messages acted before their frame');
    assert.ok(r.onTime > 5, `only ${r.onTime} of ${r.frames.length} messages acted at their frame`);
    writeFileSync(join(dir, 'live.mid'), midiFileOf(r.rate, r.frames, r.messages));
    render([join(dir, 'live.mid'), join(dir, 'live.wav'), '--rate', `${r.rate}`, '--frames', `${r.samples.length}`,
            '--clip', ...portArgs]);
    assert.equal(differing(r.samples, readFloatWav(join(dir, 'live.wav'))), 0, 'samples differ');
    console.log(`${r.samples.length} samples, ${r.frames.length} messages at ${r.rate} Hz equal to tessivox-render ` +
                `(${r.onTime} at the frame asked for; the context skipped frames ${r.gaps} times)`);
} finally {
    await browser.close();
    server.close();
}
