// SPDX-License-Identifier: GPL-3.0-or-later
// Reads seeded random patch texts with Carillon's reader and with the field's reference
// reader, and fails on any text the two read differently, unless one of the agreed
// differences (agreed_differences.json) explains it. Also checks each agreed difference on its
// sample: the two readers really differ there, as the list says.
//
// Usage: node differential.mjs READ_JSON_PROGRAM [--count N] [--seed S]
import { spawnSync } from 'node:child_process';
import { readFileSync } from 'node:fs';
import { createRequire } from 'node:module';
import { dirname, join } from 'node:path';
import { fileURLToPath } from 'node:url';

const here = dirname(fileURLToPath(import.meta.url));
const require = createRequire(join(here, 'reference', 'package.json'));
const { vkpNormalize, vkpParse } = await import(require.resolve('@sie-js/vkp'));

const args = process.argv.slice(2);
const program = args[0];
const option = (name, fallback) => {
    const at = args.indexOf(name);
    return at >= 0 ? Number(args[at + 1]) : fallback;
};
const count = option('--count', 300);
const seed = option('--seed', 1);

// --- The two readers -----------------------------------------------------------------------
function referenceRead(bytes) {
    try {
        const r = vkpParse(vkpNormalize(bytes));
        return {
            reads: r.errors.length === 0,
            errors: r.errors.map((e) => e.message),
            records: r.writes.map((w) => ({
                address: w.addr,
                old: w.old ? w.old.toString('hex').toUpperCase() : null,
                new: w.new.toString('hex').toUpperCase(),
                pragmas: Object.keys(w.pragmas).sort().filter((k) => w.pragmas[k]),
            })),
        };
    } catch (e) {
        return { reads: false, errors: ['thrown: ' + e.message], records: [] };
    }
}

function carillonRead(texts) {
    const input = texts.map((b) => b.toString('base64')).join('\n') + '\n';
    const run = spawnSync(program, [], { input, maxBuffer: 1 << 30 });
    if (run.status !== 0) {
        throw new Error(`${program} failed: ${run.stderr}`);
    }
    return run.stdout.toString().trim().split('\n').map((l) => JSON.parse(l));
}

const same = (a, b) =>
    a.reads === b.reads && (!a.reads || JSON.stringify(a.records) === JSON.stringify(b.records));

// --- The agreed differences ----------------------------------------------------------------
const agreed = JSON.parse(readFileSync(join(here, 'agreed_differences.json'), 'utf8'));
function explains(entry, text, carillon) {
    if (entry.carillonError) {
        return !carillon.reads && carillon.errors.some((e) => e.includes(entry.carillonError));
    }
    return new RegExp(entry.textForm).test(text.toString('latin1'));
}

let failures = 0;
const samples = agreed.map((e) => Buffer.from(e.sample, 'latin1'));
carillonRead(samples).forEach((carillon, i) => {
    const entry = agreed[i];
    const reference = referenceRead(samples[i]);
    const wantReads = (what) => !what.startsWith('error');
    const problems = [];
    if (reference.reads !== wantReads(entry.reference)) problems.push('the reference');
    if (carillon.reads !== wantReads(entry.carillon)) problems.push('Carillon');
    if (same(reference, carillon)) problems.push('no difference');
    if (!explains(entry, samples[i], carillon)) problems.push('its form');
    if (problems.length > 0) {
        failures++;
        console.log(`agreed difference "${entry.name}": ${problems.join(', ')} not as listed`);
        console.log(`  reference: ${JSON.stringify(reference)}`);
        console.log(`  carillon:  ${JSON.stringify(carillon)}`);
    }
});

// --- The generator -------------------------------------------------------------------------
function mulberry32(a) {
    return () => {
        a |= 0;
        a = (a + 0x6d2b79f5) | 0;
        let t = Math.imul(a ^ (a >>> 15), 1 | a);
        t = (t + Math.imul(t ^ (t >>> 7), 61 | t)) ^ t;
        return ((t ^ (t >>> 14)) >>> 0) / 4294967296;
    };
}
const random = mulberry32(seed);
const int = (n) => Math.floor(random() * n);
const pick = (list) => list[int(list.length)];
const chance = (p) => random() < p;
const hexDigits = (n) => Array.from({ length: n }, () => pick('0123456789ABCDEFabcdef'.split(''))).join('');

const pragmaNames = ['warn_no_old_on_apply', 'warn_if_new_exist_on_apply', 'warn_if_old_exist_on_undo',
    'undo', 'old_equal_ff'];
