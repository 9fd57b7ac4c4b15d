// The instrument's page: the window's controls where the window has them, its
// rules and pictures from the module's page interface (tvp_*), the sound from
// the audio worklet, which gets every port value that changes.

import * as engine from './engine.js';

const $ = (selector) => document.querySelector(selector);

// The control kinds of the window's layout table, in its order.
const Kind = {
    PortList: 0,
    ParamSlider: 1,
    ValueText: 2,
    AxisButton: 3,
    StaticText: 4,
    DrawingArea: 5,
    EnableBox: 6,
    EnvelopeSlider: 7
};
const kXFromText = 39, kYLabel = 44, kPadId = 13;
const kAreaIds = [11, 12, 13];  // shape, waveform, pad
const kPadExtent = 300;
const kParamRows = 6, kLearnSliders = 10;  // the six parameters, then A, D, S, R

// --- the page's own instance of the module ----------------------------------

let api;  // the module's exports
const decoder = new TextDecoder();

function text(pointer) {
    const bytes = new Uint8Array(api.memory.buffer, pointer);
    return decoder.decode(bytes.subarray(0, bytes.indexOf(0)));
}

// Calls f with a string placed on the module's stack.
function withString(s, f) {
    const bytes = new TextEncoder().encode(s);
    const saved = api.stackSave();
    const at = api.stackAlloc(bytes.length + 1);
    new Uint8Array(api.memory.buffer, at, bytes.length + 1).set([...bytes, 0]);
    try {
        return f(at);
    } finally {
        api.stackRestore(saved);
    }
}

let wasmModule;  // compiled once: the page's instance and the worklet's

async function loadModule() {
    wasmModule = await engine.loadModule();
    api = engine.instantiate(wasmModule);
}

// --- ports: what the sound and the player's set-up are ----------------------

const ports = [];  // {symbol, name, min, max, start, properties, inSound}
const kInteger = 1, kToggled = 2;
let sent = [];  // the value each port had when last sent

function readPorts() {
    for (let i = 0; i < api.tvp_port_count(); ++i) {
        ports.push({
            symbol: text(api.tvp_port_symbol(i)),
            name: text(api.tvp_port_name(i)),
            min: api.tvp_port_info(i, 0),
            max: api.tvp_port_info(i, 1),
            start: api.tvp_port_info(i, 2),
            properties: api.tvp_port_info(i, 3),
            inSound: api.tvp_port_info(i, 4) === 1
        });
    }
}
const portIndex = (symbol) => ports.findIndex((p) => p.symbol === symbol);
const sentToSound = (i) =>
    ports[i].inSound || ['channel', 'sustain_pedal'].includes(ports[i].symbol);

// Sends whatever port changed since the last call.
function sendPorts() {
    for (let i = 0; i < ports.length; ++i) {
        const value = api.tvp_port(i);
        if (!sentToSound(i) || sent[i] === value) continue;
        sent[i] = value;
        audio.post({type: 'port', port: i, value});
    }
    showTitle();
}

function soundValues() {
    const values = {};
    ports.forEach((p, i) => {
        if (p.inSound) values[p.symbol] = api.tvp_port(i);
    });
    return values;
}

// A whole sound, every port it leaves out at its start.
function applySound(values, name) {
    const buffer = new Float32Array(api.memory.buffer, api.tvp_sound_buffer(), ports.length);
    for (const [symbol, value] of Object.entries(values)) buffer[portIndex(symbol)] = value;
    api.tvp_apply_sound();
    loaded(name);
}

// A sound loaded: what its name stands for from now on.
function loaded(name) {
    showAll();
    withString(name, (at) => api.tvp_commit(1, at));
    showTitle();
}

// A finished edit becomes a step back, as in the window.
function commitEdit() {
    if (controllerMoving) return;
    api.tvp_commit(0, 0);
    showTitle();
}

const soundName = () => text(api.tvp_sound_name());

function step(back) {
    if (api.tvp_step(back ? 1 : 0)) showAll();
    showTitle();
}

// --- the controls -----------------------------------------------------------

const controls = new Map();  // id -> element
const paramSliders = [], valueTexts = [], axisButtons = [], envelopeSliders = [];
const contexts = [];  // the three areas' 2D contexts
let enableBox;
let tip;

