// The synthesizer on the audio thread: the module's engine behind an
// AudioWorkletProcessor. The module comes compiled in processorOptions.module
// and is instantiated here, its imports stubbed (it calls none while it runs).
//
// Messages to the node's port:
//   {type: 'port', port, value}      a control port (the plugin's index)
//   {type: 'midi', bytes, frame?}    one MIDI message; with `frame` (absolute,
//                                    as currentFrame counts) it acts before that
//                                    frame, else at the start of the next quantum
//   {type: 'limit', on}              hold the output in [-1, 1] (the start) or not
//   {type: 'schedule', bytes}        play a MIDI file as tessivox-render does, from
//                                    a fresh engine, until {type: 'live'}; answers
//                                    {type: 'schedule', ok, error, length, count}
//   {type: 'record', frames}         from the next quantum on, a fresh engine; keep
//                                    `frames` of output and the frame each message
//                                    acted on
//   {type: 'poll'}                   answers {type: 'state', params, gate, count,
//                                    latency, controller, controllerValue,
//                                    controllerMoves, controllerValues (all 128),
//                                    frame, recorded, gaps, gapFrames}
//   {type: 'recording'}              answers {type: 'recording', samples, frames
//                                    (in the record), messages, acted (as currentFrame
//                                    counts)}
//   (anything that fails)            answers {type: 'error', message, about}
// Nothing is allocated in process(): the answers come from the message handler.

const kQueue = 1024;  // MIDI messages waiting for their frame
const kRecordMessages = 65536;

class TessivoxProcessor extends AudioWorkletProcessor {
    constructor(options) {
        super();
        const module = options.processorOptions.module;
        const imports = {};
        for (const i of WebAssembly.Module.imports(module)) {
            if (i.kind !== 'function') continue;
            (imports[i.module] ??= {})[i.name] = () => 0;
        }
        this.wasm = new WebAssembly.Instance(module, imports).exports;
        this.wasm._initialize();
        this.wasm.tv_init(sampleRate);
        this.views();
        this.queueFrame = new Float64Array(kQueue);
        this.queueEvent = new Uint32Array(kQueue);
        this.queueSize = new Uint8Array(kQueue);
        this.head = 0;
        this.tail = 0;
        this.schedule = false;
        this.recordWanted = 0;
        this.record = null;
        this.recordAt = 0;  // frames kept so far
        this.recordStart = 0;
        this.rendered = 0;  // frames this processor made: the record's clock
        this.nextFrame = -1;  // currentFrame expected at the next quantum
        this.gaps = 0;  // quanta after which the context's clock moved on further
        this.gapFrames = 0;
        this.recordMessages = 0;
        this.recordFrames = new Float64Array(kRecordMessages);
        this.recordEvents = new Uint32Array(kRecordMessages);
        this.recordActed = new Float64Array(kRecordMessages);
        this.port.onmessage = (e) => {
            try {
                this.take(e.data);
            } catch (error) {
                this.port.postMessage({type: 'error', message: String(error), about: e.data?.type});
            }
        };
    }

    // Views into the module's memory; made anew when a file read grew it.
    views() {
        const w = this.wasm;
        this.output =
            new Float32Array(w.memory.buffer, w.tv_output_buffer(), this.output?.length ?? 128);
    }

    take(m) {
        const w = this.wasm;
        switch (m.type) {
            case 'port':
                w.tv_set_port(m.port, m.value);
                break;
            case 'midi': {
                const b = m.bytes;
                const next = (this.tail + 1) % kQueue;
                if (!b || b.length === 0 || b.length > 3 || next === this.head) break;
                this.queueEvent[this.tail] = b[0] | (b[1] ?? 0) << 8 | (b[2] ?? 0) << 16;
                this.queueSize[this.tail] = b.length;
                this.queueFrame[this.tail] = Number.isFinite(m.frame) ? m.frame : -1;
                this.tail = next;
                break;
            }
            case 'limit':
                w.tv_set_device_limit(m.on ? 1 : 0);
                break;
            case 'schedule':
                this.readSchedule(m.bytes);
                break;
            case 'live':
                this.schedule = false;
                break;
            case 'record':
                this.record = new Float32Array(m.frames);
                this.recordWanted = m.frames;
                this.recordAt = -1;  // starts at the next quantum
                this.recordMessages = 0;
                break;
            case 'poll':
                this.port.postMessage({
                    type: 'state',
                    params: [0, 1, 2, 3, 4, 5].map((row) => w.tv_param(row)),
                    gate: w.tv_gate_text(),
                    count: w.tv_message_count(),
                    latency: w.tv_latency(),
                    controller: w.tv_last_controller(),
                    controllerValue: w.tv_controller_value(w.tv_last_controller()),
                    controllerMoves: w.tv_controller_moves(),
                    controllerValues:
                        Uint8Array.from({length: 128}, (_, c) => w.tv_controller_value(c)),
                    frame: currentFrame,
                    recorded: this.record ? Math.max(this.recordAt, 0) : 0,
                    gaps: this.gaps,
                    gapFrames: this.gapFrames,
                });
                break;
            case 'recording':
                this.port.postMessage({
                    type: 'recording',
                    samples: this.record ? this.record.slice(0, Math.max(this.recordAt, 0)) : null,
                    frames: this.recordFrames.slice(0, this.recordMessages),
                    messages: this.recordEvents.slice(0, this.recordMessages),
                    acted: this.recordActed.slice(0, this.recordMessages),
                });
                break;
        }
    }

