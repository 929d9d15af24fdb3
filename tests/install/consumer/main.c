/* Encodes and decodes a small picture through the installed shared library. */
#include <stdio.h>
#include <string.h>
#include <xqob/xqob.h>

int main(void) {
    unsigned char rgba[24 * 10 * 4];
    memset(rgba, 100, sizeof rgba);
    xqob_image source = {.struct_size = sizeof source};
    source.format = XQOB_FORMAT_RGBA;
    source.width = 24;
    source.height = 10;
    source.pixels = rgba;
    xqob_error error = {.struct_size = sizeof error};
    unsigned char* qob = NULL;
    size_t size = 0;
    if (xqob_encode(&source, NULL, &qob, &size, &error) != XQOB_OK) {
        return puts(error.message), 1;
    }
    xqob_image decoded = {.struct_size = sizeof decoded};
    xqob_status status = xqob_decode_memory(qob, size, NULL, &decoded, &error);
    xqob_free(qob);
    if (status != XQOB_OK) return puts(error.message), 1;
    printf("xqob %s from C: %dx%d\n", xqob_version_string(), decoded.width, decoded.height);
    xqob_free(decoded.pixels);
    return decoded.width == 24 && decoded.height == 10 ? 0 : 1;
}
