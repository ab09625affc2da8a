// SPDX-License-Identifier: GPL-3.0-or-later
// The page's module against the command line: on generated images of the three kinds, every
// output of the module equals carillon-cli's byte for byte.
// Run: node --no-experimental-fetch --test tests/web/binding.test.mjs
// with CARILLON_CLI, CARILLON_DEMO_IMAGE and CARILLON_WEB_DIR (the built page) set.
import assert from 'node:assert/strict';
import { execFileSync, spawnSync } from 'node:child_process';
import { copyFileSync, mkdtempSync, readFileSync, readdirSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join, resolve } from 'node:path';
import { after, before, describe, test } from 'node:test';
import { pathToFileURL } from 'node:url';

const cli = resolve(process.env.CARILLON_CLI ?? 'build/default/src/cli/carillon-cli');
const demo = resolve(process.env.CARILLON_DEMO_IMAGE ?? 'build/default/tools/carillon-demo-image');
const webDir = resolve(process.env.CARILLON_WEB_DIR ?? 'build/web');

const images = ['demo.bin', 'eeprom.bin', 'phone.eep'];
let engine;
let dir;
let english;

function run(...args) {
    return execFileSync(cli, args, { cwd: dir, encoding: 'latin1' });
}
function runFails(...args) {
    const r = spawnSync(cli, args, { cwd: dir, encoding: 'latin1' });
    assert.notEqual(r.status, 0, `carillon-cli ${args.join(' ')} should fail`);
    return r;
}
const bytesOf = (name) => new Uint8Array(readFileSync(join(dir, name)));
const open = (name) => engine.openImage(name, bytesOf(name));
const fileOf = (slot) => readdirSync(dir).find((f) => f.startsWith(`slot${slot}.`));
const choice = (slot, name = null) => ({ slot, fileName: fileOf(slot), bytes: bytesOf(fileOf(slot)), name });

before(async () => {
    dir = mkdtempSync(join(tmpdir(), 'carillon-web-'));
    execFileSync(demo, ['--kinds', dir]);
    // The module is an ES module in a ".js" file; Debian's Node.js 18 takes a ".js" file outside
    // a "type": "module" package for CommonJS, so it is imported through a ".mjs" copy.
    copyFileSync(join(webDir, 'carillon-engine.js'), join(dir, 'carillon-engine.mjs'));
    const { default: CarillonEngine } = await import(pathToFileURL(join(dir, 'carillon-engine.mjs')));
    engine = await CarillonEngine({ wasmBinary: readFileSync(join(webDir, 'carillon-engine.wasm')) });
    const patterns = new Map(engine.patterns().map((p) => [p.name, p.english]));
    english = (m) => engine.fill(patterns.get(m.id), m.args.map((a) => (typeof a === 'string' ? a : english(a))));
});
after(() => rmSync(dir, { recursive: true, force: true }));

describe('info', () => {
    for (const image of images) {
        test(`${image}: kind, phone, version and the 18 rows as the command line shows them`, () => {
            const json = JSON.parse(run('info', image, '--json'));
            const info = open(image);
            assert.equal(info.kind, json.kind);
            assert.equal(english(info.kindText), json.kindText);
            assert.equal(info.kind === 0 ? info.phone : null, json.phone);
            assert.equal(info.versionByte, json.version);
            const table = run('info', image).split('\n').slice(6, 24);
            info.rows.forEach((row, i) => {
                const want = json.slots[i];
                assert.deepEqual(
                    [row.slot, row.caption, row.found, row.blockNumber, row.addressValue],
                    [want.slot, want.caption, want.found, want.blockNumber, want.address]);
                if (want.found) {
                    assert.deepEqual([row.capacity, row.contentSize], [want.capacity, want.contentSize]);
                }
                assert.equal(row.storedName, want.name);
                assert.equal(row.unsound && english(row.unsound), want.unsound);
                // The Size, Max and Address cells, as the table prints them.
                const cells = [table[i].slice(22, 29), table[i].slice(29, 36), table[i].slice(36, 46)];
                assert.deepEqual([row.size, row.max, row.address].map(english), cells.map((c) => c.trim()));
            });
        });
    }
    test('a file that is no image finds nothing; one over the limit is refused by name', () => {
        writeFileSync(join(dir, 'junk.bin'), 'not an image at all');
        assert.equal(open('junk.bin').anyFound, false);
        const big = engine.openImage('big.bin', new Uint8Array(10_000_001));
        assert.match(english(big.error), /^big\.bin: File too large: 10000001 bytes/);
    });
});

