// SPDX-License-Identifier: GPL-3.0-or-later
// The page: shows what the engine reports and moves bytes between the user's files, the engine
// and downloads. Every rule (what an image holds, what a patch does, how files are named, what
// a run may write) is the engine's; nothing is sent anywhere.
import CarillonEngine from './carillon-engine.js';
import { russian } from './translations.js';

const $ = (id) => document.getElementById(id);

// --- Language ---------------------------------------------------------------------------------
// Russian when the browser prefers it to English; the texts are the window's own translations.
const preferred = (navigator.languages?.length ? navigator.languages : [navigator.language])
    .map((l) => l.toLowerCase().slice(0, 2)).find((l) => l === 'ru' || l === 'en');
const inRussian = preferred === 'ru';
const contexts = ['Web', 'carillon::ui::TForm1', 'Dialogs'];

function tr(text, ...args) {
    let out = text;
    if (inRussian) {
        // The window's group titles are padded with two blanks on each side.
        for (const key of [text, `  ${text}  `]) {
            const found = contexts.map((c) => russian[c]?.[key]).find(Boolean);
            if (found) {
                out = found.trim();
                break;
            }
        }
    }
    return args.length ? engine.fill(out, args.map(String)) : out;
}

let engine;
let patterns;

// An engine message {id, args}: its pattern in the page's language, its arguments put in.
function say(message) {
    const english = patterns.get(message.id) ?? '%1';
    const pattern = inRussian ? russian.Message?.[english] ?? english : english;
    return engine.fill(pattern, message.args.map((a) => (typeof a === 'string' ? a : say(a))));
}
const sayLines = (lines) => lines.map(say).join('\n');

// --- News -------------------------------------------------------------------------------------
function alertUser(text) {
    $('status').textContent = '';
    $('alert').textContent = text;
}
function tell(text) {
    $('alert').textContent = '';
    $('status').textContent = text;
}

// --- Files in, files out ----------------------------------------------------------------------
async function bytesOf(file, patch) {
    const refusal = engine.sizeRefusal(file.name, file.size, patch);
    if (refusal) {
        throw new Error(say(refusal));
    }
    return new Uint8Array(await file.arrayBuffer());
}

// Reads an image straight into the engine's memory, a piece at a time, and opens it there.
async function openInEngine(file) {
    const refusal = engine.sizeRefusal(file.name, file.size, false);
    if (refusal) {
        throw new Error(say(refusal));
    }
    engine.receiveImage(file.size);
    const reader = file.stream().getReader();
    let at = 0;
    for (;;) {
        const { done, value } = await reader.read();
        if (done) {
            break;
        }
        const room = engine.received();
        if (at + value.length > room.length) {
            break;  // the file grew while it was read
        }
        room.set(value, at);
        at += value.length;
    }
    if (at !== file.size) {
        throw new Error(tr('%1: %2', file.name, say({ id: 'FileChangedWhileRead', args: [] })));
    }
    return engine.openReceived(file.name);
}

// Offers a file for download; its bytes may be a view of the engine's memory, so the Blob (a
// copy) is made before anything else calls the engine.
function download(file) {
    const url = URL.createObjectURL(new Blob([file.bytes], { type: 'application/octet-stream' }));
    const link = document.createElement('a');
    link.href = url;
    link.download = file.name;
    link.textContent = file.name;
    const item = document.createElement('li');
    item.append(link);
    $('downloads').append(item);
    link.click();
    return file.name;
}

// --- The image and its rows -------------------------------------------------------------------
const state = { info: null, choices: new Map(), patch: null, compare: null };
const kindMarks = ['\u266A', '\u266B', '\u25A3', '\u25B6'];

function clearImage() {
    engine.closeImage();
    state.info = null;
    state.choices.clear();
    for (const id of ['slots-section', 'output-section', 'workbench-section']) {
        $(id).hidden = true;
    }
    $('info').hidden = true;
    $('downloads').textContent = '';
    $('slots').tBodies[0].textContent = '';
}

async function openImage(file) {
    clearImage();
    delete document.body.dataset.rowsMs;
    let info;
    try {
        const started = performance.now();
        info = await openInEngine(file);
        if (info.error) {
            throw new Error(say(info.error));
        }
        if (!info.anyFound) {
            throw new Error(tr('No content slots were found in %1: it does not look like a full flash or EEPROM image of an A52.', file.name));
        }
        state.info = info;
        showImage(info);
        // Timed to the first frame that shows the rows (the page's speed benchmark reads it).
        await new Promise(requestAnimationFrame);
        document.body.dataset.rowsMs = String(Math.round(performance.now() - started));
        document.body.dataset.moduleBytes = String(engine.memoryBytes());
        tell(tr('Opened %1', file.name));
    } catch (e) {
        clearImage();
        alertUser(e.message);
    }
}