function makeControl(i) {
    const [id, kind, x, y, width, height, row] =
        [0, 1, 2, 3, 4, 5, 6].map((f) => api.tvp_control(i, f));
    const label = text(api.tvp_control_text(i));
    let e;
    const slider = (specKind) => {
        e = document.createElement('input');
        e.type = 'range';
        [e.min, e.max, e.value] = [0, 1, 2].map((f) => api.tvp_slider(specKind, row, f));
    };
    switch (kind) {
        case Kind.PortList:
            e = document.createElement('select');
            e.id = 'midi-ports';
            break;
        case Kind.ParamSlider:
            slider(0);
            e.addEventListener('input', () => moveParam(row));
            e.addEventListener('change', commitEdit);
            e.addEventListener('contextmenu', (event) => showLearnMenu(row, event));
            paramSliders[row] = e;
            break;
        case Kind.ValueText:
            e = document.createElement('span');
            e.className = 'text';
            valueTexts[row] = e;
            break;
        case Kind.AxisButton:
            e = document.createElement('button');
            e.className = 'axis';
            e.addEventListener('click', () => clickAxis(row));
            tipOn(e, () => text(api.tvp_axis_tip(row)));
            axisButtons[row] = e;
            break;
        case Kind.StaticText:
            e = document.createElement('span');
            e.className = 'text';
            e.textContent = label;
            break;
        case Kind.DrawingArea:
            e = document.createElement('canvas');
            e.width = width;
            e.height = height;
            contexts[kAreaIds.indexOf(id)] = e.getContext('2d');
            break;
        case Kind.EnableBox: {
            e = document.createElement('label');
            e.className = 'enable';
            enableBox = document.createElement('input');
            enableBox.type = 'checkbox';
            enableBox.addEventListener('click', clickEnable);
            e.append(enableBox, label);
            break;
        }
        case Kind.EnvelopeSlider:
            slider(1);
            e.classList.add('vertical');
            e.addEventListener('input', () => moveEnvelope(row));
            e.addEventListener('change', commitEdit);
            e.addEventListener('contextmenu', (event) => showLearnMenu(kParamRows + row, event));
            tipOn(e, () => text(api.tvp_envelope_tip(row)), true);
            envelopeSliders[row] = e;
            break;
    }
    e.dataset.id = id;
    Object.assign(
        e.style, {left: `${x}px`, top: `${y}px`, width: `${width}px`, height: `${height}px`});
    controls.set(id, e);
    return e;
}

// A tooltip made when asked, as the window's: axis buttons say what a click
// would do now; envelope sliders follow their value while dragged.
function tipOn(e, make, follow = false) {
    let timer;
    const show = (event) => {
        tip.textContent = make();
        tip.hidden = false;
        // Kept inside the page, beside the pointer.
        const x = Math.min(event.clientX + 12, innerWidth - tip.offsetWidth - 4);
        tip.style.left = `${Math.max(0, x)}px`;
        tip.style.top = `${event.clientY + 16}px`;
    };
    e.addEventListener('pointerenter', (event) => {
        timer = setTimeout(() => show(event), 700);
    });
    e.addEventListener('pointerleave', () => {
        clearTimeout(timer);
        tip.hidden = true;
    });
    e.addEventListener('pointerdown', () => {
        clearTimeout(timer);
        tip.hidden = true;
    });
    if (follow)
        e.addEventListener('input', () => {
            if (!tip.hidden || e.matches(':active')) tip.textContent = make();
        });
    if (follow)
        e.addEventListener('pointermove', (event) => {
            if (event.buttons & 1) show(event);
        });
}

function drawArea(area) {
    const width = api.tvp_picture_width(area), height = api.tvp_picture_height(area);
    const pixels =
        new Uint8ClampedArray(api.memory.buffer, api.tvp_picture(area), width * height * 4);
    contexts[area].putImageData(new ImageData(new Uint8ClampedArray(pixels), width, height), 0, 0);
}

function showAxisTexts() {
    for (let id = kXFromText; id <= kYLabel; ++id)
        controls.get(id).textContent = text(api.tvp_axis_text(id - kXFromText));
    enableBox.checked = api.tvp_enable_ticked() === 1;
}

function showAll() {
    paramSliders.forEach((s, row) => {
        s.value = api.tvp_param_position(row);
        valueTexts[row].textContent = text(api.tvp_value_text(row));
    });
    envelopeSliders.forEach((s, k) => {
        s.value = api.tvp_envelope_position(k);
    });
    showAxisTexts();
    for (let area = 0; area < 3; ++area) drawArea(area);
    sendPorts();
}

// Page Up and Page Down step ten positions, as the window's sliders do.
function pageStep(event) {
    const step = {PageUp: 10, PageDown: -10}[event.key];
    if (!step || event.target.type !== 'range') return;
    event.preventDefault();
    const s = event.target;
    s.value = Math.min(Number(s.max), Math.max(Number(s.min), Number(s.value) + step));
    s.dispatchEvent(new Event('input'));
    s.dispatchEvent(new Event('change'));
}

