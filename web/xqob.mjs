// QOB pictures in JavaScript: header information, decoding and encoding through the xqob
// library built for WebAssembly. The same file runs in a page, in a module Worker and in
// Node 18 or later; it loads xqob-simd.wasm (or, on an engine without WebAssembly SIMD,
// xqob.wasm) from beside itself, once, on the first call.
//
//   import { info, decode, encode } from "./xqob.mjs";
//   const { width, height, data } = await decode(bytes);          // RGBA, ready for ImageData
//   const file = await encode(data, width, height, { quality: 90 });

const FORMATS = { gray: 1, rgb: 2, rgba: 3 };
const BYTES_PER_PIXEL = { gray: 1, rgb: 3, rgba: 4 };
const MESSAGE_BYTES = 256;
const OUT_WORDS = 8;
const ENOSYS = 52;

// A module that uses one SIMD instruction: it validates only where the engine runs them.
const SIMD_PROBE = new Uint8Array([
    0, 97, 115, 109, 1, 0, 0, 0, 1, 5, 1, 96, 0, 1, 123, 3, 2, 1, 0, 10, 10, 1, 8, 0, 65, 0,
    253, 15, 253, 98, 11,
]);

let loading = null;

/** True where the engine runs WebAssembly SIMD, and xqob-simd.wasm is the one loaded. */
export function simdSupported() {
    return WebAssembly.validate(SIMD_PROBE);
}

/**
 * Loads the module now rather than on the first call, and chooses how; resolves to
 * { simd }, whether the SIMD build runs. Only the first call (or the first info, decode or
 * encode) loads; later calls get the same module. options.simd: false loads the plain build
 * even where SIMD runs. options.wasm: the module's bytes (ArrayBuffer or typed array), a
 * Response, or a URL to load it from instead (options.simd then says which build it is).
 */
export async function init(options = {}) {
    return { simd: (await loadOnce(options)).simd };
}

function loadOnce(options = {}) {
    loading ??= load(options).catch((error) => {
        loading = null;
        throw error;
    });
    return loading;
}

async function load({ simd = simdSupported(), wasm } = {}) {
    const source = await fetchModule(wasm ?? new URL(simd ? "xqob-simd.wasm" : "xqob.wasm", import.meta.url));
    let memory = null;
    const text = (pointer, length) => new TextDecoder().decode(new Uint8Array(memory.buffer, pointer, length));
    const imports = {
        env: { emscripten_notify_memory_growth() {} },
        wasi_snapshot_preview1: {
            // Only a failed assertion in the C++ runtime writes; pass it on.
            fd_write(fd, iovs, count, written) {
                const words = new Uint32Array(memory.buffer);
                let total = 0;
                for (let i = 0; i < count; i++) {
                    const [pointer, length] = [words[(iovs >> 2) + 2 * i], words[(iovs >> 2) + 2 * i + 1]];
                    console.error(text(pointer, length));
                    total += length;
                }
                words[written >> 2] = total;
                return 0;
            },
            proc_exit(code) {
                throw new Error(`xqob: the WebAssembly module stopped (exit status ${code})`);
            },
        },
    };
    // The file functions of the C interface link the system calls of files, which never run
    // here: each answers "not supported".
    const compiled = await WebAssembly.compile(source);
    for (const { module, name, kind } of WebAssembly.Module.imports(compiled)) {
        if (module === "wasi_snapshot_preview1" && kind === "function") imports[module][name] ??= () => ENOSYS;
    }
    const instance = await WebAssembly.instantiate(compiled, imports);
    const exports = instance.exports;
    memory = exports.memory;
    exports._initialize();
    const block = exports.malloc(OUT_WORDS * 4 + MESSAGE_BYTES);
    if (block === 0) throw new Error("xqob: out of memory");
    return { simd, exports, memory, out: block, message: block + OUT_WORDS * 4 };
}

async function fetchModule(wasm) {
    if (wasm instanceof ArrayBuffer || ArrayBuffer.isView(wasm)) return wasm;
    let response = wasm;
    if (!(typeof Response === "function" && wasm instanceof Response)) {
        const url = new URL(wasm, import.meta.url);
        if (url.protocol === "file:") {
            const { readFile } = await import("node:fs/promises");
            return readFile(url);
        }
        response = await fetch(url);
    }
    if (!response.ok) throw new Error(`xqob: cannot load ${response.url}: HTTP ${response.status}`);
    return response.arrayBuffer();
}