function showImage(info) {
    $('phone').textContent = info.phone;
    $('version').textContent = info.version;
    $('kind').textContent = say(info.kindText);
    $('info').hidden = false;
    const body = $('slots').tBodies[0];
    body.textContent = '';
    for (const row of info.rows) {
        body.append(slotRow(row));
    }
    resetWorkbench();
    for (const id of ['slots-section', 'output-section', 'workbench-section']) {
        $(id).hidden = false;
    }
}

function cell(text, className) {
    const td = document.createElement('td');
    td.textContent = text;
    if (className) {
        td.className = className;
    }
    return td;
}

function note(text, className = 'note') {
    const span = document.createElement('span');
    span.className = className;
    span.textContent = text;
    return span;
}

function slotRow(row) {
    const tr_ = document.createElement('tr');
    tr_.className = !row.found ? 'not-found' : row.unsound ? 'unsound' : '';
    const caption = document.createElement('th');
    caption.scope = 'row';
    const mark = note(kindMarks[row.kind], 'kind');
    mark.setAttribute('aria-hidden', 'true');
    caption.append(mark, row.shownCaption);
    tr_.append(caption);

    const found = cell(row.found ? tr('Found') : tr('Not Found'));
    if (row.found && row.unsound) {
        found.textContent = '';
        found.append(note('!', 'unsound-mark'), ' ', tr('Found'), note(say(row.unsoundText), 'reason'));
        caption.title = say(row.unsoundText);
    }
    tr_.append(found, cell(say(row.size), 'num'), cell(say(row.max), 'num'), cell(say(row.address), 'num'));

    const fileCell = document.createElement('td');
    const nameCell = document.createElement('td');
    const contentCell = document.createElement('td');
    tr_.append(fileCell, nameCell, contentCell);
    tr_.addEventListener('dragover', (e) => {
        e.preventDefault();
        tr_.classList.add('dragging');
    });
    tr_.addEventListener('dragleave', () => tr_.classList.remove('dragging'));
    tr_.addEventListener('drop', (e) => {
        e.preventDefault();
        e.stopPropagation();
        tr_.classList.remove('dragging');
        const file = e.dataTransfer.files[0];
        if (!file) {
            return;
        }
        if (!isSlotFile(file)) {
            dropOnPage(e);
        } else if (!row.found) {
            alertUser(tr('"%1" was not found in the image: no file can go there.', row.shownCaption));
        } else if (row.unsound) {
            alertUser(say(row.unsoundText));
        } else if (extensionOf(file) !== row.extension) {
            alertUser(tr('"%1" does not take "%2" files.', row.shownCaption, extensionOf(file)));
        } else {
            chooseFile(row, file, fileCell, true);
        }
    });
    if (!row.found || row.unsound) {
        return tr_;
    }

    const input = document.createElement('input');
    input.type = 'file';
    input.accept = row.extension;
    input.setAttribute('aria-label', tr('File for %1', row.shownCaption));
    input.addEventListener('change', () => input.files[0] && chooseFile(row, input.files[0], fileCell, false));
    fileCell.append(input);

    if (row.nameWritable) {
        const name = document.createElement('input');
        name.type = 'text';
        name.spellcheck = false;
        name.setAttribute('aria-label', tr('New name for %1', row.shownCaption));
        name.dataset.slot = String(row.slot);
        const written = note('');
        name.addEventListener('input', () => {
            const cleaned = engine.cleanName(name.value);
            written.textContent = name.value ? tr('Written as %1', cleaned || '\u2014') : '';
            const choice = state.choices.get(row.slot);
            if (choice) {
                choice.name = name.value || null;
            }
        });
        nameCell.append(name, written);
    } else if (row.nameFixed) {
        nameCell.append(note(tr('The image holds no melody name for this slot (another firmware or damaged bytes), so its name is not changed.')));
    }

    const save = document.createElement('button');
    save.type = 'button';
    save.textContent = tr('Save content as...');
    save.setAttribute('aria-label', `${tr('Save content as...')} ${row.shownCaption}`);
    save.addEventListener('click', () => {
        const r = engine.exportSlot(row.slot, row.shownCaption);
        if (r.error) {
            alertUser(tr('Nothing saved from "%1": %2', row.shownCaption, say(r.error)));
            return;
        }
        tell(tr('Downloaded %1', download(r)));
    });
    contentCell.append(save);
    return tr_;
}