// The wheel steps a slider as the window's: three steps a notch (the
// toolkit's scroll lines), a page of ten with Ctrl or Shift, at most a page
// a turn; less than a step is kept for the next turn the same way.
const wheelRests = new Map();
function wheelStep(event) {
    const s = event.target;
    if (s.type !== 'range') return;
    event.preventDefault();
    // Notches, up or right forward, as the toolkit counts them (the legacy
    // counts are 120 a notch); a browser turns a wheel with Shift sideways.
    let [x, y] = event.wheelDeltaY || event.wheelDeltaX ?
        [-event.wheelDeltaX / 120, event.wheelDeltaY / 120] :
        [event.deltaX, -event.deltaY].map((d) => d / [100, 3, 1][event.deltaMode]);
    if (event.shiftKey && !y) [x, y] = [0, -x];
    const notches = y || x;
    const page = (steps) => Math.min(10, Math.max(-10, Math.trunc(steps)));
    let rest = wheelRests.get(s) ?? 0;
    let steps;
    if (event.ctrlKey || event.shiftKey) {
        steps = page(notches * 10);
        rest = 0;
    } else {
        rest = rest * notches < 0 ? 3 * notches : rest + 3 * notches;
        steps = page(rest);
        rest -= Math.trunc(rest);
    }
    const value = Number(s.value);
    s.value = value + steps;
    // At an end there is nothing to keep.
    if (Number(s.value) === value) {
        const end = rest > 0 ? Number(s.max) : Number(s.min);
        wheelRests.set(s, steps === 0 && value !== end ? rest : 0);
        return;
    }
    wheelRests.set(s, rest);
    s.dispatchEvent(new Event('input'));
    s.dispatchEvent(new Event('change'));
}

function moveParam(row) {
    api.tvp_move_param(row, Number(paramSliders[row].value));
    valueTexts[row].textContent = text(api.tvp_value_text(row));
    drawArea(0);
    drawArea(1);
    sendPorts();
}

function moveEnvelope(k) {
    api.tvp_move_envelope(k, Number(envelopeSliders[k].value));
    sendPorts();
}

function clickAxis(row) {
    api.tvp_axis_click(row);
    showAxisTexts();
    sendPorts();
    commitEdit();
}

function clickEnable() {
    enableBox.checked = api.tvp_click_enable(enableBox.checked ? 1 : 0) === 1;
    showAxisTexts();
    sendPorts();
    commitEdit();
}

// The pad: a press on it keeps the pointer; a drag begun beside it still
// reaches it while the pointer is over it.
function wirePad() {
    const pad = controls.get(kPadId);
    const at = (event) => {
        const r = pad.getBoundingClientRect();
        return [Math.floor(event.clientX - r.left), Math.floor(event.clientY - r.top)];
    };
    const over = ([x, y]) => x >= 0 && x < kPadExtent && y >= 0 && y < kPadExtent;
    pad.addEventListener('pointerdown', (event) => {
        if (event.button !== 0) return;
        pad.setPointerCapture(event.pointerId);
        api.tvp_pad_press(...at(event));
    });
    document.addEventListener('pointermove', (event) => {
        const p = at(event);
        if (!(event.buttons & 1) || !(pad.hasPointerCapture(event.pointerId) || over(p)) ||
            !over(p))
            return;
        if (api.tvp_pad_move(...p)) drawArea(2);
        sendPorts();
    });
    document.addEventListener('pointerup', (event) => {
        if (event.button !== 0 || !(pad.hasPointerCapture(event.pointerId) || over(at(event))))
            return;
        api.tvp_pad_release();
        commitEdit();
    });
}

// --- the sound as the worklet plays it ----------------------------------------

// The audio side starts at the first key or click, as browsers allow; MIDI
// sent before waits for it, and it gets every port as the page has them then.
const audio = {
    engine: null,
    waiting: [],
    starting: null,
    post(message) {
        if (this.engine)
            this.engine.node.port.postMessage(message);
        else if (message.type !== 'port')
            this.waiting.push(message);
    },
    start() {
        if (this.starting) {
            this.engine?.resume();
            return this.starting;
        }
        this.starting =
            engine.createEngine(wasmModule)
                .then((e) => {
                    this.engine = e;
                    sent = [];
                    sendPorts();
                    this.waiting.forEach((m) => this.post(m));
                    this.waiting = [];
                    e.onState = heard;
                    showAbout.rate = e.context.sampleRate;
                    return e.resume();
                })
                .catch((error) => {
                    this.starting = null;
                    message('Sound', `The sound cannot start: ${error.message ?? error}`);
                });
        return this.starting;
    },
};

// What the worklet reports: the note rules' gate text, and the parameters
// a running trajectory moves, which the displays follow.
const kGateTexts = ['', 'Off', 'On'];
let followed = '';
function heard(state) {
    followControllers(state);
    status(1, kGateTexts[state.gate] ?? '');
    const params = state.params.join();
    if (!enableBox.checked || params === followed) return;
    followed = params;
    api.tvp_follow_params(...state.params);
    drawArea(0);
    drawArea(1);
}

function midi(bytes) {
    audio.start();
    audio.post({type: 'midi', bytes: Array.from(bytes)});
}

// --- sliders that follow learned MIDI controllers, as the window's ---------------

let learning = -1;  // the slider waiting for a controller
let seenMoves = 0;
let controllerMoving = false;  // a learned slider follows: no step back yet
// Every controller starts at 0; a slider moves when its controller's value
// changes or its controller is the one just moved.
const followedValues = new Array(kLearnSliders).fill(0);

const learnSlider = (k) => (k < kParamRows ? paramSliders[k] : envelopeSliders[k - kParamRows]);

