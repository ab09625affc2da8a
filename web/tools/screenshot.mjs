// SPDX-License-Identifier: GPL-3.0-or-later
// Renders the page in headless Chromium with the demo image open, files chosen for a melody and
// a picture and a new melody name typed, into a PNG.
// Usage: node screenshot.mjs PAGE_FOLDER DEMO_FOLDER OUTPUT.png [LOCALE]
// DEMO_FOLDER holds what `carillon-demo-image --kinds` writes.
import { spawn } from 'node:child_process';
import { createRequire } from 'node:module';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, '../../tests/web/package.json'));
const { chromium } = require('playwright-core');
const [pageDir, demoDir, output, locale = 'en-US'] = process.argv.slice(2);

const server = spawn(process.execPath, [join(here, 'serve.mjs'), resolve(pageDir), '0']);
const base = await new Promise((done) => server.stdout.once('data', (d) => done(String(d).trim())));
const browser = await chromium.launch({
    executablePath: process.env.CARILLON_CHROMIUM ?? '/usr/bin/chromium',
    chromiumSandbox: false,
    args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
        '--disable-component-update', '--disable-sync', '--font-render-hinting=none'],
});
try {
    const page = await browser.newPage({ locale, viewport: { width: 1100, height: 900 } });
    await page.goto(base);
    await page.locator('body[data-ready="true"]').waitFor();
    await page.locator('#image').setInputFiles(join(demoDir, 'demo.bin'));
    await page.locator('#slots tbody tr').first().waitFor();
    const rows = page.locator('#slots tbody tr');
    await rows.nth(0).locator('input[type=file]').setInputFiles(join(demoDir, 'slot1.si3'));
    await rows.nth(0).locator('input[type=text]').fill('Fanfare!');
    await rows.nth(14).locator('input[type=file]').setInputFiles(join(demoDir, 'picture.bmp'));
    await rows.nth(14).locator('img').waitFor();
    await page.screenshot({ path: output, fullPage: true });
    console.log(`wrote ${output}`);
} finally {
    await browser.close();
    server.kill();
}