// A file for a row, from its file input or dropped on the row (`dropped`: the input does not
// show its name then).
async function chooseFile(row, file, fileCell, dropped) {
    for (const old of fileCell.querySelectorAll('.chosen, .cut, img, .note')) {
        old.remove();
    }
    let bytes;
    try {
        bytes = await bytesOf(file, false);
    } catch (e) {
        state.choices.delete(row.slot);
        alertUser(e.message);
        return;
    }
    const nameInput = document.querySelector(`[aria-label="${CSS.escape(tr('New name for %1', row.shownCaption))}"]`);
    state.choices.set(row.slot, { slot: row.slot, fileName: file.name, bytes, name: nameInput?.value || null });
    if (dropped) {
        fileCell.querySelector('input').value = '';
        fileCell.append(note(file.name, 'chosen'));
    }
    const cut = engine.cutWarning(row.slot, row.shownCaption, file.name, bytes.length);
    if (cut.length) {
        fileCell.append(note(sayLines(cut), 'cut'));
    }
    if (row.kind === 2) {
        const img = document.createElement('img');
        img.className = 'preview';
        img.alt = file.name;
        img.addEventListener('load', () => fileCell.append(note(`${img.naturalWidth} \u00D7 ${img.naturalHeight}`)));
        img.addEventListener('error', () => {
            img.remove();
            fileCell.append(note(tr('The file "%1" is not a picture this window can show. It is written to the phone as it is.', file.name)));
        });
        img.src = URL.createObjectURL(new Blob([bytes], { type: 'image/bmp' }));
        fileCell.append(img);
    }
    tell(tr('%1 goes into "%2"', file.name, row.shownCaption));
}

// --- Go ---------------------------------------------------------------------------------------
function timestamp() {
    if (!$('stamp').checked) {
        return null;
    }
    const now = new Date();
    return {
        date: now.toLocaleDateString(undefined, { dateStyle: 'short' }),
        time: now.toLocaleTimeString(undefined, { timeStyle: 'medium' }),
    };
}

function go() {
    if (!state.info) {
        alertUser(tr('Open an image first'));
        return;
    }
    const request = {
        output: $('to-image').checked ? 'image' : $('single').checked ? 'single' : 'perSlot',
        patchName: $('patch-name').value,
        stamp: timestamp(),
        keepNames: $('keep-names').checked,
        allowCut: false,
        choices: [...state.choices.values()],
        pendingNames: [...document.querySelectorAll('#slots input[type=text][data-slot]')]
            .filter((input) => input.value && !state.choices.has(Number(input.dataset.slot)))
            .map((input) => ({ slot: Number(input.dataset.slot), name: input.value })),
    };
    if (request.choices.length === 0) {
        alertUser(tr('Choose a file for a slot first'));
        return;
    }
    let result = engine.buildOutputs(request);
    if (result.cutQuestion) {
        if (!window.confirm(sayLines(result.cutQuestion))) {
            tell(sayLines(engine.runAborted()));
            return;
        }
        result = engine.buildOutputs({ ...request, allowCut: true });
    }
    if (result.error) {
        alertUser(say(result.error));
        return;
    }
    $('downloads').textContent = '';
    const names = result.files.map(download);
    document.body.dataset.moduleBytes = String(engine.memoryBytes());
    tell([...names.map((n) => tr('Downloaded %1', n)), ...result.cutLines.map(say), ...result.nameLines.map(say)].join('\n'));
}

// --- The workbench ----------------------------------------------------------------------------
function resetWorkbench() {
    state.patch = null;
    state.compare = null;
    $('check').hidden = true;
    $('apply').disabled = true;
    $('revert').disabled = true;
    $('make-patch').disabled = true;
    $('patch').value = '';
    $('compare').value = '';
}

async function openPatch(file) {
    resetWorkbenchPatch();
    try {
        const bytes = await bytesOf(file, true);
        const checked = engine.checkPatch(file.name, bytes);
        if (checked.error) {
            throw new Error(say(checked.error));
        }
        state.patch = { name: file.name, bytes };
        showCheck(checked);
        tell(tr('%1: %2', file.name, say(checked.counts)));
    } catch (e) {
        alertUser(e.message);
    }
}

function resetWorkbenchPatch() {
    state.patch = null;
    $('check').hidden = true;
    $('apply').disabled = true;
    $('revert').disabled = true;
}