function showLearnMenu(k, event) {
    event.preventDefault();
    event.stopPropagation();
    const menu = $('#learn-menu');
    const [learn, forget] = menu.querySelectorAll('button');
    const learned = api.tvp_learned(k);
    forget.textContent = learned < 0 ? 'Forget' : `Forget controller ${learned}`;
    forget.disabled = learned < 0;
    learn.onclick = () => {
        learning = k;
    };
    forget.onclick = () => {
        api.tvp_forget(k);
        keepLearned();
    };
    Object.assign(menu.style, {left: `${event.clientX}px`, top: `${event.clientY}px`});
    menu.classList.add('open');
}

function wireLearnMenu() {
    const menu = $('#learn-menu');
    const close = () => menu.classList.remove('open');
    document.addEventListener('click', close);
    document.addEventListener('pointerdown', (event) => {
        if (!menu.contains(event.target)) close();
    });
    // Escape closes the menu first, then cancels a learn that waits.
    document.addEventListener('keydown', (event) => {
        if (event.key !== 'Escape' || document.querySelector('dialog[open]')) return;
        if (menu.classList.contains('open'))
            close();
        else if (learning >= 0)
            learning = -1;
    });
}

// The next controller moved after a learn is asked for is the slider's; a
// learned slider moves to its controller's value as a drag would move it,
// and becomes one step back once the controller rests.
function followControllers(state) {
    if (state.controllerMoves === seenMoves) {
        if (controllerMoving) {
            controllerMoving = false;
            commitEdit();
        }
        return;
    }
    seenMoves = state.controllerMoves;
    if (learning >= 0 && api.tvp_learn(learning, state.controller)) {
        followedValues[learning] = -1;
        learning = -1;
        keepLearned();
    }
    for (let k = 0; k < kLearnSliders; ++k) {
        const controller = api.tvp_learned(k);
        const value = state.controllerValues[controller];
        if (controller < 0 || (value === followedValues[k] && controller !== state.controller))
            continue;
        followedValues[k] = value;
        controllerMoving = true;
        const s = learnSlider(k);
        s.value = api.tvp_learned_position(k, followedValues[k]);
        s.dispatchEvent(new Event('input'));
    }
}

// Kept beside the channel and the pedal.
function keepLearned() {
    const learned = Array.from({length: kLearnSliders}, (_, k) => api.tvp_learned(k));
    keepPlayerSetup({...playerSetup(), learned});
}

// --- the computer keyboard, laid out as the window's --------------------------

const kLowestC = 48, kLowestOctave = -4, kHighestOctave = 4;
const kPlayingKeys = {
    KeyZ: 0,
    KeyS: 1,
    KeyX: 2,
    KeyD: 3,
    KeyC: 4,
    KeyV: 5,
    KeyG: 6,
    KeyB: 7,
    KeyH: 8,
    KeyN: 9,
    KeyJ: 10,
    KeyM: 11,
    Comma: 12,
    KeyL: 13,
    Period: 14,
    Semicolon: 15,
    Slash: 16,
    KeyQ: 12,
    Digit2: 13,
    KeyW: 14,
    Digit3: 15,
    KeyE: 16,
    KeyR: 17,
    Digit5: 18,
    KeyT: 19,
    Digit6: 20,
    KeyY: 21,
    Digit7: 22,
    KeyU: 23,
    KeyI: 24,
    Digit9: 25,
    KeyO: 26,
    Digit0: 27,
    KeyP: 28,
};
const held = new Map();  // key code -> note
let octave = 0;

// The keys play whatever channel the player chose, as the window's keys do.
function key(status, note) {
    const channel = playerSetup().channel;
    midi([status | (channel > 0 ? channel - 1 : 0), note, 100]);
}

function releaseAll() {
    for (const note of held.values()) key(0x80, note);
    held.clear();
}

function wireKeyboard() {
    document.addEventListener('keydown', (event) => {
        if (document.querySelector('dialog[open]') || event.ctrlKey || event.altKey ||
            event.metaKey || event.shiftKey)
            return;
        if (event.code === 'Minus' || event.code === 'Equal') {
            if (!event.repeat)
                octave = Math.min(
                    kHighestOctave,
                    Math.max(kLowestOctave, octave + (event.code === 'Minus' ? -1 : 1)));
            event.preventDefault();
            return;
        }
        const semitone = kPlayingKeys[event.code];
        if (semitone === undefined) return;
        event.preventDefault();
        if (event.repeat || held.has(event.code)) return;
        held.set(event.code, kLowestC + 12 * octave + semitone);
        key(0x90, held.get(event.code));
    });
    // Wherever the focus went meanwhile, the key's note ends.
    document.addEventListener('keyup', (event) => {
        if (!held.has(event.code)) return;
        key(0x80, held.get(event.code));
        held.delete(event.code);
    });
    window.addEventListener('blur', releaseAll);
    document.addEventListener('visibilitychange', () => {
        if (document.hidden) releaseAll();
    });
    document.addEventListener('pointerdown', () => audio.start(), {capture: true});
}

// --- Web MIDI inputs, where the window lists its ports ---------------------------

let midiAccess = null;
let midiInput = null;

