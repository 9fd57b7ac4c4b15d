// The synthesizer's sound for a page, in a few calls:
//
//   import {loadModule, instantiate, createEngine} from './engine.js';
//   const module = await loadModule();            // tessivox.wasm beside this file
//   const wasm = instantiate(module);             // the page's own instance (pictures,
//                                                 // editor rules): its exports
//   const ports = portIndex(wasm);                // {m: 2, n1: 3, ...}: port symbols
//                                                 // (as in presets) to indices
//   const engine = await createEngine(module);    // an AudioContext at the device's
//                                                 // rate, the worklet, the node
//   engine.setPort(port, value);                  // a control port, the plugin's index
//   engine.midi([0x90, 60, 100]);                 // a MIDI message, at the next quantum
//   engine.midi(bytes, frame);                    // ... before an absolute frame
//   engine.onState = (s) => {...};               // ~30 times a second while set:
//                                                 // {params[6], gate (0 none, 1 Off,
//                                                 // 2 On), count (of messages), latency,
//                                                 // controller (moved last, -1 none),
//                                                 // controllerValue, controllerMoves,
//                                                 // controllerValues[128], frame, gaps
//                                                 // (the context fell behind)}
//   await engine.resume();                        // after a key or a click
//
// createEngine(module, {context}) uses a given context (an OfflineAudioContext
// too); engine.node is the AudioWorkletNode, connected to the destination.
// poll() and playFile() reject with the reason when the worklet fails.
// The module's memory grows when a call needs more (tv_alloc, a MIDI file
// read): views of wasm.memory.buffer are made again after such calls.

const here = new URL('.', import.meta.url);

export async function loadModule(url = new URL('tessivox.wasm', here)) {
    const response = await fetch(url);
    if (!response.ok) throw new Error(`cannot load ${url}: ${response.status}`);
    return WebAssembly.compile(await response.arrayBuffer());
}

// An instance whose imports do nothing: the module calls none in use.
export function instantiate(module) {
    const imports = {};
    for (const i of WebAssembly.Module.imports(module)) {
        if (i.kind === 'function') (imports[i.module] ??= {})[i.name] = () => 0;
    }
    const exports = new WebAssembly.Instance(module, imports).exports;
    exports._initialize();
    return exports;
}

// The plugin's port indices by their symbols.
export function portIndex(wasm) {
    const index = {};
    for (let port = 0; port < wasm.tv_port_count(); ++port) {
        const heap = new Uint8Array(wasm.memory.buffer);
        const at = wasm.tv_port_symbol(port);
        index[String.fromCharCode(...heap.subarray(at, heap.indexOf(0, at)))] = port;
    }
    return index;
}

const pollMs = 33;

export async function createEngine(module, {context} = {}) {
    context ??= new AudioContext({latencyHint: 'interactive'});
    await context.audioWorklet.addModule(new URL('worklet.js', here));
    const node = new AudioWorkletNode(context, 'tessivox', {
        numberOfInputs: 0,
        numberOfOutputs: 1,
        outputChannelCount: [1],
        processorOptions: {module},
    });
    node.connect(context.destination);
    const waiting = new Map();  // answers by type
    let onState = null, timer = 0;
    node.port.onmessage = (e) => {
        const m = e.data;
        const resolve = waiting.get(m.type);
        if (resolve) {
            waiting.delete(m.type);
            resolve(m);
        }
        if (m.type === 'state' && onState) onState(m);
    };
    const ask = (message, answer = message.type) => new Promise((resolve) => {
        waiting.set(answer, resolve);
        node.port.postMessage(message);
    });
    return {
        context,
        node,
        setPort(port, value) { node.port.postMessage({type: 'port', port, value}); },
        midi(
            bytes,
            frame) { node.port.postMessage({type: 'midi', bytes: Array.from(bytes), frame}); },
        resume() { return context.resume(); },
        // One answer, as onState gets them.
        poll() { return ask({type: 'poll'}, 'state'); },
        // Plays a MIDI file's bytes as tessivox-render does; answers {ok, error,
        // length (frames the renderer writes), count}. `limit` false: the
        // samples as the renderer writes them without --clip.
        playFile(bytes, {limit = true} = {}) {
            node.port.postMessage({type: 'limit', on: limit});
            return ask({type: 'schedule', bytes});
        },
        get onState() { return onState; },
        set onState(f) {
            onState = f;
            clearInterval(timer);
            if (f) timer = setInterval(() => node.port.postMessage({type: 'poll'}), pollMs);
        },
    };
}