const escapes = ['\\n', '\\r', '\\t', '\\a', '\\b', '\\v', '\\f', '\\e', '\\\\', '\\"', "\\'", '\\/', '\\*',
    '\\`', '\\ ', '\\0', '\\12', '\\377', '\\x41', '\\x7e', '\\x0A', '\\x7F', '\\x4G', '\\xG1', '\\x4',
    '\\u0041', '\\u0416', '\\uZZZZ', '\\8', '\\q', '\\/*', '\\//'];
const stringChars = ['a', 'Z', '0', ' ', '#', ';', ',', ':', '\xC0', '\xFF', '\xE9', '\x98', '"', "'", '*', '/',
    '*/', '//', '/*'];

function str() {
    const quote = chance(0.6) ? '"' : "'";
    let body = '';
    for (let n = int(4); n > 0; n--) {
        body += chance(0.3) ? pick(escapes) : pick(stringChars);
    }
    return quote + body + quote;
}

function item() {
    switch (int(6)) {
        case 0: return '0x' + hexDigits(1 + int(9));
        case 1: return '0n' + Array.from({ length: 1 + int(33) }, () => pick(['0', '1'])).join('');
        case 2: return '0i' + pick(['', '-', '+']) + String(int(100000)).padStart(pick([1, 2, 3, 5]), '0');
        case 3: return str();
        default: return hexDigits(2 * (1 + int(4)));
    }
}

function dataList() {
    let out = item();
    for (let n = int(3); n > 0; n--) {
        const next = item();
        out += pick([',', ',', ',,', '', ', ']) + next;
    }
    return out + (chance(0.05) ? ',' : '');
}

function address() {
    const digits = hexDigits(1 + int(8)).replace(/^/, chance(0.1) ? '000' : '');
    return (chance(0.15) ? pick(['0x', '0X']) : '') + digits;
}

const blank = () => pick([' ', ' ', '  ', '\t', ' \t']);
const comment = () => pick(['; note', '// note', '# note', '/* note */', ';', '#pragma', '/* open']);

function record() {
    let line = address() + ':' + (chance(0.8) ? blank() : '');
    if (chance(0.05)) line += '\\\n';
    line += dataList();
    if (chance(0.8)) {
        line += chance(0.05) ? ' \\\n' : blank();
        line += dataList();
    }
    if (chance(0.3)) line += blank() + comment();
    return line;
}

function statement() {
    switch (int(12)) {
        case 0: return `#pragma ${pick(['enable', 'disable'])} ${pick(pragmaNames)}`;
        case 1: return pick(['+', '-']) + (chance(0.2) ? '0x' : '') + hexDigits(1 + int(3));
        case 2: return '+0';
        case 3: return comment();
        case 4: return '';
        case 5: return '/* a\nb */' + (chance(0.5) ? ' ' + record() : '');
        case 6: return '*/ ' + record();
        default: return record();
    }
}

const mistakes = ['', ' ', ':', ',', '"', "'", '\\', '/', '*', '#', ';', 'x', 'X', 'XX', 'G', '0', '-', '+', '\n', '\t'];
function mistake(text) {
    const at = int(text.length + 1);
    switch (int(3)) {
        case 0: return text.slice(0, at) + pick(mistakes) + text.slice(at);
        case 1: return text.slice(0, at) + text.slice(at + 1);
        default: return text.slice(0, at) + pick(mistakes) + text.slice(at + 1);
    }
}

function patchText() {
    const lines = Array.from({ length: 1 + int(5) }, statement);
    let text = lines.join(pick(['\r\n', '\n', '\n', '\r']));
    if (chance(0.5)) text += '\r\n';
    if (chance(0.35)) text = mistake(text);
    return Buffer.from(text, 'latin1');
}

// --- The comparison ------------------------------------------------------------------------
const texts = Array.from({ length: count }, patchText);
const ours = carillonRead(texts);
let explained = 0;
let shown = 0;
texts.forEach((text, i) => {
    const reference = referenceRead(text);
    if (same(reference, ours[i])) return;
    if (agreed.some((e) => explains(e, text, ours[i]))) {
        explained++;
        return;
    }
    failures++;
    if (shown++ < 20) {
        console.log(`text ${i}: ${JSON.stringify(text.toString('latin1'))}`);
        console.log(`  reference: ${JSON.stringify(reference)}`);
        console.log(`  carillon:  ${JSON.stringify(ours[i])}`);
    }
});
console.log(`${count} texts (seed ${seed}): ${count - failures - explained} agree, ` +
    `${explained} differ as agreed, ${failures} differ otherwise`);
process.exit(failures === 0 ? 0 : 1);
