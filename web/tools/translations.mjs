// SPDX-License-Identifier: GPL-3.0-or-later
// Turns a Qt Linguist file into the page's table of texts: for every context, the source text
// and its translation. Usage: node translations.mjs carillon_ru.ts OUTPUT.js
import { readFileSync, writeFileSync } from 'node:fs';

const [input, output] = process.argv.slice(2);
const xml = readFileSync(input, 'utf8');

function unescape(text) {
    return text
        .replace(/<byte value="x([0-9a-fA-F]+)"\s*\/>/g, (_, hex) => String.fromCharCode(parseInt(hex, 16)))
        .replace(/&lt;/g, '<').replace(/&gt;/g, '>').replace(/&quot;/g, '"').replace(/&apos;/g, "'")
        .replace(/&#x([0-9a-fA-F]+);/g, (_, hex) => String.fromCodePoint(parseInt(hex, 16)))
        .replace(/&#([0-9]+);/g, (_, dec) => String.fromCodePoint(Number(dec)))
        .replace(/&amp;/g, '&');
}

const table = {};
for (const [, body] of xml.matchAll(/<context>([\s\S]*?)<\/context>/g)) {
    const name = unescape(/<name>([\s\S]*?)<\/name>/.exec(body)[1]);
    const texts = (table[name] ??= {});
    for (const [, message] of body.matchAll(/<message[^>]*>([\s\S]*?)<\/message>/g)) {
        const source = /<source>([\s\S]*?)<\/source>/.exec(message);
        const translation = /<translation(?:\s+type="([^"]*)")?>([\s\S]*?)<\/translation>/.exec(message);
        if (!source || !translation || translation[1] === 'unfinished' || translation[1] === 'obsolete' ||
            translation[1] === 'vanished' || translation[2] === '') {
            continue;
        }
        texts[unescape(source[1])] = unescape(translation[2]);
    }
}
writeFileSync(output, '// Generated from ' + input.split('/').pop() + ' at build time: do not edit.\n' +
    'export const russian = ' + JSON.stringify(table, null, 1) + ';\n');