async function wireMidi() {
    const list = controls.get(2);
    const none = (why) => {
        list.replaceChildren(new Option(why, ''));
        list.title = why;
        status(0, 'No MIDI IN');
    };
    if (!navigator.requestMIDIAccess) return none('This browser offers no MIDI inputs');
    try {
        midiAccess = await navigator.requestMIDIAccess();
    } catch (error) {
        return none(`MIDI refused: ${error.message || error.name}`);
    }
    const choose = (id) => {
        if (midiInput) midiInput.onmidimessage = null;
        midiInput = id ? midiAccess.inputs.get(id) ?? null : null;
        if (midiInput) midiInput.onmidimessage = (event) => midi(event.data);
        status(0, midiInput ? 'MIDI IN' : 'No MIDI IN');
    };
    const fill = () => {
        const inputs = [...midiAccess.inputs.values()];
        if (inputs.length === 0) {
            choose(null);
            return none('No MIDI inputs found');
        }
        const keep = midiInput && inputs.includes(midiInput) ? midiInput.id : inputs[0].id;
        list.replaceChildren(...inputs.map((i) => new Option(i.name, i.id, false, i.id === keep)));
        list.title =
            `MIDI input: the browser's MIDI inputs. Notes on channel ${channelText()} play.`;
        choose(keep);
    };
    list.addEventListener('change', () => choose(list.value));
    midiAccess.onstatechange = fill;
    fill();
}

// --- the status bar, Help and About -----------------------------------------------

function status(field, s) {
    document.querySelectorAll('#statusbar .status')[field].textContent = s;
}

function dialog(id) {
    const d = $(id);
    return new Promise((resolve) => {
        d.querySelectorAll('.buttons button').forEach((b) => {
            b.onclick = (e) => {
                e.preventDefault();
                d.close(b.value);
            };
        });
        d.onclose = () => resolve(d.returnValue === 'ok');
        d.returnValue = '';
        d.showModal();
    });
}

function message(title, body) {
    $('#message h3').textContent = title;
    $('#message p').textContent = body;
    return dialog('#message');
}

async function ask(title, label, suggestion) {
    $('#ask h3').textContent = title;
    $('#ask p').textContent = label;
    const input = $('#ask input');
    input.value = suggestion;
    input.onkeydown = (e) => {
        if (e.key === 'Enter') {
            e.preventDefault();
            $('#ask').close('ok');
        }
    };
    return (await dialog('#ask')) ? input.value : null;
}

function showAbout() {
    const rate = showAbout.rate ?? 44100;
    message(
        'About',
        `Tessivox v${text(api.tvp_version())}\nSound Synthesizer using 'SuperFormula'` +
            (rate !== 44100 ? `\nPlaying at ${rate.toFixed(0)} Hz` : ''));
}

const kPlayingText = `
The envelope: the sliders A, D, S and R set each note's attack, decay, sustain level and release. Their tooltips give the values.

MIDI: choose the keyboard's input in the list at the bottom right (the browser asks whether the page may use MIDI). Notes on channel 1 play, one at a time: a new key takes the pitch over, and the note is released when the last key is let go. The status bar shows whether an input is there and whether a note is held.

Playing (in the Sound menu): how the sound is played, saved with it: the tuning (whole-sample periods, the default, or exact pitch), the pitch bend range (0 to 24 semitones; 0, the default, ignores bends), the glide time (0 to 5 s, default 0) from the note sounding before to a new one, always or only between held keys, the velocity sensitivity (0 to 1, default 0: every note at full level; s gives a level of 1 - s + s (v / 127)^2), and the onset (after a fade, the default: every note starts after a 23 ms fade-out of what sounded; or at once when silent). Your own set-up, kept apart from sounds: the sustain pedal (controller 64; off by default) and the MIDI channel (1 by default, any, or 2 to 16).

MIDI learn: right-click a slider and choose "Learn MIDI controller", then move a knob or fader (any controller but the pedal, 120, 121 and 123): it drives that slider over its whole range from then on, also after a reload (kept in this browser), until you choose "Forget". Escape cancels a learn still waiting. Two sliders never share a controller.

The computer keyboard plays too, while this page has the focus: the bottom letter row from C3 (Z is C, S C#, X D, D D#, C E, V F, ...) and the row from Q an octave higher, with the digits as its black keys. '-' and '=' move both rows an octave down and up. A key held is a note held; leaving the page lets the notes go. The sound starts with the first key or click.

Sounds: the Sound menu starts a new sound, opens the factory sounds and your own, and saves and deletes your own, kept in this browser. "Copy link" puts the sound in the page's address, to share: whoever opens the link gets the same sound. "Download" gives the sound as an LV2 preset bundle (a .zip): unpacked into ~/.lv2 it is a sound of the Tessivox program, of the plugin in your DAW and of tessivox-render.`;

function showHelp(body) {
    $('#help pre').textContent = body.trim();
    dialog('#help');
}

// --- sounds: factory, the browser's storage, links and preset bundles --------------

const kSoundsKey = 'tessivox.sounds';
const kPlayerKey = 'tessivox.player';
const kLastSession = 'Last session';