function asBytes(bytes, what) {
    if (bytes instanceof ArrayBuffer) return new Uint8Array(bytes);
    if (ArrayBuffer.isView(bytes)) return new Uint8Array(bytes.buffer, bytes.byteOffset, bytes.byteLength);
    throw new TypeError(`xqob: ${what} must be a Uint8Array, an ArrayBuffer or a Buffer`);
}

function formatOf(format) {
    if (!Object.hasOwn(FORMATS, format)) {
        throw new TypeError(`xqob: unknown format "${format}"; use "rgba", "rgb" or "gray"`);
    }
    return FORMATS[format];
}

// Runs call with a copy of bytes in the module's memory and frees it again, whatever happens.
function withCopy(module, bytes, call) {
    const pointer = module.exports.malloc(Math.max(bytes.length, 1));
    if (pointer === 0) throw new Error("xqob: out of memory");
    try {
        new Uint8Array(module.memory.buffer).set(bytes, pointer);
        return call(pointer);
    } finally {
        module.exports.free(pointer);
    }
}

function check(module, status) {
    if (status === 0) return;
    const memory = new Uint8Array(module.memory.buffer, module.message, MESSAGE_BYTES);
    const message = new TextDecoder().decode(memory.subarray(0, memory.indexOf(0)));
    const error = new Error(message);
    error.status = status;
    throw error;
}

function outWords(module) {
    return new Int32Array(module.memory.buffer, module.out, OUT_WORDS);
}

// Copies length bytes at pointer out of the module's memory and frees them.
function takeBytes(module, pointer, length, type = Uint8Array) {
    const copy = new type(length);
    if (pointer !== 0) {
        copy.set(new Uint8Array(module.memory.buffer, pointer, length));
        module.exports.xqob_free(pointer);
    }
    return copy;
}

/** What the header says: { width, height, gray, quality, chromaQuality, fullChroma }. */
export async function info(bytes) {
    const input = asBytes(bytes, "bytes");
    const module = await loadOnce();
    return withCopy(module, input, (pointer) => {
        check(module, module.exports.xqob_web_info(pointer, input.length, module.out, module.message));
        const [width, height, gray, quality, chromaQuality, fullChroma] = outWords(module);
        return { width, height, gray: gray !== 0, quality, chromaQuality, fullChroma: fullChroma !== 0 };
    });
}

/**
 * Decodes a whole picture: { width, height, format, data }, packed rows top first. format
 * "rgba" (the default; data is a Uint8ClampedArray, ready for new ImageData), "rgb" or
 * "gray" (Uint8Array).
 */
export async function decode(bytes, { format = "rgba" } = {}) {
    const input = asBytes(bytes, "bytes");
    const code = formatOf(format);
    const module = await loadOnce();
    return withCopy(module, input, (pointer) => {
        check(module, module.exports.xqob_web_decode(pointer, input.length, code, module.out, module.message));
        const [width, height, pixels, length] = outWords(module);
        const type = format === "rgba" ? Uint8ClampedArray : Uint8Array;
        return { width, height, format, data: takeBytes(module, pixels, length, type) };
    });
}

/**
 * Encodes packed rows of format ("rgba", the default, "rgb" or "gray") into a QOB file.
 * options: quality 0..100 (75), chromaQuality 0..80 (follows quality), gray, fullChroma,
 * optionalBlock (write the optional 10-byte header block).
 */
export async function encode(data, width, height, options = {}) {
    const { format = "rgba", quality = 75, chromaQuality = -1 } = options;
    const pixels = asBytes(data, "data");
    const code = formatOf(format);
    for (const [name, value] of Object.entries({ width, height, quality, chromaQuality })) {
        if (!Number.isInteger(value)) throw new TypeError(`xqob: ${name} must be an integer, not ${value}`);
    }
    const needed = width * height * BYTES_PER_PIXEL[format];
    if (width >= 0 && height >= 0 && width <= 65535 && height <= 65535 && pixels.length < needed) {
        throw new RangeError(`xqob: ${width} x ${height} ${format} pixels need ${needed} bytes; data holds ${pixels.length}`);
    }
    const module = await loadOnce();
    return withCopy(module, pixels, (pointer) => {
        const flags = [options.gray, options.fullChroma, options.optionalBlock].map((flag) => (flag ? 1 : 0));
        check(module, module.exports.xqob_web_encode(pointer, width, height, code, quality, chromaQuality, ...flags, module.out, module.message));
        const [file, length] = outWords(module);
        return takeBytes(module, file, length);
    });
}

/** Bytes of the module's heap in use and its memory's size, for tests of what calls free. */
export async function heapStatistics() {
    const module = await loadOnce();
    return { inUse: module.exports.xqob_web_heap_in_use(), memoryBytes: module.memory.buffer.byteLength };
}
