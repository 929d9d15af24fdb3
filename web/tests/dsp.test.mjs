// The SIMD128 pixel kernels against the reference kernels (dsp-check.wasm, built beside the
// modules), and xqob.wasm free of SIMD instructions, so that it loads on engines without them.
import assert from "node:assert/strict";
import { execFileSync } from "node:child_process";
import { readFileSync } from "node:fs";
import { join } from "node:path";
import { test } from "node:test";

import { top } from "./support.mjs";

const wasmFolder = process.env.XQOB_WEB_WASM ?? join(top, "build-web/wasm");

test("the SIMD128 kernels give the reference kernels' bytes", async () => {
    let memory;
    const { instance } = await WebAssembly.instantiate(readFileSync(join(wasmFolder, "dsp-check.wasm")), {
        env: { emscripten_notify_memory_growth() {} },
        wasi_snapshot_preview1: new Proxy({}, { get: () => () => 52 }),
    });
    memory = instance.exports.memory;
    instance.exports._initialize();
    const pointer = instance.exports.xqob_dsp_check();
    const bytes = new Uint8Array(memory.buffer, pointer);
    assert.equal(new TextDecoder().decode(bytes.subarray(0, bytes.indexOf(0))), "");
});

test("xqob.wasm holds no SIMD instruction, xqob-simd.wasm does", () => {
    // No engine without SIMD is at hand: binaryen's disassembler (beside Emscripten) shows the
    // instructions instead.
    const vectors = (file) => {
        const text = execFileSync("wasm-dis", [join(wasmFolder, file)], { maxBuffer: 1 << 28 }).toString();
        return (text.match(/\bv128\b|i32x4|i16x8|i8x16/g) ?? []).length;
    };
    assert.equal(vectors("xqob.wasm"), 0);
    assert.ok(vectors("xqob-simd.wasm") > 100);
});