// The sound as the page is left is kept, as the window keeps it at quit.
function keepLastSession() {
    const own = userSounds();
    own[kLastSession] = soundValues();
    try {
        localStorage.setItem(kSoundsKey, JSON.stringify(own));
    } catch {
        // A full storage keeps what it had.
    }
}

function showTitle() {
    document.title = text(api.tvp_title());
    document.querySelector('[data-item=undo]').disabled = !api.tvp_can_step(1);
    document.querySelector('[data-item=redo]').disabled = !api.tvp_can_step(0);
}

function userSounds() {
    try {
        const kept = JSON.parse(localStorage.getItem(kSoundsKey) ?? '{}');
        return kept && typeof kept === 'object' ? kept : {};
    } catch {
        return {};
    }
}

function factoryNames() {
    return Array.from({length: api.tvp_factory_count()}, (_, i) => text(api.tvp_factory_label(i)));
}

function loadFactory(i) {
    api.tvp_apply_factory(i);
    loaded(factoryNames()[i]);
}

// Values that all may stand in a sound, or why not; nothing is applied half.
function checkedSound(pairs) {
    const values = {};
    for (const [symbol, written] of pairs) {
        const i = portIndex(symbol);
        if (i < 0 || !ports[i].inSound) return {error: `'${symbol}' is no port of a sound`};
        if (symbol in values) return {error: `'${symbol}' is given twice`};
        if (!/^[-+]?(\d+\.?\d*|\.\d+)([eE][-+]?\d+)?$/.test(written))
            return {error: `${symbol}: '${written}' is not a number`};
        const value = Math.fround(Number(written));
        if (!api.tvp_port_accepts(i, value)) {
            const whole = ports[i].properties & (kInteger | kToggled) ? 'a whole number ' : '';
            return {
                error: `${symbol} = ${written}: ${symbol} takes ${whole}from ${ports[i].min} to ${
                    ports[i].max}`
            };
        }
        values[symbol] = value;
    }
    return {values};
}

async function openSound() {
    const list = $('#open select');
    const own = userSounds();
    const group = (label, names, tag) => {
        const g = document.createElement('optgroup');
        g.label = label;
        names.forEach(
            (n, i) =>
                g.append(new Option(n, `${tag}:${tag === 'f' ? i : n}`, false, n === soundName())));
        return g;
    };
    // The last session's sound first, above the headings.
    list.replaceChildren();
    if (kLastSession in own)
        list.append(new Option(kLastSession, `u:${kLastSession}`, false, false));
    list.append(group('Factory sounds', factoryNames(), 'f'));
    const names = Object.keys(own).filter((n) => n !== kLastSession).sort();
    if (names.length) list.append(group('Your sounds', names, 'u'));
    list.ondblclick = () => {
        if (list.value) $('#open').close('ok');
    };
    if (!(await dialog('#open')) || !list.value) return;
    const [tag, key] = [list.value.slice(0, 1), list.value.slice(2)];
    if (tag === 'f') return loadFactory(Number(key));
    const checked = checkedSound(Object.entries(own[key] ?? {}).map(([s, v]) => [s, String(v)]));
    if (checked.error) return message('Load sound', `'${key}' cannot be loaded: ${checked.error}`);
    applySound(checked.values, key);
}

async function saveSound(askName) {
    let name = soundName();
    if (askName || !name || factoryNames().includes(name)) {
        name = await ask('Save sound', 'Save the sound as:', name);
        if (name === null) return;
    }
    const problem = withString(name, (at) => text(api.tvp_make_bundle(at)));
    if (problem) return message('Save sound', problem);
    if (factoryNames().includes(name))
        return message('Save sound', `'${name}' is a factory sound: choose another name`);
    const own = userSounds();
    if (name in own && (askName || name !== soundName()) &&
        !(await confirmBox('Save sound', `A sound named \u201c${name}\u201d exists. Replace it?`)))
        return;
    own[name] = soundValues();
    try {
        localStorage.setItem(kSoundsKey, JSON.stringify(own));
    } catch (error) {
        return message(
            'Save sound', `cannot save '${name}' in this browser's storage: ${error.message}`);
    }
    withString(name, (at) => api.tvp_rename(at));
    showTitle();
}

async function deleteSound() {
    const own = userSounds();
    const name = soundName();
    if (!(name in own))
        return message('Delete sound', `cannot delete '${name}': no sound of yours has this name`);
    if (!(await confirmBox('Delete sound', `Delete the sound \u201c${name}\u201d?`))) return;
    delete own[name];
    localStorage.setItem(kSoundsKey, JSON.stringify(own));
    api.tvp_rename(0);
    showTitle();
}

async function confirmBox(title, question) {
    $('#ask h3').textContent = title;
    $('#ask p').textContent = question;
    $('#ask input').hidden = true;
    try {
        return await dialog('#ask');
    } finally {
        $('#ask input').hidden = false;
    }
}

// The shortest decimal that reads back as the same float.
function floatText(value) {
    for (let digits = 1; digits < 10; ++digits) {
        const s = Number(value.toPrecision(digits));
        if (Math.fround(s) === value) return String(s);
    }
    return String(value);
}

