// A sound travels whole by its link: opened in a fresh browser context it
// gives the same port values, and a bad link changes nothing but says why.
import assert from 'node:assert/strict';
import {launch, openPage, serve} from './lib.mjs';

const server = await serve();
const browser = await launch();
const open = async (url) => {
    const page = await openPage(await browser.newContext(), url);
    await page.waitForFunction(() => document.body.dataset.ready);
    return page;
};
const values = (page) => page.evaluate(() => window.tessivox.soundValues());
try {
    const page = await open(`${server.url}/index.html`);
    const start = await values(page);
    await page.evaluate(() => window.tessivox.loadFactory(3));
    await page.locator('#client input[type=range]').nth(1).press('PageUp');
    const made = await values(page);
    assert.notDeepEqual(made, start);
    assert.deepEqual(await values(await open(await page.evaluate(() => window.tessivox.soundLink()))), made);
    for (const bad of ['m=5&n1=abc', 'm=5&x_param=2.5', 'm=5&m=6', 'm=5&volume=1', 'm=5&p1_x=301']) {
        const refused = await open(`${server.url}/index.html#${bad}`);
        assert.deepEqual(await values(refused), start, bad);
        assert.match(await refused.locator('#message p').textContent(), /not used/, bad);
    }
} finally {
    await browser.close();
    server.close();
}
