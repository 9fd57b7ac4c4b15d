// The shape, waveform and pad areas of the page show the very pixels the
// window's canvas draws for the same values: at start, for factory sounds,
// and after a slider step and a pad drag.
import assert from 'node:assert/strict';
import {execFileSync} from 'node:child_process';
import {launch, openPage, serve} from './lib.mjs';

const dump = process.env.TESSIVOX_PICTURE_DUMP;

// The areas as the page shows them, and the values they were drawn for.
function shown() {
    const {api, ports} = window.tessivox;
    const value = (symbol) => api.tvp_port(ports.findIndex((p) => p.symbol === symbol));
    const args = ['m', 'n1', 'n2', 'n3', 'a', 'b', 'p1_x', 'p1_y', 'p2_x', 'p2_y', 'p3_x', 'p3_y', 'p4_x', 'p4_y'];
    const pixels = [...document.querySelectorAll('#client canvas')].flatMap(
        (c) => Array.from(c.getContext('2d').getImageData(0, 0, c.width, c.height).data));
    return {args: args.map((s) => String(value(s))), pixels};
}

async function differing(page) {
    const {args, pixels} = await page.evaluate(shown);
    const words = new Uint32Array(execFileSync(dump, args).buffer.slice(0));
    assert.equal(pixels.length, 4 * words.length);
    let n = 0;
    words.forEach((w, i) => {
        const rgba = [(w >>> 16) & 255, (w >>> 8) & 255, w & 255, 255];
        n += rgba.some((v, k) => pixels[4 * i + k] !== v);
    });
    return n;
}

const server = await serve();
const browser = await launch();
try {
    const page = await openPage(browser, `${server.url}/index.html`);
    await page.waitForFunction(() => document.body.dataset.ready);
    assert.equal(await differing(page), 0, 'start');
    for (const sound of [0, 3, 4]) {
        await page.evaluate((i) => window.tessivox.loadFactory(i), sound);
        assert.equal(await differing(page), 0, `factory sound ${sound}`);
    }
    await page.locator('#client input[type=range]').first().press('ArrowRight');
    const pad = await page.locator('#client canvas').nth(2).boundingBox();
    await page.mouse.move(pad.x + 50.5, pad.y + 50.5);
    await page.mouse.down();
    await page.mouse.move(pad.x + 120.5, pad.y + 210.5, {steps: 5});
    await page.mouse.up();
    const moved = await page.evaluate(() => [window.tessivox.soundValues().m, window.tessivox.soundValues().p1_y]);
    assert.deepEqual(moved, [Math.fround(5.01), 210]);
    assert.equal(await differing(page), 0, 'after a slider step and a drag');
} finally {
    await browser.close();
    server.close();
}