function showCheck(checked) {
    $('counts').textContent = say(checked.counts);
    const failing = $('failing');
    failing.textContent = '';
    for (const line of checked.failing.slice(0, 100)) {
        const item = document.createElement('li');
        item.textContent = say(line);
        failing.append(item);
    }
    const more = checked.failing.length - Math.min(checked.failing.length, 100) + checked.moreFailing;
    if (more > 0) {
        failing.append(note(tr('and %1 more', more)));
    }
    for (const w of checked.warnings) {
        failing.append(note(w.more ? tr('and %1 more', w.more) : `${w.line}: ${say(w.message)}`));
    }
    const body = $('records').tBodies[0];
    body.textContent = '';
    for (const r of checked.list) {
        const row = document.createElement('tr');
        row.append(cell(String(r.line), 'num'), cell(r.addressText, 'num'),
            cell(String(r.size), 'num'), cell(r.status));
        row.title = say(r.verdict);
        body.append(row);
    }
    $('unlisted').textContent = checked.unlisted > 0 ? tr('and %1 more', checked.unlisted) : '';
    $('check').hidden = false;
    $('apply').disabled = !checked.canApply;
    $('revert').disabled = !checked.canRevert;
}

function applyPatch(revert) {
    if (!state.patch) {
        return;
    }
    const r = engine.applyPatch(state.patch.name, state.patch.bytes, revert, false);
    if (r.error) {
        const lines = [tr('Nothing written: %1', say(r.error)), ...(r.failures ?? []).map(say)];
        if (r.moreFailures > 0) {
            lines.push(tr('and %1 more', r.moreFailures));
        }
        alertUser(lines.join('\n'));
        return;
    }
    tell(tr('Wrote %1 (verified): %2', download(r), say(r.summary)));
}

async function chooseCompare(file) {
    state.compare = null;
    $('make-patch').disabled = true;
    try {
        state.compare = { name: file.name, bytes: await bytesOf(file, false) };
        $('make-patch').disabled = false;
    } catch (e) {
        alertUser(e.message);
    }
}

function makePatch() {
    if (!state.compare) {
        return;
    }
    const r = engine.makeDiff(state.compare.name, state.compare.bytes, '');
    if (r.error) {
        alertUser(say(r.error));
        return;
    }
    tell(tr('Wrote %1 (verified): %2', download(r), tr('%1 records, %2 bytes changed', r.lines, r.changed)));
}

// --- Start ------------------------------------------------------------------------------------
function translatePage() {
    document.documentElement.lang = inRussian ? 'ru' : 'en';
    for (const el of document.querySelectorAll('[data-text]')) {
        el.textContent = tr(el.dataset.text);
    }
    for (const id of ['image', 'patch', 'compare']) {
        $(id).setAttribute('aria-label', tr($(id).getAttribute('aria-label')));
    }
}

// A file whose extension is one the slots take (".si3", ".bmp", ".bmx"), while an image is open.
const extensionOf = (file) => (/\.[^.]*$/.exec(file.name)?.[0] ?? '').toLowerCase();
const isSlotFile = (file) => state.info?.rows.some((r) => r.extension === extensionOf(file));

// A file dropped on the page: a slot's file belongs on its row, a ".vkp" goes to the
// workbench, anything else is opened as an image.
function dropOnPage(e) {
    e.preventDefault();
    $('open-section').classList.remove('dragging');
    const file = e.dataTransfer?.files[0];
    if (!file) {
        return;
    }
    if (isSlotFile(file)) {
        alertUser(tr('Drop "%1" on the row of the slot it is for.', file.name));
    } else if (state.info && extensionOf(file) === '.vkp') {
        openPatch(file);
    } else {
        openImage(file);
    }
}

async function start() {
    engine = await CarillonEngine();
    patterns = new Map(engine.patterns().map((p) => [p.name, p.english]));
    translatePage();
    $('image').addEventListener('change', (e) => e.target.files[0] && openImage(e.target.files[0]));
    $('patch').addEventListener('change', (e) => e.target.files[0] && openPatch(e.target.files[0]));
    $('compare').addEventListener('change', (e) => e.target.files[0] && chooseCompare(e.target.files[0]));
    $('go').addEventListener('click', go);
    $('apply').addEventListener('click', () => applyPatch(false));
    $('revert').addEventListener('click', () => applyPatch(true));
    $('make-patch').addEventListener('click', makePatch);
    document.addEventListener('dragover', (e) => {
        e.preventDefault();
        $('open-section').classList.add('dragging');
    });
    document.addEventListener('dragleave', () => $('open-section').classList.remove('dragging'));
    document.addEventListener('drop', dropOnPage);
    $('image').disabled = false;
    document.body.dataset.ready = 'true';
    performance.mark('carillon-ready');
}

start().catch((e) => alertUser(String(e?.message ?? e)));
