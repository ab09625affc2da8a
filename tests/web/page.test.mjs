// SPDX-License-Identifier: GPL-3.0-or-later
// The page in Debian's Chromium, driven as a user drives it: through the accessible names.
// Its downloads must equal carillon-cli's files, no request may leave the page's address and no
// script may fail. Run: node --test tests/web/page.test.mjs (after npm ci in tests/web) with
// CARILLON_CLI, CARILLON_DEMO_IMAGE and CARILLON_WEB_DIR set.
import assert from 'node:assert/strict';
import { execFileSync, spawn } from 'node:child_process';
import { mkdtempSync, readFileSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import { chromium } from 'playwright-core';

const here = dirname(fileURLToPath(import.meta.url));
const cli = resolve(process.env.CARILLON_CLI ?? 'build/default/src/cli/carillon-cli');
const demo = resolve(process.env.CARILLON_DEMO_IMAGE ?? 'build/default/tools/carillon-demo-image');
const webDir = resolve(process.env.CARILLON_WEB_DIR ?? 'build/web');

let dir;
let server;
let base;
let browser;
let page;
const requests = [];
const problems = [];

const at = (name) => join(dir, name);
const bytesOf = (name) => readFileSync(at(name));
const cliRun = (...args) => execFileSync(cli, args, { cwd: dir });

async function downloadOf(click) {
    const [download] = await Promise.all([page.waitForEvent('download'), click()]);
    const path = at(`download-${download.suggestedFilename()}`);
    await download.saveAs(path);
    return { name: download.suggestedFilename(), bytes: readFileSync(path) };
}

before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'carillon-page-'));
    execFileSync(demo, ['--kinds', dir]);
    server = spawn(process.execPath, [join(here, '../../web/tools/serve.mjs'), webDir, '0']);
    base = await new Promise((done, fail) => {
        server.stdout.once('data', (d) => done(String(d).trim()));
        server.once('exit', () => fail(new Error('the page server did not start')));
    });
    browser = await chromium.launch({
        executablePath: process.env.CARILLON_CHROMIUM ?? '/usr/bin/chromium',
        headless: true,
        chromiumSandbox: false,
        args: ['--disable-gpu', '--disable-quic', '--no-first-run', '--disable-background-networking',
            '--disable-component-update', '--disable-sync'],
    });
    const context = await browser.newContext({ acceptDownloads: true, locale: 'en-US' });
    page = await context.newPage();
    page.on('request', (r) => requests.push(r.url()));
    page.on('pageerror', (e) => problems.push(`script error: ${e.message}`));
    page.on('console', (m) => m.type() === 'error' && problems.push(`console: ${m.text()}`));
    await page.goto(base);
    await page.locator('body[data-ready="true"]').waitFor();
});

after(async () => {
    await browser?.close();
    server?.kill();
    rmSync(dir, { recursive: true, force: true });
});

test('open the demo image: phone, version and the 18 rows', async () => {
    await page.getByLabel('Image', { exact: true }).setInputFiles(at('demo.bin'));
    await page.getByRole('status').filter({ hasText: 'demo.bin' }).waitFor();
    assert.equal(await page.locator('#phone').textContent(), 'A52');
    assert.equal(await page.getByRole('table').first().locator('tbody tr').count(), 18);
    const tango = page.getByRole('row', { name: /Tango/ });
    assert.match(await tango.textContent(), /Found/);
    assert.match(await page.getByRole('row', { name: /Folklore 2/ }).textContent(), /Not Found/);
});

test('a melody and a picture: the single .vkp and the patched image are the command line\'s', async () => {
    await page.getByLabel('File for Classic 1').setInputFiles(at('slot1.si3'));
    await page.getByLabel('File for User Picture 1').setInputFiles(at('picture.bmp'));
    await page.getByRole('row', { name: /User Picture 1/ }).getByRole('img').waitFor();
    await page.getByLabel('Patch for V_KLay').check();
    await page.getByLabel('Use single patch').check();
    const vkp = await downloadOf(() => page.getByRole('button', { name: 'Go', exact: true }).click());
    cliRun('patch', 'demo.bin', '--slot', '1=slot1.si3', '--slot', '15=picture.bmp', '--vkp', 'cli.vkp');
    assert.equal(vkp.name, 'All_Patches.vkp');
    assert.deepEqual(vkp.bytes, bytesOf('cli.vkp'));

    await page.getByLabel('Patched image').check();
    const image = await downloadOf(() => page.getByRole('button', { name: 'Go', exact: true }).click());
    cliRun('patch', 'demo.bin', '--slot', '1=slot1.si3', '--slot', '15=picture.bmp', '--out', 'cli.out');
    assert.equal(image.name, 'demo__patched.bin');
    assert.deepEqual(image.bytes, bytesOf('cli.out'));
});

