// Types of xqob.mjs: QOB pictures decoded and encoded through WebAssembly.

/** Bytes of a file or of pixels. A Node Buffer is a Uint8Array. */
export type Bytes = Uint8Array | Uint8ClampedArray | ArrayBuffer | ArrayBufferView;

export type Format = "rgba" | "rgb" | "gray";

/** What the header says. */
export interface Info {
    width: number;
    height: number;
    /** Luma only. */
    gray: boolean;
    /** 0..100, higher is better. */
    quality: number;
    /** 0..80, higher is better. */
    chromaQuality: number;
    /** Chroma at full resolution rather than half in each direction. */
    fullChroma: boolean;
}

/** A decoded picture: packed rows, top first. */
export interface Picture<F extends Format = Format> {
    width: number;
    height: number;
    format: F;
    /** Uint8ClampedArray for "rgba" (ready for new ImageData), Uint8Array otherwise. */
    data: F extends "rgba" ? Uint8ClampedArray : Uint8Array;
}

export interface EncodeOptions {
    /** Of the pixels given: "rgba" (the default; alpha is ignored), "rgb" or "gray". */
    format?: Format;
    /** 0..100, default 75. */
    quality?: number;
    /** 0..80; by default it follows quality (52 at 75). */
    chromaQuality?: number;
    /** Store luma only, also from a colour source. */
    gray?: boolean;
    /** Chroma at full resolution. */
    fullChroma?: boolean;
    /** Write the optional 10-byte header block. */
    optionalBlock?: boolean;
}

export interface InitOptions {
    /** false loads the plain build even where the engine runs WebAssembly SIMD. */
    simd?: boolean;
    /** The module itself, or where to load it from, instead of the file beside xqob.mjs. */
    wasm?: ArrayBuffer | ArrayBufferView | Response | URL | string;
}

/** An Error whose message is the library's, e.g. "payload ends after 1986 bytes". */
export interface XqobError extends Error {
    /** The library's status code (xqob_status). */
    status: number;
}

/** Reads the header only. Rejects with an XqobError. */
export function info(bytes: Bytes): Promise<Info>;

/** Decodes a whole picture. Rejects with an XqobError. */
export function decode(bytes: Bytes): Promise<Picture<"rgba">>;
export function decode<F extends Format>(bytes: Bytes, options: { format?: F }): Promise<Picture<F>>;

/** Encodes packed rows into a QOB file. Rejects with an XqobError. */
export function encode(data: Bytes, width: number, height: number, options?: EncodeOptions): Promise<Uint8Array>;

/** Loads the module now; only the first call chooses how. Tells whether the SIMD build runs. */
export function init(options?: InitOptions): Promise<{ simd: boolean }>;

/** Whether this engine runs WebAssembly SIMD (xqob-simd.wasm is then loaded). */
export function simdSupported(): boolean;

/** The module's heap: bytes in use and the size of its memory. */
export function heapStatistics(): Promise<{ inUse: number; memoryBytes: number }>;
