// xqob.mjs in Node, both builds (plain and SIMD) against the command-line decoder: the same
// bytes for every picture, the same message for every failure, and nothing left on the heap.
import assert from "node:assert/strict";
import { existsSync, readFileSync } from "node:fs";
import { join } from "node:path";
import { before, test } from "node:test";

import { dist, loadBuilds, nativeDecode, samples, toRgba, top } from "./support.mjs";

let builds;
before(async () => (builds = await loadBuilds()));

function random(seed) {
    let state = seed >>> 0 || 1;
    return () => {
        state ^= state << 13;
        state ^= state >>> 17;
        state ^= state << 5;
        return (state >>> 0) / 2 ** 32;
    };
}

// Gradients with noise on top: smooth areas and detail, so that every block type occurs.
function picture(width, height, channels, seed) {
    const next = random(seed);
    const data = new Uint8Array(width * height * channels);
    const noise = 20 + next() * 200;
    for (let y = 0; y < height; y++) {
        for (let x = 0; x < width; x++) {
            for (let c = 0; c < channels; c++) {
                const ramp = ((x * (c + 1) * 255) / width + (y * 255) / height) / 2;
                const value = ramp + (next() - 0.5) * (x % 97 < 40 ? noise : 4);
                data[(y * width + x) * channels + c] = Math.max(0, Math.min(255, Math.round(value)));
            }
        }
    }
    return data;
}

// Decodes file with both builds in its stored format and in RGBA, and compares with qob.
async function expectSameAsNative(file, label) {
    const native = nativeDecode(file);
    for (const [name, xqob] of Object.entries(builds)) {
        const where = `${label} (${name})`;
        if (native.error !== undefined) {
            await assert.rejects(xqob.decode(file), { message: native.error }, where);
            continue;
        }
        const stored = await xqob.decode(file, { format: native.channels === 1 ? "gray" : "rgb" });
        assert.equal(`${stored.width}x${stored.height}`, `${native.width}x${native.height}`, where);
        assert.ok(Buffer.from(stored.data).equals(native.data), `${where}: pixels differ`);
        const rgba = await xqob.decode(file);
        assert.ok(rgba.data instanceof Uint8ClampedArray, where);
        assert.ok(Buffer.from(rgba.data).equals(toRgba(native)), `${where}: RGBA differs`);
    }
    return native;
}

test("every sample decodes to the command-line decoder's pixels, its header read alike", async () => {
    for (const path of samples) {
        const file = readFileSync(path);
        const native = await expectSameAsNative(file, path);
        const header = await builds.simd.info(file.buffer.slice(file.byteOffset, file.byteOffset + file.length));
        assert.deepEqual([header.width, header.height, header.gray], [native.width, native.height, native.channels === 1]);
    }
});

test("colour to gray uses the BT.601 weights", async () => {
    const file = readFileSync(samples.find((path) => path.includes("chelsea-q75")));
    const { data } = nativeDecode(file);
    const gray = await builds.plain.decode(file, { format: "gray" });
    const expected = gray.data.map((_, i) => (19595 * data[3 * i] + 38470 * data[3 * i + 1] + 7471 * data[3 * i + 2] + 32768) >> 16);
    assert.deepEqual(gray.data, expected);
});

const KINDS = [
    { name: "gray", gray: true },
    { name: "gray, optional block", gray: true, optionalBlock: true },
    { name: "half chroma" },
    { name: "half chroma, optional block", optionalBlock: true, quality: 30 },
    { name: "full chroma", fullChroma: true, quality: 90 },
    { name: "full chroma, optional block", fullChroma: true, optionalBlock: true, chromaQuality: 80 },
];
const SIZES = [[1, 1], [2, 3], [15, 17], [16, 16], [33, 7], [1, 70], [130, 1], [257, 131]];

// Files of every header kind made by the encoder, for the tests below (made once).
let made = null;
async function encoderMade() {
    if (made !== null) return made;
    const files = [];
    for (const [k, kind] of KINDS.entries()) {
        const sizes = k < 3 ? [...SIZES, [1000, 700]] : SIZES;
        for (const [width, height] of sizes) {
            const channels = kind.gray && k === 0 ? 1 : 3;
            const format = channels === 1 ? "gray" : "rgb";
            const pixels = picture(width, height, channels, width * 31 + height + k);
            const file = await builds.simd.encode(pixels, width, height, { ...kind, format });
            files.push({ label: `${kind.name} ${width}x${height}`, kind, file });
        }
    }
    return (made = files);
}

test("encoder-made pictures of every header kind and size decode alike, also natively", async () => {
    for (const { label, kind, file } of await encoderMade()) {
        const header = await builds.plain.info(file);
        assert.equal(header.gray, Boolean(kind.gray), label);
        assert.equal(header.fullChroma, Boolean(kind.fullChroma), label);
        assert.equal(header.quality, kind.quality ?? 75, label);
        assert.equal(file[5] & 1, kind.optionalBlock ? 1 : 0, label);
        const native = await expectSameAsNative(file, label);
        assert.equal(native.error, undefined, `${label}: the native decoder refuses the encoder's file`);
    }
});