function soundLink() {
    const values = soundValues();
    const pairs = Object.entries(values).map(([s, v]) => `${s}=${floatText(v)}`);
    return `${location.origin}${location.pathname}#${pairs.join('&')}`;
}

// A sound in the address: applied whole, or refused with a message.
function openLink() {
    const hash = location.hash.slice(1);
    if (!hash) return false;
    const pairs = hash.split('&').map((p) => {
        const at = p.indexOf('=');
        return at < 0 ? [decodeURIComponent(p), ''] :
                        [decodeURIComponent(p.slice(0, at)), decodeURIComponent(p.slice(at + 1))];
    });
    const checked = checkedSound(pairs);
    if (checked.error) {
        message('Shared sound', `The sound in this link is not used: ${checked.error}`);
        return false;
    }
    applySound(checked.values, '');
    return true;
}

async function copyLink() {
    const link = soundLink();
    history.replaceState(null, '', link);
    try {
        await navigator.clipboard.writeText(link);
        message('Copy link', 'The link to this sound is copied; it is in the address too.');
    } catch {
        message('Copy link', `The link to this sound is in the address:\n${link}`);
    }
}

// --- the preset bundle as a .zip (stored, not compressed) --------------------------

const crcTable = Array.from({length: 256}, (_, n) => {
    let c = n;
    for (let k = 0; k < 8; ++k) c = c & 1 ? 0xedb88320 ^ (c >>> 1) : c >>> 1;
    return c >>> 0;
});
function crc32(bytes) {
    let c = 0xffffffff;
    for (const b of bytes) c = crcTable[(c ^ b) & 0xff] ^ (c >>> 8);
    return (c ^ 0xffffffff) >>> 0;
}

function zip(files) {
    const encoder = new TextEncoder();
    const parts = [], central = [];
    let offset = 0;
    const header = (size) => new DataView(new ArrayBuffer(size));
    for (const [path, body] of files) {
        const name = encoder.encode(path), data = encoder.encode(body), crc = crc32(data);
        const local = header(30);
        [[0, 0x04034b50, 4], [4, 10, 2], [14, crc, 4], [18, data.length, 4], [22, data.length, 4],
         [26, name.length, 2]]
            .forEach(
                ([at, v, n]) =>
                    (n === 4 ? local.setUint32(at, v, true) : local.setUint16(at, v, true)));
        const entry = header(46);
        [[0, 0x02014b50, 4], [4, 20, 2], [6, 10, 2], [16, crc, 4], [20, data.length, 4],
         [24, data.length, 4], [28, name.length, 2], [38, 0o100644 << 16, 4], [42, offset, 4]]
            .forEach(
                ([at, v, n]) =>
                    (n === 4 ? entry.setUint32(at, v >>> 0, true) : entry.setUint16(at, v, true)));
        parts.push(local, name, data);
        central.push(entry, name);
        offset += 30 + name.length + data.length;
    }
    const size = central.reduce((n, p) => n + p.byteLength, 0);
    const end = header(22);
    [[0, 0x06054b50, 4], [8, files.length, 2], [10, files.length, 2], [12, size, 4],
     [16, offset, 4]]
        .forEach(
            ([at, v, n]) => (n === 4 ? end.setUint32(at, v, true) : end.setUint16(at, v, true)));
    return new Blob([...parts, ...central, end], {type: 'application/zip'});
}

// The sound as an LV2 preset bundle, named as the window names its own.
async function download() {
    const name = await ask('Download', 'Name of the sound:', soundName() || 'My sound');
    if (name === null) return;
    const problem = withString(name, (at) => text(api.tvp_make_bundle(at)));
    if (problem) return message('Download', problem);
    const [folder, file, preset, manifest, manifestText] =
        [0, 1, 2, 3, 4].map((k) => text(api.tvp_bundle_file(k)));
    const a = document.createElement('a');
    a.href = URL.createObjectURL(
        zip([[`${folder}/${manifest}`, manifestText], [`${folder}/${file}`, preset]]));
    a.download = `${folder}.zip`;
    a.click();
    setTimeout(() => URL.revokeObjectURL(a.href), 10000);
}

// --- the Playing dialog, from the port table -----------------------------------------

const kSoundPlayingPorts =
    ['tuning', 'bend_range', 'glide_time', 'glide_mode', 'velocity', 'onset'];

// The learned controllers as stored: the module takes only those a slider may follow.
function playerSetup() {
    let p;
    try {
        p = JSON.parse(localStorage.getItem(kPlayerKey) ?? '{}') ?? {};
    } catch {
        p = {};
    }
    const channel =
        Number.isInteger(p.channel) && p.channel >= 0 && p.channel <= 16 ? p.channel : 1;
    const learned = Array.from(
        {length: kLearnSliders}, (_, k) => (Number.isInteger(p.learned?.[k]) ? p.learned[k] : -1));
    return {channel, sustainPedal: p.sustainPedal === true, learned};
}

function keepPlayerSetup(setup) {
    try {
        localStorage.setItem(kPlayerKey, JSON.stringify(setup));
    } catch {
        // A full storage keeps what it had.
    }
}

