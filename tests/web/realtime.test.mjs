// Ten seconds of the real-time path: messages sent through the worklet's port
// while it plays, some for a frame ahead and some for at once, the frame each
// acted on recorded with the output. tessivox-render fed those frames (one
// tick a frame) gives the same samples.
import assert from 'node:assert/strict';
import {mkdtempSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {checkBuild, differing, fromBase64, launch, openPage, readFloatWav, render, serve} from './lib.mjs';

const seconds = 10;
const ports = {bend_range: 2, glide_time: 0.05, velocity: 0.5};
const portArgs = ['--bend-range', '2', '--glide-time', '0.05', '--velocity', '0.5'];

async function playInPage([seconds, ports]) {
    const {loadModule, instantiate, createEngine} = await import('/engine.js');
    const module = await loadModule();
    const wasm = instantiate(module);
    const heap = new Uint8Array(wasm.memory.buffer);
    const index = {};
    for (let p = 0; p < wasm.tv_port_count(); ++p) {
        const at = wasm.tv_port_symbol(p);
        index[new TextDecoder().decode(heap.subarray(at, heap.indexOf(0, at)))] = p;
    }
    const engine = await createEngine(module);
    await engine.resume();
    const rate = engine.context.sampleRate, frames = seconds * rate;
    for (const [s, v] of Object.entries(ports)) engine.setPort(index[s], v);
    engine.node.port.postMessage({type: 'record', frames});
    let seed = 31;
    const random = (n) => ((seed = (seed * 1103515245 + 12345) % 2147483648) >> 12) % n;
    const held = new Set(), wanted = [];
    const sleep = (ms) => new Promise((r) => setTimeout(r, ms));
    for (const end = performance.now() + seconds * 1000 + 300; performance.now() < end;) {
        const note = 48 + random(24), kind = random(10);
        let bytes;
        if (kind < 5) {
            bytes = [0x90, note, 1 + random(127)];
            held.add(note);
        } else if (kind < 8 && held.size) {
            const off = [...held][random(held.size)];
            held.delete(off);
            bytes = kind === 5 ? [0x90, off, 0] : [0x80, off, 64];
        } else {
            bytes = [0xE0, random(128), random(128)];
        }
        // Every other one for a frame a little ahead, as a page schedules them.
        const frame = random(2) ? Math.round(engine.context.currentTime * rate) + 1000 + random(4000) : undefined;
        engine.midi(bytes, frame);
        wanted.push(frame ?? -1);
        await sleep(20 + random(200));
    }
    let state;
    while ((state = await engine.poll()).recorded < frames) await sleep(100);
    const r = await new Promise((resolve) => {
        engine.node.port.onmessage = (e) => e.data.type === 'recording' && resolve(e.data);
        engine.node.port.postMessage({type: 'recording'});
    });
    const raw = new Uint8Array(r.samples.buffer);
    let text = '';
    for (let i = 0; i < raw.length; i += 0x8000) text += String.fromCharCode(...raw.subarray(i, i + 0x8000));
    return {rate, samples: btoa(text), frames: [...r.frames], messages: [...r.messages], gaps: state.gaps,
            onTime: wanted.filter((f, i) => i < r.acted.length && f === r.acted[i]).length,
            early: wanted.filter((f, i) => i < r.acted.length && f > r.acted[i]).length};
}

// A format 0 file whose tick is one frame: a quarter of 10 ms in rate / 100 ticks.
function midiFileOf(rate, frames, messages) {
    const varLen = (v) => {
        const out = [v & 0x7f];
        while ((v >>= 7) > 0) out.unshift(0x80 | (v & 0x7f));
        return out;
    };
    const track = [0, 0xff, 0x51, 3, 0x00, 0x27, 0x10];
    let last = 0;
    messages.forEach((m, i) => {
        const status = m & 0xff, data = (status & 0xf0) === 0xc0 || (status & 0xf0) === 0xd0 ? 1 : 2;
        track.push(...varLen(frames[i] - last), status, ...[(m >> 8) & 0x7f, (m >> 16) & 0x7f].slice(0, data));
        last = frames[i];
    });
    track.push(0, 0xff, 0x2f, 0);
    const head = [0x4d, 0x54, 0x68, 0x64, 0, 0, 0, 6, 0, 0, 0, 1, (rate / 100) >> 8, (rate / 100) & 0xff];
    const length = track.length;
    return Uint8Array.from([...head, 0x4d, 0x54, 0x72, 0x6b, length >>> 24, (length >> 16) & 0xff,
                            (length >> 8) & 0xff, length & 0xff, ...track]);
}

checkBuild();
const dir = mkdtempSync(join(tmpdir(), 'tessivox-web-'));
const server = await serve();
const browser = await launch();
try {
    const page = await openPage(browser, `${server.url}/blank.html`);
    const r = await page.evaluate(playInPage, [seconds, ports]);
    const got = fromBase64(r.samples);
    assert.equal(got.length, seconds * r.rate);
    assert.ok(r.frames.length > 40, `only ${r.frames.length} messages acted`);
    assert.equal(r.early, 0, 'messages acted before their frame');
    assert.ok(r.onTime > 5, `only ${r.onTime} of ${r.frames.length} messages acted at their frame`);
    writeFileSync(join(dir, 'live.mid'), midiFileOf(r.rate, r.frames, r.messages));
    render([join(dir, 'live.mid'), join(dir, 'live.wav'), '--rate', String(r.rate), '--frames',
            String(got.length), '--clip', ...portArgs]);
    assert.equal(differing(got, readFloatWav(join(dir, 'live.wav'))), 0, 'samples differ');
    console.log(`${got.length} samples, ${r.frames.length} messages at ${r.rate} Hz equal to tessivox-render` +
                ` (${r.onTime} at the frame asked for; the context skipped frames ${r.gaps} times)`);
} finally {
    await browser.close();
    server.close();
}
