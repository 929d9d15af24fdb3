// <qob-img src="pic.qob" alt="..." width="..." height="...">: a QOB picture in a page, with
// one script tag (<script type="module" src="qob-img.mjs"></script>). The picture is fetched
// and decoded in a Worker and drawn on a canvas. Like <img>: the width and height attributes
// and CSS set the size, a size left open follows the picture's aspect ratio, the alt text
// names the picture and shows when it fails; "load" and "error" events, naturalWidth,
// naturalHeight and complete.

let worker = null;
let nextId = 0;
const pending = new Map();

function decodeInWorker(url) {
    if (worker === null) {
        // A Worker must come from the page's own origin; from another one (a CDN), a module of
        // the page's origin imports it.
        let url = new URL("./qob-worker.mjs", import.meta.url);
        if (url.origin !== location.origin) {
            const source = `import ${JSON.stringify(url.href)};`;
            url = URL.createObjectURL(new Blob([source], { type: "text/javascript" }));
        }
        worker = new Worker(url, { type: "module" });
        worker.onmessage = ({ data: { id, picture, error } }) => {
            const { resolve, reject } = pending.get(id);
            pending.delete(id);
            if (error !== undefined) reject(new Error(error));
            else resolve(picture);
        };
        worker.onerror = (event) => {
            for (const { reject } of pending.values()) reject(new Error(event.message || "the decoding Worker failed"));
            pending.clear();
            worker = null;
        };
    }
    const id = nextId++;
    return new Promise((resolve, reject) => {
        pending.set(id, { resolve, reject });
        worker.postMessage({ id, url });
    });
}

const pixels = (value) => (/^\d+$/.test(value ?? "") ? `${value}px` : null);

class QobImg extends HTMLElement {
    static observedAttributes = ["src", "alt", "width", "height"];

    #canvas;
    #alt;
    #sizing;
    #natural = { width: 0, height: 0 };
    #complete = true;
    #request = 0;

    constructor() {
        super();
        const root = this.attachShadow({ mode: "open" });
        root.innerHTML = `<style>
            :host { display: inline-block; box-sizing: border-box; overflow: hidden; vertical-align: baseline; }
            canvas { display: block; width: 100%; height: 100%; }
            span { display: none; }
            :host([data-failed]) canvas { display: none; }
            :host([data-failed]) span { display: inline; }
        </style><style></style><canvas width="0" height="0"></canvas><span></span>`;
        [, this.#sizing] = root.querySelectorAll("style");
        this.#canvas = root.querySelector("canvas");
        this.#alt = root.querySelector("span");
    }

    connectedCallback() {
        if (!this.hasAttribute("role")) this.setAttribute("role", "img");
        this.#updateSize();
    }

    attributeChangedCallback(name) {
        if (name === "src") this.#load();
        else if (name === "alt") {
            this.#alt.textContent = this.alt;
            this.setAttribute("aria-label", this.alt);
        } else this.#updateSize();
    }

    get src() {
        const src = this.getAttribute("src");
        return src === null ? "" : new URL(src, document.baseURI).href;
    }
    set src(value) {
        this.setAttribute("src", value);
    }
    get alt() {
        return this.getAttribute("alt") ?? "";
    }
    set alt(value) {
        this.setAttribute("alt", value);
    }
    get width() {
        return this.isConnected ? Math.round(this.getBoundingClientRect().width) : this.#natural.width;
    }
    set width(value) {
        this.setAttribute("width", String(value));
    }
    get height() {
        return this.isConnected ? Math.round(this.getBoundingClientRect().height) : this.#natural.height;
    }
    set height(value) {
        this.setAttribute("height", String(value));
    }
    get naturalWidth() {
        return this.#natural.width;
    }
    get naturalHeight() {
        return this.#natural.height;
    }
    get complete() {
        return this.#complete;
    }

    // Rules of the shadow root's :host, so that the page's own CSS for the element wins, as it
    // does over <img>'s width and height attributes.
    #updateSize() {
        const width = pixels(this.getAttribute("width"));
        const height = pixels(this.getAttribute("height"));
        const { width: w, height: h } = this.#natural;
        const rules = [];
        if (w > 0 && h > 0) rules.push(`aspect-ratio: ${w} / ${h}`);
        if (width) rules.push(`width: ${width}`);
        if (height) rules.push(`height: ${height}`);
        if (!width && !height && w > 0) rules.push(`width: ${w}px`);
        if (!width && !height && w === 0 && !this.hasAttribute("data-failed")) rules.push("width: 0; height: 0");
        this.#sizing.textContent = `:host { ${rules.join("; ")} }`;
    }

    async #load() {
        const request = ++this.#request;
        const src = this.src;
        this.#complete = false;
        this.removeAttribute("data-failed");
        try {
            if (src === "") throw new Error("no src");
            const picture = await decodeInWorker(src);
            if (request !== this.#request) return;
            this.#draw(picture);
            this.#complete = true;
            this.dispatchEvent(new Event("load"));
        } catch (error) {
            if (request !== this.#request) return;
            this.#natural = { width: 0, height: 0 };
            this.setAttribute("data-failed", "");
            this.#updateSize();
            this.title ||= `${src}: ${error.message}`;
            this.#complete = true;
            this.dispatchEvent(new Event("error"));
        }
    }

    #draw({ width, height, data }) {
        this.#canvas.width = width;
        this.#canvas.height = height;
        if (width > 0 && height > 0) {
            this.#canvas.getContext("2d").putImageData(new ImageData(data, width, height), 0, 0);
        }
        this.#natural = { width, height };
        this.#updateSize();
    }
}

customElements.define("qob-img", QobImg);
