// The viewer page and <qob-img> in headless Chromium, served from 127.0.0.1: the pixels each
// canvas holds against the command-line decoder's, the boxes <qob-img> takes, and failures
// shown as text. Leaves screenshots in build-web/viewer.png and build-web/qob-img.png.
import assert from "node:assert/strict";
import { copyFileSync, mkdtempSync, readdirSync, readFileSync, rmSync, writeFileSync } from "node:fs";
import { tmpdir } from "node:os";
import { basename, join } from "node:path";
import { after, before, test } from "node:test";

import { launchChromium } from "./chromium.mjs";
import { dist, nativeDecode, samples, serve, sha256, toRgba, top } from "./support.mjs";

let root, server, browser;
const expected = {};

before(async () => {
    root = mkdtempSync(join(tmpdir(), "xqob-web-"));
    for (const name of readdirSync(dist)) copyFileSync(join(dist, name), join(root, name));
    copyFileSync(join(top, "web/tests/qob-img.html"), join(root, "qob-img.html"));
    for (const path of samples) {
        copyFileSync(path, join(root, basename(path)));
        expected[basename(path)] = sha256(toRgba(nativeDecode(readFileSync(path))));
    }
    writeFileSync(join(root, "cut.qob"), readFileSync(samples.find((path) => path.includes("chelsea-q75"))).subarray(0, 2000));
    server = await serve(root);
    browser = await launchChromium();
});

after(async () => {
    await browser?.close();
    server?.stop();
    rmSync(root, { recursive: true, force: true });
});

test("the viewer shows every sample with the native decoder's pixels, and a cut file's error", async () => {
    const names = samples.map((path) => basename(path));
    const query = [...names, "cut.qob"].map((name) => `open=${name}`).join("&");
    const page = await browser.open(`${server.url}index.html?digest&${query}`);
    const lines = (await page.waitForText("digest")).split("\n");
    const wanted = names.map((name) => {
        const { width, height } = nativeDecode(readFileSync(join(root, name)));
        return `${name} ${width}x${height} ${expected[name]}`;
    });
    assert.deepEqual(lines, [...wanted, "cut.qob error payload ends after 1986 bytes"]);
    const captions = await page.evaluate(`[...document.querySelectorAll("figcaption")].map((c) => c.innerText).join("|")`);
    const bytes = readFileSync(join(root, "chelsea-q75.qob")).length.toLocaleString("en");
    assert.ok(captions.includes(`chelsea-q75.qob\n451 x 300, colour\nquality 75, chroma 52\n${bytes} bytes\ndecoded in `), captions);
});

test("the viewer opens files chosen in its file field; its screenshot", async () => {
    const url = `${server.url}index.html`;
    const page = await browser.open(url);
    // The listeners are in place once the page's module has run, before the load event. The
    // new tab shows about:blank (complete, without the field) until the page replaces it.
    const loaded = `location.href === ${JSON.stringify(url)} && document.readyState === "complete"`;
    for (let tries = 0; !(await page.evaluate(loaded).catch(() => false)) && tries < 400; tries++) {
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    await page.chooseFiles("#open", [join(root, "chelsea-q75.qob"), join(root, "camera-gray.qob")]);
    const shown = `[...document.querySelectorAll("figure")].map((f) => f.querySelector("b").textContent + " " + (f.querySelector("canvas")?.width ?? "none"))`;
    for (let tries = 0; (await page.evaluate(`${shown}.length`)) < 2 && tries < 200; tries++) {
        await new Promise((resolve) => setTimeout(resolve, 50));
    }
    assert.deepEqual(await page.evaluate(shown), ["chelsea-q75.qob 451", "camera-gray.qob 512"]);
    writeFileSync(join(top, "build-web/viewer.png"), await page.screenshot());
});

test("<qob-img> draws the native decoder's pixels in the boxes <img> would take", async () => {
    const page = await browser.open(`${server.url}qob-img.html`);
    const lines = (await page.waitForText("digest")).split("\n");
    assert.deepEqual(lines, [
        `natural 451x300 ${expected["chelsea-q75.qob"]}`,
        `width 100x100 ${expected["camera-gray.qob"]}`,
        `height 150x100 ${expected["coffee-full-chroma.qob"]}`,
        `both 90x40 ${expected["chelsea-q50.qob"]}`,
        `css 200x133 ${expected["chelsea-q75.qob"]}`,
        `missing error ${server.url}missing.qob: HTTP 404`,
        `cut error ${server.url}cut.qob: payload ends after 1986 bytes`,
    ]);
    const missing = await page.evaluate(`(() => { const e = document.getElementById("missing"); return [e.getAttribute("role"), e.getAttribute("aria-label"), e.shadowRoot.querySelector("span").offsetWidth > 0]; })()`);
    assert.deepEqual(missing, ["img", "gone", true]);
    writeFileSync(join(top, "build-web/qob-img.png"), await page.screenshot());
});