test('a .vkp applied to a copy is the command line\'s copy', async () => {
    await page.getByLabel('Patch', { exact: true }).setInputFiles(at('cli.vkp'));
    await page.locator('#counts').filter({ hasText: 'records' }).waitFor();
    const copy = await downloadOf(() => page.getByRole('button', { name: 'Apply to a copy', exact: true }).click());
    cliRun('apply', 'demo.bin', 'cli.vkp', '--out', 'applied.out');
    assert.equal(copy.name, 'demo__applied.bin');
    assert.deepEqual(copy.bytes, bytesOf('applied.out'));
    // Each button as the command line decides: `apply --revert` writes this image unchanged
    // (every old byte of the patch is there), and so does the page.
    const back = await downloadOf(() => page.getByRole('button', { name: 'Revert to a copy', exact: true }).click());
    cliRun('apply', 'demo.bin', 'cli.vkp', '--out', 'reverted.out', '--revert');
    assert.equal(back.name, 'demo__reverted.bin');
    assert.deepEqual(back.bytes, bytesOf('reverted.out'));
});

test('a second image gives the patch of the differences', async () => {
    await page.getByLabel('Compare with').setInputFiles(at('cli.out'));
    const diff = await downloadOf(() => page.getByRole('button', { name: 'Make patch', exact: true }).click());
    cliRun('diff', 'demo.bin', 'cli.out', '--vkp', 'diff.vkp');
    assert.deepEqual(diff.bytes, bytesOf('diff.vkp'));
});

test('files dropped on the rows: a slot\'s own file is taken, others are refused with the reason', async () => {
    const drop = async (target, name) => {
        const dataTransfer = await page.evaluateHandle(({ name, bytes }) => {
            const d = new DataTransfer();
            d.items.add(new File([new Uint8Array(bytes)], name));
            return d;
        }, { name, bytes: [...bytesOf(name)] });
        await target.dispatchEvent('drop', { dataTransfer });
    };
    const row = (caption) => page.getByRole('row', { name: new RegExp(`^${caption} `) });
    await drop(row('Classic 2'), 'slot2.si3');
    await page.getByRole('status').filter({ hasText: 'slot2.si3 goes into "Classic 2"' }).waitFor();
    await drop(row('Folklore 2'), 'slot9.si3');
    await page.getByRole('alert').filter({ hasText: '"Folklore 2" was not found in the image' }).waitFor();
    await drop(row('Pop 1'), 'picture.bmp');
    await page.getByRole('alert').filter({ hasText: '"Pop 1" does not take ".bmp" files.' }).waitFor();
    await drop(page.locator('header'), 'slot3.si3');
    await page.getByRole('alert').filter({ hasText: 'Drop "slot3.si3" on the row of the slot it is for.' }).waitFor();
});

test('a junk file or a damaged .vkp gives an alert naming it, and nothing to download', async () => {
    writeFileSync(at('damaged.vkp'), '0x3A0010: 00 zz\r\n');
    await page.getByLabel('Patch', { exact: true }).setInputFiles(at('damaged.vkp'));
    await page.getByRole('alert').filter({ hasText: 'damaged.vkp' }).waitFor();
    assert.ok(await page.getByRole('button', { name: 'Apply to a copy', exact: true }).isDisabled());

    writeFileSync(at('junk.bin'), 'this is no image of a phone');
    await page.getByLabel('Image', { exact: true }).setInputFiles(at('junk.bin'));
    await page.getByRole('alert').filter({ hasText: 'junk.bin' }).waitFor();
    assert.equal(await page.getByRole('button', { name: 'Go', exact: true }).isVisible(), false);
    assert.equal(await page.getByLabel('File for Classic 1').count(), 0);
});

test('in Russian where the browser prefers it: the window\'s texts and the engine\'s messages', async () => {
    const context = await browser.newContext({ locale: 'ru-RU' });
    const russian = await context.newPage();
    russian.on('pageerror', (e) => problems.push(`script error: ${e.message}`));
    await russian.goto(base);
    await russian.locator('body[data-ready="true"]').waitFor();
    assert.equal(await russian.locator('#go').textContent(), 'Пуск');
    await russian.getByLabel('Образ', { exact: true }).setInputFiles(at('junk.bin'));
    await russian.getByRole('alert').filter({ hasText: 'В junk.bin не найдено ни одного слота' }).waitFor();
    writeFileSync(at('huge.bin'), new Uint8Array(10_000_001));
    await russian.getByLabel('Образ', { exact: true }).setInputFiles(at('huge.bin'));
    await russian.getByRole('alert').filter({ hasText: 'huge.bin: Файл слишком велик: 10000001 байт' }).waitFor();
    await context.close();
});

test('no request left the page\'s address and no script failed', () => {
    const foreign = requests.filter((u) => !u.startsWith(base) && !u.startsWith('blob:') && !u.startsWith('data:'));
    assert.deepEqual(foreign, []);
    assert.deepEqual(problems, []);
});
