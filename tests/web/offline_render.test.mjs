// The test MIDI files rendered in an OfflineAudioContext through the worklet
// equal tessivox-render's output bit for bit, at 44.1 and 48 kHz, also with
// the trajectory and with samples beyond the device's range.
import assert from 'node:assert/strict';
import {mkdtempSync, readFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {checkBuild, differing, fromBase64, launch, openPage, readFloatWav, render, root, serve} from './lib.mjs';

const padSweep = {attack: 1500, decay: 2000, sustain: 70, trajectory: 1, x_param: 1, x_from: 2,
                  x_to: 12, y_param: 2, y_from: 1, y_to: 8};
const padArgs = ['--x-axis', 'm:2:12', '--y-axis', 'N1:1:8', '--attack', '1500', '--decay', '2000',
                 '--sustain', '70'];
const loud = {m: 4, n1: 0.1, n2: 2, n3: 2, a: 5, b: 5};
const loudArgs = ['--m', '4', '--n1', '0.1', '--n2', '2', '--n3', '2', '--a', '5', '--b', '5'];
const corpus = (name) => join(root, 'tests/fuzz/corpus', name);
const cases = [];
for (const rate of [44100, 48000]) {
    cases.push({file: join(root, 'data/demo.mid'), rate, ports: {}, args: []},
               {file: join(root, 'data/demo_pad.mid'), rate, ports: padSweep, args: padArgs},
               {file: corpus('format0.mid'), rate, ports: {}, args: []},
               {file: corpus('running_status.mid'), rate, ports: {}, args: []},
               {file: corpus('tempo_map.mid'), rate, ports: {}, args: []});
}
cases.push({file: join(root, 'data/demo.mid'), rate: 48000, ports: loud, args: loudArgs});

// In the page: the file played by the worklet in an OfflineAudioContext.
async function renderInPage([bytes, rate, ports]) {
    const file = Uint8Array.from(bytes);
    const {loadModule, instantiate, createEngine} = await import('/engine.js');
    const module = await loadModule();
    const wasm = instantiate(module);
    const heap = () => new Uint8Array(wasm.memory.buffer);
    const symbol = (p) => {
        const at = wasm.tv_port_symbol(p);
        return new TextDecoder().decode(heap().subarray(at, heap().indexOf(0, at)));
    };
    const index = {};
    for (let p = 0; p < wasm.tv_port_count(); ++p) index[symbol(p)] = p;
    // The length first, from the page's own instance, as the renderer works it out.
    wasm.tv_init(rate);
    for (const [s, v] of Object.entries(ports)) wasm.tv_set_port(index[s], v);
    const at = wasm.tv_alloc(file.length);
    heap().set(file, at);
    if (!wasm.tv_read_midi_file(at, file.length, rate)) throw new Error('not read');
    const length = wasm.tv_schedule_length();
    const context = new OfflineAudioContext(1, length, rate);
    const engine = await createEngine(module, {context});
    for (const [s, v] of Object.entries(ports)) engine.setPort(index[s], v);
    const answer = await engine.playFile(Uint8Array.from(file).buffer, {limit: false});
    if (!answer.ok || answer.length !== length) throw new Error(JSON.stringify(answer));
    const samples = (await context.startRendering()).getChannelData(0);
    const raw = new Uint8Array(samples.buffer);
    let text = '';
    for (let i = 0; i < raw.length; i += 0x8000) text += String.fromCharCode(...raw.subarray(i, i + 0x8000));
    return btoa(text);
}

checkBuild();
const dir = mkdtempSync(join(tmpdir(), 'tessivox-web-'));
const server = await serve();
const browser = await launch();
try {
    const page = await openPage(browser, `${server.url}/blank.html`);
    let compared = 0;
    for (const c of cases) {
        const out = join(dir, 'render.wav');
        render([c.file, out, '--rate', String(c.rate), ...c.args]);
        const expected = readFloatWav(out);
        const got = fromBase64(await page.evaluate(renderInPage, [[...readFileSync(c.file)], c.rate, c.ports]));
        assert.equal(got.length, expected.length, `${c.file} at ${c.rate}: length`);
        assert.equal(differing(got, expected), 0, `${c.file} at ${c.rate} ${c.args.join(' ')}: samples differ`);
        compared += got.length;
    }
    console.log(`${compared} samples of ${cases.length} renders equal to tessivox-render`);
} finally {
    await browser.close();
    server.close();
}
