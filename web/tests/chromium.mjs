// Headless Chromium for the page tests, driven through the DevTools protocol over a pipe
// (--remote-debugging-pipe: JSON messages ending in NUL, to the browser on fd 3 and back on
// fd 4), so that a test can wait for what a page computes after its load event.
import { spawn } from "node:child_process";
import { mkdtempSync, rmSync } from "node:fs";
import { tmpdir } from "node:os";
import { join } from "node:path";

export async function launchChromium() {
    const profile = mkdtempSync(join(tmpdir(), "xqob-chromium-"));
    const browser = spawn("chromium", [
        "--headless", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        `--user-data-dir=${profile}`, "--remote-debugging-pipe", "--window-size=1000,700",
        "about:blank",
    ], { stdio: ["ignore", "ignore", "pipe", "pipe", "pipe"] });
    let stderr = "";
    browser.stdio[2].on("data", (chunk) => (stderr += chunk));
    const [toBrowser, fromBrowser] = [browser.stdio[3], browser.stdio[4]];
    const waiting = new Map();
    let nextId = 1;
    let buffered = "";
    fromBrowser.on("data", (chunk) => {
        buffered += chunk;
        let end;
        while ((end = buffered.indexOf("\0")) >= 0) {
            const message = JSON.parse(buffered.slice(0, end));
            buffered = buffered.slice(end + 1);
            const call = waiting.get(message.id);
            if (call === undefined) continue;
            waiting.delete(message.id);
            if (message.error) call.reject(new Error(`${call.method}: ${message.error.message}`));
            else call.resolve(message.result);
        }
    });
    const exited = new Promise((resolve) => browser.on("exit", resolve));
    exited.then(() => {
        for (const call of waiting.values()) call.reject(new Error(`chromium exited: ${stderr.slice(-2000)}`));
        waiting.clear();
    });
    const send = (method, params = {}, sessionId) =>
        new Promise((resolve, reject) => {
            const id = nextId++;
            waiting.set(id, { resolve, reject, method });
            toBrowser.write(JSON.stringify({ id, method, params, ...(sessionId && { sessionId }) }) + "\0");
        });

    return {
        // Opens url in a new tab; the tab evaluates JavaScript and takes screenshots.
        async open(url) {
            const { targetId } = await send("Target.createTarget", { url });
            const { sessionId } = await send("Target.attachToTarget", { targetId, flatten: true });
            const evaluate = async (expression) => {
                const { result, exceptionDetails } = await send("Runtime.evaluate",
                    { expression, returnByValue: true, awaitPromise: true }, sessionId);
                if (exceptionDetails) throw new Error(exceptionDetails.exception?.description ?? exceptionDetails.text);
                return result.value;
            };
            return {
                evaluate,
                // Polls until the element of id has appeared, and returns its text.
                async waitForText(id, timeoutMs = 20000) {
                    const until = Date.now() + timeoutMs;
                    for (;;) {
                        const text = await evaluate(`document.getElementById(${JSON.stringify(id)})?.textContent ?? null`);
                        if (text !== null) return text;
                        if (Date.now() > until) throw new Error(`${url}: no #${id} after ${timeoutMs} ms`);
                        await new Promise((resolve) => setTimeout(resolve, 50));
                    }
                },
                // Chooses files in the page's <input type="file"> of selector, as a user would.
                async chooseFiles(selector, files) {
                    const { result } = await send("Runtime.evaluate",
                        { expression: `document.querySelector(${JSON.stringify(selector)})` }, sessionId);
                    if (!result.objectId) throw new Error(`${url}: no ${selector} to choose files in`);
                    await send("DOM.setFileInputFiles", { files, objectId: result.objectId }, sessionId);
                },
                // The page's performance counters, e.g. ThreadTime: CPU seconds of its main thread.
                async metrics() {
                    await send("Performance.enable", {}, sessionId);
                    const { metrics } = await send("Performance.getMetrics", {}, sessionId);
                    return Object.fromEntries(metrics.map(({ name, value }) => [name, value]));
                },
                async screenshot() {
                    const { data } = await send("Page.captureScreenshot", { format: "png" }, sessionId);
                    return Buffer.from(data, "base64");
                },
            };
        },
        async close() {
            send("Browser.close").catch(() => {});
            const timer = setTimeout(() => browser.kill(), 5000);
            await exited;
            clearTimeout(timer);
            rmSync(profile, { recursive: true, force: true });
        },
    };
}