test("random payloads behind every header kind decode, or fail, alike", async () => {
    const next = random(7);
    for (const { label, kind, file } of await encoderMade()) {
        if (file.length > 5000) continue;
        const header = file.subarray(0, kind.optionalBlock ? 24 : 14);
        for (const length of [1, 9, 200, 3000]) {
            const payload = Uint8Array.from({ length }, () => next() * 256);
            await expectSameAsNative(Buffer.concat([header, payload]), `${label}, ${length} random bytes`);
        }
    }
});

test("truncated and damaged files reject with the library's message", async () => {
    const file = readFileSync(samples.find((path) => path.includes("chelsea-q75")));
    await assert.rejects(builds.simd.decode(file.subarray(0, 2000)), { message: "payload ends after 1986 bytes" });
    const next = random(11);
    for (const length of [0, 2, 3, 13, 14, 15, 500, file.length >> 1, file.length - 1]) {
        await expectSameAsNative(file.subarray(0, length), `cut at ${length}`);
    }
    for (const offset of [0, 3, 4, 5, 6, 8, 14, 40, 1000]) {
        const damaged = Buffer.from(file);
        damaged[offset] ^= 1 + Math.floor(next() * 255);
        await expectSameAsNative(damaged, `byte ${offset} changed`);
    }
});

test("a thousand decodes, failures and encodes leave the heap as the first left it", async () => {
    const file = readFileSync(samples.find((path) => path.includes("chelsea-q50")));
    const { simd } = builds;
    await simd.decode(file);
    const first = await simd.heapStatistics();
    for (let i = 0; i < 1000; i++) await simd.decode(file, { format: i % 2 ? "rgb" : "rgba" });
    for (let i = 0; i < 100; i++) {
        await assert.rejects(simd.decode(file.subarray(0, 100 + i * 50)));
        await assert.rejects(simd.encode(new Uint8Array(48), 4, 4, { format: "rgb", quality: 101 }));
        await simd.encode(picture(24, 20, 3, i), 24, 20, { format: "rgb" });
    }
    assert.deepEqual(await simd.heapStatistics(), first);
});

test("inputs of every kind, and refused arguments", async () => {
    const { plain } = builds;
    const file = readFileSync(samples[0]);
    const copy = new Uint8Array(file);
    for (const bytes of [file, copy, copy.buffer, new DataView(copy.buffer)]) {
        assert.equal((await plain.info(bytes)).width, (await plain.info(file)).width);
    }
    const cases = [
        [() => plain.decode("QOB"), TypeError, /must be a Uint8Array/],
        [() => plain.decode(file, { format: "bgrx" }), TypeError, /unknown format "bgrx"/],
        [() => plain.encode(new Uint8Array(10), 2, 2), RangeError, /2 x 2 rgba pixels need 16 bytes; data holds 10/],
        [() => plain.encode(new Uint8Array(16), 2.5, 2), TypeError, /width must be an integer/],
        [() => plain.encode(new Uint8Array(16), 2, 2, { quality: 101 }), Error, /quality.*101/],
        [() => plain.encode(new Uint8Array(4), 70000, 1), Error, /70000 x 1 is outside 0..65535/],
    ];
    for (const [call, type, message] of cases) await assert.rejects(call(), (error) => error instanceof type && message.test(error.message));
    const empty = await plain.decode(await plain.encode(new Uint8Array(0), 0, 5));
    assert.deepEqual([empty.width, empty.height, empty.data.length], [0, 5, 0]);
});

test("the package folder exports files that are there, at the project's version", () => {
    const manifest = JSON.parse(readFileSync(join(dist, "package.json")));
    const version = /project\(xqob VERSION ([0-9.]+)/.exec(readFileSync(join(top, "CMakeLists.txt")))[1];
    assert.deepEqual([manifest.name, manifest.version, manifest.types], ["xqob", version, "./xqob.d.ts"]);
    for (const file of [...manifest.files, ...Object.values(manifest.exports).flatMap((entry) => (typeof entry === "string" ? [entry] : Object.values(entry)))]) {
        assert.ok(existsSync(join(dist, file)), file);
    }
});

test("an engine without SIMD gets the plain build, one with SIMD the other", async () => {
    const validate = WebAssembly.validate;
    try {
        WebAssembly.validate = () => false;
        const withoutSimd = await import(`${join(dist, "xqob.mjs")}?without-simd`);
        assert.deepEqual(await withoutSimd.init(), { simd: false });
        assert.equal((await withoutSimd.info(readFileSync(samples[0]))).quality > 0, true);
    } finally {
        WebAssembly.validate = validate;
    }
    const withSimd = await import(`${join(dist, "xqob.mjs")}?with-simd`);
    assert.deepEqual(await withSimd.init(), { simd: true });
});
