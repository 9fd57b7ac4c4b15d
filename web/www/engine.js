// The synthesizer's sound for a page, in a few calls:
//
//   import {loadModule, instantiate, createEngine} from './engine.js';
//   const module = await loadModule();            // tessivox.wasm beside this file
//   const wasm = instantiate(module);             // the page's own instance (pictures,
//                                                 // editor rules): its exports
//   const engine = await createEngine(module);    // an AudioContext at the device's
//                                                 // rate, the worklet, the node
//   engine.setPort(port, value);                  // a control port, the plugin's index
//   engine.midi([0x90, 60, 100]);                 // a MIDI message, at the next quantum
//   engine.midi(bytes, frame);                    // ... before an absolute frame
//   engine.onState = (s) => {...};               // ~30 times a second while set:
//                                                 // {params[6], gate (0 none, 1 Off,
//                                                 // 2 On), count, latency, frame}
//   await engine.resume();                        // after a key or a click
//
// createEngine(module, {context}) uses a given context (an OfflineAudioContext
// too); engine.node is the AudioWorkletNode, connected to the destination.

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
        // One answer {params, gate, count, latency, frame, recorded}.
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
