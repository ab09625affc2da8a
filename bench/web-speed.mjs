// SPDX-License-Identifier: GPL-3.0-or-later
// The page's speed in headless Chromium, from 127.0.0.1 (medians of RUNS):
//   ready     from the start of navigation to the engine loaded and the image input usable
//   rows      from choosing a 10,000,000-byte full flash to its 18 rows drawn
//   module    the engine's module (.wasm and its loader), gzipped
//   memory    the page process's peak resident memory while it opens the flash and makes a
//             patched image of all 18 slots, above what it held before, against the image size;
//             and the module's own memory (which only grows) at the end
// Reports only. Needs the built page (scripts/web --build), carillon-demo-image and
// tests/web/node_modules (scripts/bootstrap).
// usage: node bench/web-speed.mjs [BUILD_DIR] [RUNS]   (default build/default, 7)
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { gzipSync } from 'node:zlib';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const { chromium } = createRequire(join(root, 'tests/web/package.json'))('playwright-core');
const build = resolve(process.argv[2] ?? 'build/default');
const runs = Number(process.argv[3] ?? 7);
const pageDir = join(root, 'build/web');
const median = (xs) => [...xs].sort((a, b) => a - b)[Math.floor(xs.length / 2)];

const dir = mkdtempSync(join(tmpdir(), 'carillon-web-speed-'));
execFileSync(join(build, 'tools/carillon-demo-image'), ['--all-slots', dir]);
const flash = join(dir, 'flash.bin');
const imageSize = readFileSync(flash).length;

const server = spawn(process.execPath, [join(root, 'web/tools/serve.mjs'), pageDir, '0']);
const base = await new Promise((done) => server.stdout.once('data', (d) => done(String(d).trim())));
const browser = await chromium.launch({
    executablePath: process.env.CARILLON_CHROMIUM ?? '/usr/bin/chromium',
    chromiumSandbox: false,
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--renderer-process-limit=1'],
});

// The renderer processes of the browser: their peak resident memory (VmHWM), which writing 5
// to clear_refs sets back to what they hold now.
function renderers() {
    const out = [];
    for (const pid of readdirSync('/proc').filter((p) => /^\d+$/.test(p))) {
        try {
            const cmd = readFileSync(`/proc/${pid}/cmdline`, 'latin1');
            if (cmd.includes('--type=renderer') && cmd.includes('chromium')) {
                out.push(pid);
            }
        } catch {
            // gone meanwhile
        }
    }
    return out;
}
const kib = (pid, field) => Number(new RegExp(`${field}:\\s+(\\d+)`).exec(readFileSync(`/proc/${pid}/status`, 'latin1'))[1]);

try {
    const ready = [];
    const rows = [];
    for (let i = 0; i < runs; ++i) {
        const context = await browser.newContext();
        const page = await context.newPage();
        await page.goto(base, { waitUntil: 'commit' });
        await page.locator('body[data-ready="true"]').waitFor();
        ready.push(await page.evaluate(() => performance.getEntriesByName('carillon-ready')[0].startTime));
        await page.locator('#image').setInputFiles(flash);
        await page.locator('body[data-rows-ms]').waitFor();
        rows.push(Number(await page.locator('body').getAttribute('data-rows-ms')));
        await context.close();
    }

    // Memory: one page, the flash opened and every slot patched into a patched image.
    const context = await browser.newContext({ acceptDownloads: true });
    const page = await context.newPage();
    await page.goto(base);
    await page.locator('body[data-ready="true"]').waitFor();
    const pids = renderers();
    const before = Object.fromEntries(pids.map((pid) => [pid, kib(pid, 'VmRSS')]));
    for (const pid of pids) {
        writeFileSync(`/proc/${pid}/clear_refs`, '5');
    }
    await page.locator('#image').setInputFiles(flash);
    await page.locator('body[data-rows-ms]').waitFor();
    const inputs = page.locator('#slots tbody input[type=file]');
    for (let n = 0; n < (await inputs.count()); ++n) {
        const extension = await inputs.nth(n).getAttribute('accept');
        await inputs.nth(n).setInputFiles(join(dir, `slot${n + 1}${extension}`));
    }
    await page.locator('#to-image').check();
    await Promise.all([page.waitForEvent('download'), page.locator('#go').click()]);
    const peak = Math.max(...pids.map((pid) => kib(pid, 'VmHWM') - before[pid])) * 1024;
    const moduleMemory = Number(await page.locator('body').getAttribute('data-module-bytes'));
    await context.close();

    const gz = (name) => gzipSync(readFileSync(join(pageDir, name)), { level: 9 }).length;
    const moduleGz = gz('carillon-engine.wasm') + gz('carillon-engine.js');
    const mb = (n) => (n / 1e6).toFixed(1);
    console.log(`page ready:  ${median(ready).toFixed(0)} ms (median of ${runs}; goal <= 300)`);
    console.log(`rows shown:  ${median(rows)} ms for a ${imageSize}-byte full flash (median of ${runs}; goal <= 150)`);
    console.log(`module:      ${(moduleGz / 1024).toFixed(1)} KiB gzipped (.wasm ${(gz('carillon-engine.wasm') / 1024).toFixed(1)} + loader ${(gz('carillon-engine.js') / 1024).toFixed(1)}; goal <= 150 KB)`);
    console.log(`peak memory: ${mb(peak)} MB above the page's own, ${(peak / imageSize).toFixed(2)} x the image (goal <= 3)` +
        (moduleMemory ? `; the module's memory ${mb(moduleMemory)} MB` : ''));
} finally {
    await browser.close();
    server.kill();
    rmSync(dir, { recursive: true, force: true });
}
