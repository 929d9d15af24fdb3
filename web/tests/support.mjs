// Shared by the web tests: where the package and the native tool are, the native decoder's
// output, and a static server for the pages.
import { spawn, spawnSync } from "node:child_process";
import { createHash } from "node:crypto";
import { readdirSync } from "node:fs";
import { dirname, join, resolve } from "node:path";
import { fileURLToPath } from "node:url";

export const top = resolve(dirname(fileURLToPath(import.meta.url)), "../..");
export const dist = process.env.XQOB_WEB_DIST ?? join(top, "build-web/dist");
export const qobTool = process.env.XQOB_QOB ?? join(top, "build/bin/qob");
export const samples = readdirSync(join(top, "samples"))
    .filter((name) => name.endsWith(".qob"))
    .map((name) => join(top, "samples", name));

// Both builds, each loaded on its own (a query string makes a separate module instance).
export async function loadBuilds() {
    const builds = {};
    for (const simd of [false, true]) {
        const module = await import(`${join(dist, "xqob.mjs")}?${simd ? "simd" : "plain"}`);
        await module.init({ simd });
        builds[simd ? "simd" : "plain"] = module;
    }
    return builds;
}

// The command-line decoder's result for a file in memory: { width, height, channels, data }
// as stored (gray or RGB), or { error } with its message.
const PREFIX = "qob: standard input: ";
export function nativeDecode(bytes) {
    const run = spawnSync(qobTool, ["decode", "-", "-o", "-", "-f", "pnm"], { input: bytes, maxBuffer: 1 << 30 });
    if (run.status !== 0) {
        const message = run.stderr.toString().trim();
        if (run.status !== 1 || !message.startsWith(PREFIX)) throw new Error(`qob failed: ${message}`);
        return { error: message.slice(PREFIX.length) };
    }
    return parsePnm(run.stdout);
}

function parsePnm(file) {
    const text = file.subarray(0, 64).toString("latin1");
    const match = /^(P[56])\s+(\d+)\s+(\d+)\s+(\d+)\s/.exec(text);
    if (!match) throw new Error("qob wrote no binary PGM or PPM");
    const [header, kind, width, height] = match;
    return { width: +width, height: +height, channels: kind === "P5" ? 1 : 3, data: file.subarray(header.length) };
}

// Packed RGBA from gray or RGB samples, as a decode to "rgba" gives it.
export function toRgba({ width, height, channels, data }) {
    const rgba = new Uint8Array(width * height * 4).fill(255);
    for (let pixel = 0; pixel < width * height; pixel++) {
        for (let c = 0; c < 3; c++) rgba[pixel * 4 + c] = data[pixel * channels + (channels === 1 ? 0 : c)];
    }
    return rgba;
}

export const sha256 = (bytes) => createHash("sha256").update(bytes).digest("hex");

// Serves root on 127.0.0.1 at a free port (python3 -m http.server); returns its URL and stop().
export async function serve(root) {
    const server = spawn("/usr/bin/python3", ["-u", "-m", "http.server", "--bind", "127.0.0.1", "0"],
        { cwd: root, stdio: ["ignore", "pipe", "pipe"] });
    const port = await new Promise((resolvePort, reject) => {
        let output = "";
        server.stdout.on("data", (chunk) => {
            output += chunk;
            const match = / port (\d+) /.exec(output);
            if (match) resolvePort(match[1]);
        });
        server.on("exit", (code) => reject(new Error(`http.server exited with ${code}: ${output}`)));
    });
    server.stderr.resume();
    return { url: `http://127.0.0.1:${port}/`, stop: () => server.kill() };
}
