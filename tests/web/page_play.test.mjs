// The page plays: a key of the computer keyboard sounds and its release ends
// the note; a note from a stand-in Web MIDI input sounds too, and its
// controllers move the sliders that learned them.
import assert from 'node:assert/strict';
import {launch, openPage, serve} from './lib.mjs';

// Feeds the browser one MIDI input whose notes the test sends.
function standInMidi() {
    const input = {id: 'in-1', name: 'Stand-in keyboard', onmidimessage: null};
    window.sendNote = (bytes) => input.onmidimessage?.({data: Uint8Array.from(bytes)});
    navigator.requestMIDIAccess = async () => ({inputs: new Map([[input.id, input]]), onstatechange: null});
}

// The loudest sample of the worklet's output over a few quanta.
async function loudness(page) {
    return page.evaluate(async () => {
        const {engine} = window.tessivox.audio;
        const analyser = engine.context.createAnalyser();
        engine.node.connect(analyser);
        const samples = new Float32Array(analyser.fftSize);
        await new Promise((resolve) => setTimeout(resolve, 300));
        analyser.getFloatTimeDomainData(samples);
        engine.node.disconnect(analyser);
        return Math.max(...samples.map(Math.abs));
    });
}

const server = await serve();
const browser = await launch();
try {
    const context = await browser.newContext();
    await context.addInitScript(standInMidi);
    const page = await openPage(context, `${server.url}/index.html`);
    const gate = (text) => page.waitForFunction(
        (t) => document.querySelectorAll('#statusbar .status')[1].textContent === t, text);
    await page.waitForFunction(() => document.body.dataset.ready);
    assert.equal(await page.locator('#midi-ports').inputValue(), 'in-1');
    assert.equal(await page.locator('#statusbar .status').first().textContent(), 'MIDI IN');

    await page.keyboard.down('z');
    await page.waitForFunction(() => window.tessivox.audio.engine);
    await gate('On');
    assert.ok(await loudness(page) > 0.01, 'a held key sounds');
    await page.keyboard.up('z');
    await gate('Off');
    // Two keys held as the page loses the focus: both notes end.
    await page.keyboard.down('q');
    await page.keyboard.down('w');
    await gate('On');
    await page.evaluate(() => window.dispatchEvent(new Event('blur')));
    await gate('Off');
    await page.keyboard.up('q');
    await page.keyboard.up('w');

    await page.evaluate(() => window.sendNote([0x90, 64, 100]));
    await gate('On');
    assert.ok(await loudness(page) > 0.01, 'a MIDI note sounds');

    // m learns the controller moved next: it spans m's range, the sound's m
    // follows, and it is kept across a reload.
    const follows = async (value, end) => {
        await page.evaluate((v) => window.sendNote([0xb0, 74, v]), value);
        await page.waitForFunction((end) => {
            const m = document.querySelector('[data-id="15"]');
            return m.value === m[end] && window.tessivox.soundValues().m === Math.fround(m[end] / 100);
        }, end);
    };
    await page.locator('[data-id="15"]').click({button: 'right'});
    await page.click('text=Learn MIDI controller');
    await follows(0, 'min');
    await follows(127, 'max');
    await page.reload();
    await page.waitForFunction(() => document.querySelector('#midi-ports')?.value === 'in-1');
    await follows(0, 'min');
} finally {
    await browser.close();
    server.close();
}
