// The Worker behind <qob-img>: fetches a picture, decodes it to RGBA and hands the pixels back
// (transferred, not copied). Messages in: { id, url }; out: { id, picture } or { id, error }.
import { decode } from "./xqob.mjs";

self.onmessage = async ({ data: { id, url } }) => {
    try {
        const response = await fetch(url);
        if (!response.ok) throw new Error(`HTTP ${response.status}`);
        const picture = await decode(await response.arrayBuffer());
        self.postMessage({ id, picture }, [picture.data.buffer]);
    } catch (error) {
        self.postMessage({ id, error: error.message });
    }
};
