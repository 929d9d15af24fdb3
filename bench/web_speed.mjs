// WebAssembly decode speed beside the native decoder's, on the same pictures, interleaved in
// rounds so that a busy machine slows every side alike (see bench/web-speed).
//
//   node bench/web_speed.mjs FILE.qob...
//
// Each round decodes every file RUNS times natively (libxqob.so.1 through ctypes), with the
// plain and the SIMD build in Node, and with both in headless Chromium. Times are CPU time
// of the decoding thread (process CPU time in Node, the page's main-thread time in Chromium,
// per batch of RUNS), so that waiting for a busy machine's cores does not count; the table
// gives megapixels per CPU second, median over all, and each wasm figure's ratio to native.
// All on one thread, bytes in memory to R, G, B rows.
import { spawnSync } from "node:child_process";
import { copyFileSync, mkdtempSync, readdirSync, readFileSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, join } from "node:path";

import { launchChromium } from "../web/tests/chromium.mjs";
import { dist, serve, top } from "../web/tests/support.mjs";

const runs = Number(process.env.RUNS ?? 5);
const rounds = Number(process.env.ROUNDS ?? 5);
const library = process.env.XQOB_LIBRARY ?? join(top, "build/lib/libxqob.so.1");
const files = process.argv.slice(2);
if (files.length === 0) throw new Error("usage: node bench/web_speed.mjs FILE.qob...");

const root = mkdtempSync(join(tmpdir(), "xqob-web-speed-"));
for (const name of readdirSync(dist)) copyFileSync(join(dist, name), join(root, name));
copyFileSync(join(top, "bench/web_speed.html"), join(root, "web_speed.html"));
const names = files.map((file, i) => {
    const name = `${i}-${basename(file)}`;
    copyFileSync(file, join(root, name));
    return name;
});

const node = {};
for (const build of ["plain", "simd"]) {
    node[build] = await import(`${join(dist, "xqob.mjs")}?${build}`);
    await node[build].init({ simd: build === "simd" });
}
const server = await serve(root);
const browser = await launchChromium();
const page = await browser.open(`${server.url}web_speed.html`);
await page.waitForText("ready");
await page.evaluate(`fetchAll(${JSON.stringify(names)})`);

const sides = ["native", "node simd", "node plain", "chromium simd", "chromium plain"];
const times = Object.fromEntries(sides.map((side) => [side, names.map(() => [])]));
const pixels = [];
for (const [i, name] of names.entries()) {
    const { width, height } = await node.simd.info(readFileSync(join(root, name)));
    pixels[i] = width * height;
}

const add = (side, result) => names.forEach((name, i) => times[side][i].push(...result[name]));
for (let round = 0; round < rounds; round++) {
    const native = spawnSync("/usr/bin/python3", [join(top, "bench/web_native.py"), library, String(runs), ...names], { cwd: root });
    if (native.status !== 0) throw new Error(`native timing failed: ${native.stderr}`);
    add("native", JSON.parse(native.stdout));
    for (const build of ["simd", "plain"]) {
        const result = {};
        for (const name of names) {
            const bytes = readFileSync(join(root, name));
            result[name] = [];
            for (let run = 0; run < runs; run++) {
                const start = process.cpuUsage();
                await node[build].decode(bytes, { format: "rgb" });
                const { user, system } = process.cpuUsage(start);
                result[name].push((user + system) / 1000);
            }
        }
        add(`node ${build}`, result);
        const inPage = {};
        for (const name of names) {
            const before = (await page.metrics()).ThreadTime;
            await page.evaluate(`run(${JSON.stringify(build)}, ${runs}, ${JSON.stringify(name)})`);
            inPage[name] = [(((await page.metrics()).ThreadTime - before) * 1000) / runs];
        }
        add(`chromium ${build}`, inPage);
    }
}
await browser.close();
server.stop();
rmSync(root, { recursive: true, force: true });

const median = (values) => values.slice().sort((a, b) => a - b)[values.length >> 1];
const rate = (side, i) => pixels[i] / 1000 / median(times[side][i]);
console.log(`MP per CPU second, ${rounds} rounds x ${runs} decodes; in brackets the ratio to native`);
console.log(["picture".padEnd(28), ...sides.map((side) => side.padStart(15))].join(""));
const ratios = Object.fromEntries(sides.map((side) => [side, []]));
for (const [i, name] of names.entries()) {
    const cells = sides.map((side) => {
        const ratio = rate(side, i) / rate("native", i);
        ratios[side].push(ratio);
        return (side === "native" ? rate(side, i).toFixed(1) : `${rate(side, i).toFixed(1)} (${ratio.toFixed(2)})`).padStart(15);
    });
    console.log([basename(files[i]).slice(0, 27).padEnd(28), ...cells].join(""));
}
const geomean = (values) => Math.exp(values.reduce((sum, value) => sum + Math.log(value), 0) / values.length);
console.log(["ratio, geometric mean".padEnd(28), ...sides.map((side) => (side === "native" ? "" : geomean(ratios[side]).toFixed(2)).padStart(15))].join(""));
