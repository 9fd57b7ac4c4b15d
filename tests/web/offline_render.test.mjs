// The test MIDI files rendered in an OfflineAudioContext through the worklet
// equal tessivox-render's output bit for bit, at 44.1 and 48 kHz, also with
// the trajectory and with samples beyond the device's range; a file the
// renderer refuses is refused for the same reason.
import assert from 'node:assert/strict';
import {spawnSync} from 'node:child_process';
import {mkdtempSync, readFileSync, writeFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {differing, launch, openPage, readFloatWav, render, renderer, root, serve} from './lib.mjs';

const padSweep = {attack: 1500, decay: 2000, sustain: 70, trajectory: 1, x_param: 1, x_from: 2, x_to: 12,
                  y_param: 2, y_from: 1, y_to: 8};
const padArgs = ['--x-axis', 'm:2:12', '--y-axis', 'N1:1:8', '--attack', '1500', '--decay', '2000', '--sustain', '70'];
const loud = {m: 4, n1: 0.1, n2: 2, n3: 2, a: 5, b: 5};
const loudArgs = ['--m', '4', '--n1', '0.1', '--n2', '2', '--n3', '2', '--a', '5', '--b', '5'];
const demo = join(root, 'data/demo.mid');
const cases = [{file: demo, rate: 48000, ports: loud, args: loudArgs}];
for (const rate of [44100, 48000]) {
    cases.push({file: demo, rate, ports: {}, args: []},
               {file: join(root, 'data/demo_pad.mid'), rate, ports: padSweep, args: padArgs},
               ...['format0', 'running_status', 'tempo_map'].map(
                   (name) => ({file: join(root, `tests/fuzz/corpus/${name}.mid`), rate, ports: {}, args: []})));
}
const badFiles = ['MThd\0\0\0\x06\0\0\0\x01\x01\xe0MTrk\0\0\0\x10\0\x90\x3c', 'MThd\0\0\0\x06\0\x02\0\x01\x01\xe0',
                  'RIFF....WAVEfmt '].map((text) => Buffer.from(text, 'latin1'));

// In the page: the file's length as the page's own instance works it out,
// then the file played by the worklet in an OfflineAudioContext that long.
async function renderInPage([file, rate, ports]) {
    const {loadModule, instantiate, portIndex, createEngine} = await import('/engine.js');
    const module = await loadModule();
    const wasm = instantiate(module), index = portIndex(wasm);
    wasm.tv_init(rate);
    for (const [s, v] of Object.entries(ports)) wasm.tv_set_port(index[s], v);
    const at = wasm.tv_alloc(file.length);
    new Uint8Array(wasm.memory.buffer).set(file, at);
    if (!wasm.tv_read_midi_file(at, file.length, rate)) throw new Error('not read');
    const context = new OfflineAudioContext(1, wasm.tv_schedule_length(), rate);
    const engine = await createEngine(module, {context});
    for (const [s, v] of Object.entries(ports)) engine.setPort(index[s], v);
    const answer = await engine.playFile(file.buffer, {limit: false});
    if (!answer.ok || answer.length !== context.length) throw new Error(JSON.stringify(answer));
    return (await context.startRendering()).getChannelData(0);
}

// In the page: a bad file, then a good one, to the same worklet.
async function refuseInPage([bad, good]) {
    const {loadModule, createEngine} = await import('/engine.js');
    const engine = await createEngine(await loadModule(), {context: new OfflineAudioContext(1, 128, 44100)});
    return [await engine.playFile(bad.buffer), await engine.playFile(good.buffer)];
}

const dir = mkdtempSync(join(tmpdir(), 'tessivox-web-'));
const server = await serve();
const browser = await launch();
try {
    const page = await openPage(browser, `${server.url}/blank.html`);
    let compared = 0;
    for (const c of cases) {
        render([c.file, join(dir, 'render.wav'), '--rate', String(c.rate), ...c.args]);
        const expected = readFloatWav(join(dir, 'render.wav'));
        const got = await page.evaluate(renderInPage, [new Uint8Array(readFileSync(c.file)), c.rate, c.ports]);
        assert.equal(differing(got, expected), 0, `${c.file} at ${c.rate} Hz ${c.args.join(' ')}`);
        compared += got.length;
    }
    for (const bad of badFiles) {
        writeFileSync(join(dir, 'bad.mid'), bad);
        const why = `${spawnSync(renderer, [join(dir, 'bad.mid'), join(dir, 'bad.wav')]).stderr}`;
        // Copies: a Buffer's view of its pool would reach the page whole.
        const files = [new Uint8Array(bad), new Uint8Array(readFileSync(demo))];
        const [refused, played] = await page.evaluate(refuseInPage, files);
        assert.equal(`tessivox-render: ${join(dir, 'bad.mid')}: ${refused.error}\n`, why);
        assert.ok(!refused.ok && played.ok, 'the next file is not played');
    }
    console.log(`${compared} samples of ${cases.length} renders equal to tessivox-render`);
} finally {
    await browser.close();
    server.close();
}
