// A sound made in the page travels whole: its link opened in a fresh browser
// context gives the same port values, a bad link changes nothing, and its
// downloaded preset bundle makes tessivox-render play the page's samples.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {mkdtempSync, readFileSync} from 'node:fs';
import {tmpdir} from 'node:os';
import {join} from 'node:path';
import {differing, fromBase64, launch, readFloatWav, render, root, serve} from './lib.mjs';

async function open(context, url) {
    const page = await context.newPage();
    page.on('pageerror', (e) => {
        throw e;
    });
    await page.goto(url);
    await page.waitForFunction(() => document.body.dataset.ready);
    return page;
}

// The file played in an OfflineAudioContext with the page's ports.
async function renderInPage(bytes) {
    const {loadModule, createEngine} = await import('/engine.js');
    const {api, ports} = window.tessivox;
    const file = Uint8Array.from(bytes);
    const wasm = api;
    wasm.tv_init(44100);
    ports.forEach((_, i) => wasm.tv_set_port(i, api.tvp_port(i)));
    const at = wasm.tv_alloc(file.length);
    new Uint8Array(wasm.memory.buffer).set(file, at);
    if (!wasm.tv_read_midi_file(at, file.length, 44100)) throw new Error('not read');
    const context = new OfflineAudioContext(1, wasm.tv_schedule_length(), 44100);
    const engine = await createEngine(await loadModule(), {context});
    ports.forEach((_, i) => engine.setPort(i, api.tvp_port(i)));
    await engine.playFile(file.buffer, {limit: false});
    const raw = new Uint8Array((await context.startRendering()).getChannelData(0).buffer);
    let text = '';
    for (let i = 0; i < raw.length; i += 0x8000) text += String.fromCharCode(...raw.subarray(i, i + 0x8000));
    return btoa(text);
}

const dir = mkdtempSync(join(tmpdir(), 'tessivox-page-'));
const server = await serve();
const browser = await launch();
try {
    const page = await open(browser, `${server.url}/index.html`);
    const start = await page.evaluate(() => window.tessivox.soundValues());
    await page.evaluate(() => window.tessivox.loadFactory(3));
    await page.locator('#client input[type=range]').nth(1).press('PageUp');
    const made = await page.evaluate(() => window.tessivox.soundValues());
    assert.notDeepEqual(made, start);

    const fresh = await open(await browser.newContext(), await page.evaluate(() => window.tessivox.soundLink()));
    assert.deepEqual(await fresh.evaluate(() => window.tessivox.soundValues()), made);
    for (const bad of ['m=5&n1=abc', 'm=5&x_param=2.5', 'm=5&m=6', 'm=5&volume=1', 'm=5&p1_x=301']) {
        const refused = await open(await browser.newContext(), `${server.url}/index.html#${bad}`);
        assert.deepEqual(await refused.evaluate(() => window.tessivox.soundValues()), start, bad);
        assert.match(await refused.locator('#message p').textContent(), /not used/, bad);
    }

    await page.click('text=Sound');
    await page.click('[data-item=download]');
    await page.fill('#ask input', 'Web growl');
    const [download] = await Promise.all([page.waitForEvent('download'), page.click('#ask [value=ok]')]);
    await download.saveAs(join(dir, 'sound.zip'));
    execFileSync('unzip', ['-q', join(dir, 'sound.zip'), '-d', dir]);
    const midi = join(root, 'data/demo.mid');
    render([midi, join(dir, 'out.wav'), '--sound', join(dir, 'Tessivox_Web_growl.preset.lv2/Web_growl.ttl')]);
    const expected = readFloatWav(join(dir, 'out.wav'));
    const got = fromBase64(await page.evaluate(renderInPage, [...readFileSync(midi)]));
    assert.equal(differing(got, expected), 0, 'the downloaded sound plays as the page plays it');
} finally {
    await browser.close();
    server.close();
}