describe('patch outputs', () => {
    const cases = [
        { image: 'demo.bin', slots: [1, 11, 15], names: { 1: 'Ring-tone 2' } },
        { image: 'eeprom.bin', slots: [3, 12, 16, 18], names: {} },
        { image: 'phone.eep', slots: [2, 13, 17], names: {} },
    ];
    for (const c of cases) {
        // Named when a test runs: the files are written in before(), which Node.js 18 runs
        // after the suites' bodies.
        const slotArgs = () => c.slots.flatMap((n) => ['--slot', `${n}=${fileOf(n)}`]);
        const nameArgs = Object.entries(c.names).flatMap(([n, t]) => ['--name', `${n}=${t}`]);
        const choices = () => c.slots.map((n) => choice(n, c.names[n] ?? null));
        const build = (output, patchName = 'All_Patches') => {
            open(c.image);
            const r = engine.buildOutputs({ output, patchName, stamp: null, keepNames: false, allowCut: false, choices: choices() });
            assert.equal(r.error, undefined, r.error && english(r.error));
            return r.files;
        };
        test(`${c.image}: the single .vkp`, () => {
            run('patch', c.image, ...slotArgs(), ...nameArgs, '--vkp', 'single.vkp', '--force');
            const [file] = build('single');
            assert.equal(file.name, 'All_Patches.vkp');
            assert.deepEqual(file.bytes, bytesOf('single.vkp'));
        });
        test(`${c.image}: one .vkp per slot`, () => {
            const out = mkdtempSync(join(dir, 'per-'));
            run('patch', c.image, ...slotArgs(), ...nameArgs, '--per-slot', out);
            const files = build('perSlot');
            assert.deepEqual(files.map((f) => f.name).sort(), readdirSync(out).sort());
            for (const f of files) {
                assert.deepEqual(f.bytes, new Uint8Array(readFileSync(join(out, f.name))));
            }
        });
        test(`${c.image}: the patched image`, () => {
            run('patch', c.image, ...slotArgs(), ...nameArgs, '--out', 'patched.out', '--force');
            const [file] = build('image');
            assert.match(file.name, /__patched\.(bin|eep)$/);
            assert.deepEqual(file.bytes, bytesOf('patched.out'));
        });
    }
    test('a timestamp goes into every name as the window writes it', () => {
        open('demo.bin');
        const stamp = { date: '07.12.2026', time: '14:03:59' };
        const r = engine.buildOutputs({ output: 'perSlot', patchName: 'x', stamp, keepNames: false, allowCut: false, choices: [choice(1)] });
        assert.deepEqual(r.files.map((f) => f.name), ['Classic_1__07-12-2026__14-03-59.vkp']);
        const s = engine.buildOutputs({ output: 'single', patchName: 'All', stamp, keepNames: false, allowCut: false, choices: [choice(1)] });
        assert.deepEqual(s.files.map((f) => f.name), ['All__07-12-2026__14-03-59.vkp']);
    });
    test('a file larger than its slot is refused unless the cut is allowed, and then cut as the command line cuts', () => {
        writeFileSync(join(dir, 'big.si3'), new Uint8Array(5000).fill(0x41));
        const big = { slot: 1, fileName: 'big.si3', bytes: bytesOf('big.si3'), name: null };
        open('demo.bin');
        assert.equal(english(engine.cutWarning(1, 'Classic 1', 'big.si3', 5000)[1]), '"Classic 1": big.si3 has 5000 bytes, the slot holds 3400 (1600 cut)');
        const refused = engine.buildOutputs({ output: 'single', patchName: 'p', stamp: null, keepNames: false, allowCut: false, choices: [big] });
        assert.deepEqual(refused.cutQuestion.map(english).slice(1, 2), ['"Classic 1": big.si3 has 5000 bytes, the slot holds 3400 (1600 cut)']);
        assert.equal(refused.files, undefined);
        run('patch', 'demo.bin', '--slot', '1=big.si3', '--allow-cut', '--vkp', 'cut.vkp', '--force');
        const cut = engine.buildOutputs({ output: 'single', patchName: 'p', stamp: null, keepNames: false, allowCut: true, choices: [big] });
        assert.deepEqual(cut.files[0].bytes, bytesOf('cut.vkp'));
        assert.equal(english(cut.cutLines[0]), 'Cut: "Classic 1" holds 3400 of 5000 bytes');
    });
    test('a new name on a row without a file is not written, and the run says so', () => {
        open('demo.bin');
        const r = engine.buildOutputs({ output: 'single', patchName: 'p', stamp: null, keepNames: false, allowCut: false,
            choices: [choice(1)], pendingNames: [{ slot: 2, name: 'Ring tone' }, { slot: 3, name: 'Pop 1' }] });
        assert.deepEqual(r.nameLines.map(english), ['Name "Ring tone" not written: "Classic 2" has no file chosen']);
    });
    test('a slot not found gives nothing to download', () => {
        open('demo.bin'); // Folklore 2 (slot 9) is only a stale block there
        const r = engine.buildOutputs({ output: 'single', patchName: 'p', stamp: null, keepNames: false, allowCut: false, choices: [choice(9)] });
        assert.ok(r.error && !r.files);
    });
});