    readSchedule(bytes) {
        const w = this.wasm;
        const data = new Uint8Array(bytes);
        const at = w.tv_alloc(data.length);
        let ok = 0;
        if (at !== 0) {
            new Uint8Array(w.memory.buffer, at, data.length).set(data);
            ok = w.tv_read_midi_file(at, data.length, sampleRate);
            w.tv_free(at);
        }
        this.views();
        let error = '';
        if (at === 0) {
            error = 'not enough memory to read the file';
        } else if (!ok) {
            // No TextDecoder in a worklet.
            const heap = new Uint8Array(w.memory.buffer);
            for (let p = w.tv_error(); heap[p] !== 0; ++p) error += String.fromCharCode(heap[p]);
            try {
                error = decodeURIComponent(escape(error));
            } catch {
                // not UTF-8: as it is
            }
        }
        this.schedule = ok === 1;
        if (this.schedule) w.tv_schedule_start();
        this.port.postMessage({
            type: 'schedule',
            ok: this.schedule,
            error,
            length: ok ? w.tv_schedule_length() : 0,
            count: ok ? w.tv_schedule_count() : 0,
        });
    }

    process(inputs, outputs) {
        const out = outputs[0] && outputs[0][0];
        if (!out) return true;
        const w = this.wasm;
        const n = out.length;
        if (this.output.length !== n)
            this.output = new Float32Array(w.memory.buffer, w.tv_output_buffer(), n);
        if (this.schedule) {
            w.tv_schedule_render(n);
            out.set(this.output);
            return true;
        }
        // Frames the context skipped (it fell behind) never reach this
        // processor: the record counts the frames made here.
        const start = currentFrame;
        if (this.nextFrame >= 0 && start !== this.nextFrame) {
            ++this.gaps;
            this.gapFrames += start - this.nextFrame;
        }
        this.nextFrame = start + n;
        if (this.recordAt < 0) {
            w.tv_restart();  // a fresh engine, as the renderer starts one
            this.recordAt = 0;
            this.recordStart = this.rendered;
        }
        let done = 0;
        // In the order they came: one that waits for a later quantum holds
        // back those behind it, and a late one acts at once.
        while (this.head !== this.tail) {
            const f = this.queueFrame[this.head];
            if (f >= start + n) break;
            const when = f <= start + done ? done : f - start;
            if (when > done) {
                w.tv_render(done, when - done);
                done = when;
            }
            w.tv_midi_event(this.queueEvent[this.head], this.queueSize[this.head]);
            if (this.record && this.recordMessages < kRecordMessages &&
                this.recordAt < this.recordWanted) {
                this.recordActed[this.recordMessages] = start + done;
                this.recordFrames[this.recordMessages] = this.rendered + done - this.recordStart;
                this.recordEvents[this.recordMessages++] = this.queueEvent[this.head];
            }
            this.head = (this.head + 1) % kQueue;
        }
        if (done === 0)
            w.tv_render(0, n);
        else if (done < n)
            w.tv_render(done, n - done);
        out.set(this.output);
        this.rendered += n;
        if (this.record && this.recordAt < this.recordWanted) {
            const keep = Math.min(n, this.recordWanted - this.recordAt);
            if (keep === n)
                this.record.set(this.output, this.recordAt);
            else
                for (let k = 0; k < keep; ++k) this.record[this.recordAt + k] = this.output[k];
            this.recordAt += keep;
        }
        return true;
    }
}

registerProcessor('tessivox', TessivoxProcessor);