function applyPlayerSetup(setup) {
    api.tvp_set_port(portIndex('channel'), setup.channel);
    api.tvp_set_port(portIndex('sustain_pedal'), setup.sustainPedal ? 1 : 0);
    sendPorts();
}

const channelText = () => (playerSetup().channel === 0 ? 'any channel' : playerSetup().channel);

async function showPlaying() {
    const form = $('#playing .form');
    form.replaceChildren();
    const reads = kSoundPlayingPorts.map((symbol) => {
        const i = portIndex(symbol), p = ports[i], value = api.tvp_port(i);
        const labels =
            Array.from({length: 4}, (_, k) => text(api.tvp_choice_label(i, k))).filter(Boolean);
        let e;
        if (labels.length) {
            e = document.createElement('select');
            e.append(...labels.map((l, k) => new Option(l, k, false, k === value)));
        } else {
            e = document.createElement('input');
            e.type = 'number';
            e.min = p.min;
            e.max = p.max;
            e.step = p.properties & kInteger ? 1 : symbol === 'glide_time' ? 0.01 : 0.05;
            e.value = p.properties & kInteger ? value : value.toFixed(3);
        }
        const label = document.createElement('label');
        label.textContent = p.name;
        form.append(label, e);
        return () => [i, Number(e.value)];
    });
    const setup = playerSetup();
    $('#pedal').checked = setup.sustainPedal;
    $('#channel')
        .replaceChildren(
            new Option('Any', 0), ...Array.from({length: 16}, (_, k) => new Option(k + 1, k + 1)));
    $('#channel').value = setup.channel;
    if (!(await dialog('#playing'))) return;
    for (const read of reads) {
        const [i, value] = read();
        if (Number.isFinite(value)) api.tvp_set_port(i, value);
    }
    const next = {
        ...setup,
        channel: Number($('#channel').value),
        sustainPedal: $('#pedal').checked
    };
    // Keys the pedal held would never end once it no longer counts.
    if (setup.sustainPedal && !next.sustainPedal) midi([0xb0, 64, 0]);
    keepPlayerSetup(next);
    applyPlayerSetup(next);
    commitEdit();
}

// --- the menus -------------------------------------------------------------------------

function wireMenus() {
    const items = {
        new: () => applySound({}, ''),
        open: openSound,
        save: () => saveSound(false),
        'save-as': () => saveSound(true),
        delete: deleteSound,
        undo: () => step(true),
        redo: () => step(false),
        playing: showPlaying,
        link: copyLink,
        download,
        about: showAbout,
        help: () => showHelp(text(api.tvp_help_text())),
        'playing-help': () => showHelp(kPlayingText),
    };
    const menus = document.querySelectorAll('.menu');
    const closeAll = () => menus.forEach((m) => m.classList.remove('open'));
    menus.forEach((m) => m.querySelector('.menu-title').addEventListener('click', (event) => {
        event.stopPropagation();
        const open = m.classList.contains('open');
        closeAll();
        m.classList.toggle('open', !open);
    }));
    document.querySelectorAll('.menu-items button[data-item]')
        .forEach((b) => b.addEventListener('click', () => {
            closeAll();
            items[b.dataset.item]();
        }));
    document.addEventListener('click', closeAll);
    document.addEventListener('keydown', (event) => {
        if (!event.ctrlKey || event.altKey || event.code !== 'KeyZ' ||
            document.querySelector('dialog[open]'))
            return;
        event.preventDefault();
        step(!event.shiftKey);
    });
}

// --- start ------------------------------------------------------------------------------

async function main() {
    await loadModule();
    readPorts();
    api.tvp_start();
    tip = document.createElement('div');
    tip.id = 'tip';
    tip.hidden = true;
    document.body.append(tip);
    const client = $('#client');
    for (let i = 0; i < api.tvp_control_count(); ++i) client.append(makeControl(i));
    wirePad();
    client.addEventListener('keydown', pageStep);
    client.addEventListener('wheel', wheelStep, {passive: false});
    wireLearnMenu();
    playerSetup().learned.forEach((controller, k) => api.tvp_learn(k, controller));
    // The free background has the sound menu, as the window's.
    client.addEventListener('contextmenu', (event) => {
        if (event.target !== client) return;
        event.preventDefault();
        event.stopPropagation();
        document.querySelector('.menu').classList.add('open');
    });
    wireKeyboard();
    wireMenus();
    applyPlayerSetup(playerSetup());
    if (!openLink()) showAll();
    window.addEventListener('pagehide', keepLastSession);
    window.addEventListener('hashchange', () => {
        if (location.hash.length > 1 && location.href !== soundLink()) openLink();
    });
    document.body.dataset.ready = '1';
    // The browser may ask the user first: the page plays meanwhile.
    wireMidi();
}

main().catch((error) => message('Tessivox', `The page cannot start: ${error.message ?? error}`));

// For the tests and the curious: the page's own module and state.
window.tessivox = {
    get api() { return api; },
    ports,
    audio,
    soundLink,
    applySound,
    soundValues,
    loadFactory
};
