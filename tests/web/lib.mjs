// What the browser tests share: the built pages, a static server, Debian's
// chromium through playwright-core, the renderer and its WAV files.
import {execFileSync} from 'node:child_process';
import {existsSync, readFileSync} from 'node:fs';
import {createServer} from 'node:http';
import {dirname, extname, join, normalize} from 'node:path';
import {fileURLToPath} from 'node:url';
import {chromium} from 'playwright-core';

export const root = join(dirname(fileURLToPath(import.meta.url)), '../..');
export const www = process.env.TESSIVOX_WEB_DIR ?? join(root, 'build-web/www');
export const renderer = process.env.TESSIVOX_RENDER ?? join(root, 'build/src/tessivox-render');
for (const f of [join(www, 'tessivox.wasm'), renderer]) {
    if (!existsSync(f)) throw new Error(`${f} is missing: run scripts/web.sh --build-only and build tessivox-render`);
}

const types = {'.html': 'text/html', '.js': 'text/javascript', '.wasm': 'application/wasm', '.css': 'text/css'};

// The pages on 127.0.0.1; /blank.html is an empty page for scripts to run in.
export async function serve(dir = www) {
    const server = createServer((req, res) => {
        const path = normalize(decodeURIComponent(new URL(req.url, 'http://x').pathname));
        if (path === '/blank.html') return res.end('<!doctype html><title>test</title>');
        try {
            const body = readFileSync(join(dir, path));
            res.writeHead(200, {'content-type': types[extname(path)] ?? 'application/octet-stream'}).end(body);
        } catch {
            res.writeHead(404).end();
        }
    });
    await new Promise((resolve) => server.listen(0, '127.0.0.1', resolve));
    return {url: `http://127.0.0.1:${server.address().port}`, close: () => server.close()};
}

export async function launch() {
    const args = ['--autoplay-policy=no-user-gesture-required'];
    if (process.getuid?.() === 0) args.push('--no-sandbox');
    return chromium.launch({executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium', args});
}

// A page on the server, with its errors failing the test.
export async function openPage(browser, url) {
    const page = await browser.newPage();
    page.on('pageerror', (e) => {
        throw e;
    });
    await page.goto(url);
    return page;
}

export function render(args) {
    return execFileSync(renderer, args, {stdio: 'pipe'});
}

// The samples of a mono 32-bit float WAV file.
export function readFloatWav(path) {
    const b = readFileSync(path);
    for (let at = 12; at + 8 <= b.length;) {
        const id = b.toString('latin1', at, at + 4), size = b.readUInt32LE(at + 4);
        if (id === 'fmt ' && (b.readUInt16LE(at + 8) !== 3 || b.readUInt16LE(at + 10) !== 1))
            throw new Error(`${path}: not mono float`);
        if (id === 'data') return new Float32Array(b.buffer.slice(b.byteOffset + at + 8, b.byteOffset + at + 8 + size));
        at += 8 + size + (size & 1);
    }
    throw new Error(`${path}: no data chunk`);
}

// How many samples differ in their bits; a length apart differs whole.
export function differing(a, b) {
    if (a.length !== b.length) return Math.max(a.length, b.length);
    const x = new Uint32Array(a.buffer, a.byteOffset, a.length), y = new Uint32Array(b.buffer, b.byteOffset, b.length);
    return x.reduce((n, v, i) => n + (v !== y[i]), 0);
}
