// Reads patch texts with the field's reference reader and prints what it made of each, one
// JSON object a line. Input (standard input): a JSON array of texts, each base64 of the bytes.
import { vkpNormalize, vkpParse } from '@sie-js/vkp';
import { readFileSync } from 'node:fs';

const texts = JSON.parse(readFileSync(0, 'utf8'));
for (const b64 of texts) {
    const bytes = Buffer.from(b64, 'base64');
    let out;
    try {
        const r = vkpParse(vkpNormalize(bytes));
        out = {
            reads: r.errors.length === 0,
            errors: r.errors.map((e) => e.message),
            warnings: r.warnings.length,
            records: r.writes.map((w) => ({
                address: w.addr,
                old: w.old ? w.old.toString('hex').toUpperCase() : null,
                new: w.new.toString('hex').toUpperCase(),
                pragmas: Object.keys(w.pragmas).sort().filter((k) => w.pragmas[k]),
            })),
        };
    } catch (e) {
        out = { reads: false, errors: ['thrown: ' + e.message], warnings: 0, records: [] };
    }
    process.stdout.write(JSON.stringify(out) + '\n');
}