describe('export', () => {
    for (const image of images) {
        test(`${image}: each found slot's content`, () => {
            const info = open(image);
            for (const row of info.rows) {
                const got = engine.exportSlot(row.slot, row.shownCaption);
                const r = spawnSync(cli, ['export', image, '--slot', String(row.slot), '--out', 'content.out', '--force'], { cwd: dir });
                if (r.status === 0) {
                    assert.deepEqual(got.bytes, bytesOf('content.out'), `slot ${row.slot}`);
                } else {
                    assert.ok(got.error, `slot ${row.slot} is saved by the page but not by the command line`);
                }
            }
        });
    }
});

describe('workbench', () => {
    const patchFor = (image) => {
        run('patch', image, '--slot', `2=${fileOf(2)}`, '--slot', `12=${fileOf(12)}`, '--vkp', 'work.vkp', '--force');
        return bytesOf('work.vkp');
    };
    // What `check` prints: each record that does not simply apply, then the counts; its exit
    // status says whether the patch passes.
    const sameAsCheck = (checked, image, patch) => {
        const r = spawnSync(cli, ['check', image, patch], { cwd: dir, encoding: 'latin1' });
        assert.equal([...checked.failing.map(english), english(checked.counts)].join('\n') + '\n', r.stdout);
        assert.equal(checked.passes, r.status === 0);
        assert.equal(checked.list.length, checked.records);
    };
    for (const image of images) {
        test(`${image}: check, apply and revert as the command line does`, () => {
            const patch = patchFor(image);
            open(image);
            sameAsCheck(engine.checkPatch('work.vkp', patch), image, 'work.vkp');
            const applied = engine.applyPatch('work.vkp', patch, false, false);
            run('apply', image, 'work.vkp', '--out', 'applied.out', '--force');
            assert.deepEqual(applied.bytes, bytesOf('applied.out'));
            assert.equal(applied.name, image.replace(/\.(\w+)$/, '__applied.$1'));

            // The patched copy: the whole patch is in place there; revert gives the image back.
            const name = applied.name;
            writeFileSync(join(dir, name), applied.bytes);
            open(name);
            const again = engine.checkPatch('work.vkp', patch);
            sameAsCheck(again, name, 'work.vkp');
            assert.deepEqual([again.inPlace, again.canApply, again.canRevert], [true, true, true]);
            const reverted = engine.applyPatch('work.vkp', patch, true, false);
            run('apply', name, 'work.vkp', '--revert', '--out', 'reverted.out', '--force');
            assert.deepEqual(reverted.bytes, bytesOf('reverted.out'));
            assert.deepEqual(reverted.bytes, bytesOf(image));
        });
        test(`${image}: a patch of the differences`, () => {
            const name = image.replace(/\.(\w+)$/, '__applied.$1');
            open(image);
            const diff = engine.makeDiff(name, bytesOf(name), '');
            run('diff', image, name, '--vkp', 'diff.vkp', '--force');
            assert.deepEqual(diff.bytes, bytesOf('diff.vkp'));
        });
    }
    test('records that conflict: the same verdict lines and counts as check, nothing to apply', () => {
        const patch = new TextEncoder().encode('0x3A0010: 00 11\r\n0x3A0020: FF 22\r\n');
        writeFileSync(join(dir, 'bad.vkp'), patch);
        open('demo.bin');
        const checked = engine.checkPatch('bad.vkp', patch);
        const lines = [...checked.failing.map(english), english(checked.counts)].join('\n') + '\n';
        assert.equal(lines, runFails('check', 'demo.bin', 'bad.vkp').stdout);
        const applied = engine.applyPatch('bad.vkp', patch, false, false);
        assert.ok(applied.error && !applied.bytes);
        assert.equal(applied.failures.map(english).join('\n'), checked.failing.slice(0, 10).map(english).join('\n'));
    });
    test('a damaged .vkp, an empty one and images that do not pair are refused by name', () => {
        open('demo.bin');
        const damaged = engine.checkPatch('damaged.vkp', new TextEncoder().encode('0x10: 00 zz\r\n'));
        writeFileSync(join(dir, 'damaged.vkp'), '0x10: 00 zz\r\n');
        const cliText = runFails('check', 'demo.bin', 'damaged.vkp').stderr.trim();
        assert.equal(`carillon-cli: ${english(damaged.error)}`, cliText);
        assert.match(english(engine.checkPatch('empty.vkp', new Uint8Array(0)).error), /^empty\.vkp: holds no records$/);
        // Images that make no patch: the same refusals as carillon-cli diff.
        writeFileSync(join(dir, 'short.bin'), bytesOf('demo.bin').subarray(0, 500_000));
        for (const other of ['demo.bin', 'eeprom.bin', 'short.bin']) {
            const refused = engine.makeDiff(other, bytesOf(other), '');
            const cliText = runFails('diff', 'demo.bin', other, '--vkp', 'none.vkp').stderr;
            assert.equal(`carillon-cli: ${english(refused.error)}\n`, cliText);
        }
    });
});
