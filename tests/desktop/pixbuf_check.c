/* The QOB loader as GTK programs use it, through GdkPixbuf with GDK_PIXBUF_MODULE_FILE naming
 * a loaders cache that lists the loader of the build tree.
 *
 *   pixbuf_check samples QOB_TOOL SAMPLE...  every sample whole, in chunks and scaled, against
 *                                            the pixels of `qob decode`
 *   pixbuf_check broken SAMPLE               damaged and truncated files fail with our message
 *   pixbuf_check mime SAMPLE                 the MIME database knows image/x-qob
 *   pixbuf_check longer-side FILE SIZE       FILE loads, and its longer side is SIZE pixels
 *
 * Prints "N passed, N failed" and exits non-zero on any failure. */
#include <gdk-pixbuf/gdk-pixbuf.h>
#include <gio/gio.h>
#include <glib/gstdio.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

static int passed;
static int failed;

static void check(gboolean ok, const char* what, const char* name) {
    if (ok) {
        passed++;
    } else {
        failed++;
        fprintf(stderr, "FAILED: %s: %s\n", name, what);
    }
}

static int report(void) {
    printf("%d passed, %d failed\n", passed, failed);
    return failed == 0 ? EXIT_SUCCESS : EXIT_FAILURE;
}

/* ---- Reference pixels ---- */

typedef struct {
    int width;
    int height;
    guchar* rgb; /* packed rows; gray references are expanded to R = G = B */
} Reference;

/* Reads the binary PNM (P5 or P6, maxval 255) that `qob decode` writes. */
static gboolean read_pnm(const char* path, Reference* reference) {
    gchar* data = NULL;
    gsize size = 0;
    if (!g_file_get_contents(path, &data, &size, NULL)) return FALSE;
    int kind = 0, maxval = 0, offset = 0;
    gboolean ok = sscanf(data, "P%d %d %d %d%n", &kind, &reference->width, &reference->height,
                         &maxval, &offset) == 4 &&
                  (kind == 5 || kind == 6) && maxval == 255;
    const int channels = kind == 5 ? 1 : 3;
    const gsize pixels = (gsize)reference->width * (gsize)reference->height;
    ok = ok && size == (gsize)offset + 1 + pixels * channels;
    if (ok) {
        const guchar* source = (const guchar*)data + offset + 1;
        reference->rgb = g_malloc(pixels * 3);
        for (gsize i = 0; i < pixels; i++)
            for (int c = 0; c < 3; c++)
                reference->rgb[i * 3 + c] = source[i * channels + (channels == 3 ? c : 0)];
    }
    g_free(data);
    return ok;
}

static gboolean decode_reference(const char* tool, const char* sample, const char* folder,
                                 Reference* reference) {
    gchar* output = g_build_filename(folder, "reference.pnm", NULL);
    gchar* argv[] = {(gchar*)tool, "decode", (gchar*)sample, "-o", output, NULL};
    gint status = 0;
    gboolean ok =
        g_spawn_sync(NULL, argv, NULL, G_SPAWN_DEFAULT, NULL, NULL, NULL, NULL, &status, NULL) &&
        g_spawn_check_wait_status(status, NULL) && read_pnm(output, reference);
    g_unlink(output);
    g_free(output);
    return ok;
}

static gboolean same_pixels(GdkPixbuf* pixbuf, const Reference* reference) {
    if (pixbuf == NULL || gdk_pixbuf_get_width(pixbuf) != reference->width ||
        gdk_pixbuf_get_height(pixbuf) != reference->height ||
        gdk_pixbuf_get_n_channels(pixbuf) != 3 || gdk_pixbuf_get_has_alpha(pixbuf) ||
        gdk_pixbuf_get_bits_per_sample(pixbuf) != 8)
        return FALSE;
    const guchar* pixels = gdk_pixbuf_read_pixels(pixbuf);
    const gsize row = (gsize)reference->width * 3;
    for (int y = 0; y < reference->height; y++)
        if (memcmp(pixels + (gsize)y * gdk_pixbuf_get_rowstride(pixbuf),
                   reference->rgb + (gsize)y * row, row) != 0)
            return FALSE;
    return TRUE;
}

/* ---- Loading ---- */

/* Feeds data to a loader chunk bytes at a time. Returns the picture, or NULL with *error. */
static GdkPixbuf* load_in_chunks(const guchar* data, gsize size, gsize chunk, GError** error) {
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("qob", error);
    if (loader == NULL) return NULL;
    gboolean ok = TRUE;
    for (gsize at = 0; ok && at < size; at += chunk)
        ok = gdk_pixbuf_loader_write(loader, data + at, MIN(chunk, size - at), error);
    /* A failed write has closed the loader already; closing again would only repeat it. */
    if (ok) ok = gdk_pixbuf_loader_close(loader, error);
    GdkPixbuf* pixbuf = ok ? gdk_pixbuf_loader_get_pixbuf(loader) : NULL;
    if (pixbuf != NULL) g_object_ref(pixbuf);
    g_object_unref(loader);
    return pixbuf;
}

static void check_sample(const char* tool, const char* sample, const char* folder) {
    Reference reference = {0};
    if (!decode_reference(tool, sample, folder, &reference)) {
        check(FALSE, "qob decode gives no reference", sample);
        return;
    }
    GdkPixbuf* whole = gdk_pixbuf_new_from_file(sample, NULL);
    check(same_pixels(whole, &reference), "whole-file load differs from qob decode", sample);
    g_clear_object(&whole);

    gchar* data = NULL;
    gsize size = 0;
    g_file_get_contents(sample, &data, &size, NULL);
    static const gsize chunks[] = {1, 7, 4096};
    for (size_t i = 0; i < G_N_ELEMENTS(chunks); i++) {
        GdkPixbuf* pixbuf = load_in_chunks((const guchar*)data, size, chunks[i], NULL);
        gchar* what = g_strdup_printf("load in chunks of %zu bytes differs", (size_t)chunks[i]);
        check(same_pixels(pixbuf, &reference), what, sample);
        g_free(what);
        g_clear_object(&pixbuf);
    }
    g_free(data);

    /* The size-prepared callback sets the size: a 128-pixel box keeps the aspect ratio. */
    GdkPixbuf* small = gdk_pixbuf_new_from_file_at_size(sample, 128, 128, NULL);
    const int longer = MAX(reference.width, reference.height);
    const int expected_width = (reference.width * 128 + longer / 2) / longer;
    const int expected_height = (reference.height * 128 + longer / 2) / longer;
    check(small != NULL && gdk_pixbuf_get_width(small) == expected_width &&
              gdk_pixbuf_get_height(small) == expected_height,
          "a 128-pixel load has the wrong size", sample);
    g_clear_object(&small);

    int width = 0, height = 0;
    GdkPixbufFormat* format = gdk_pixbuf_get_file_info(sample, &width, &height);
    gchar* name = format != NULL ? gdk_pixbuf_format_get_name(format) : NULL;
    check(g_strcmp0(name, "qob") == 0 && width == reference.width && height == reference.height,
          "file info gives the wrong format or size", sample);
    g_free(name);
    g_free(reference.rgb);
}

static int check_samples(int count, char** arguments) {
    gchar* folder = g_dir_make_tmp("pixbuf-check-XXXXXX", NULL);
    for (int i = 1; i < count; i++) check_sample(arguments[0], arguments[i], folder);
    g_rmdir(folder);
    g_free(folder);
    return report();
}

/* ---- Damaged files ---- */

/* A sample with its first `keep` bytes kept and `patch` written at `at`. */
typedef struct {
    const char* name;
    gssize keep; /* -1: all */
    int at;      /* -1: no patch */
    const char* patch;
    gsize patch_size;
    const char* message; /* part of the expected error message */
} BrokenCase;

static const BrokenCase broken_cases[] = {
    {"empty", 0, -1, "", 0, "header ends after 0 bytes"},
    {"not QOB", -1, 2, "X", 1, "not a QOB file"},
    {"quality 101", -1, 3, "\x65", 1, "quality index 101 out of range 0..100"},
    {"chroma 81", -1, 4, "\x51", 1, "chroma quantiser 81 out of range 0..80"},
    {"flags 4", -1, 5, "\x04", 1, "unknown header flags 0x04"},
    {"header cut", 10, -1, "", 0, "header ends after 10 bytes"},
    {"no payload", 14, -1, "", 0, "payload ends after 0 bytes"},
    {"payload cut", 2000, -1, "", 0, "payload ends after 1986 bytes"},
    {"payload half", 20000, -1, "", 0, "payload ends after 19986 bytes"},
    {"too large", -1, 6, "\xff\xff\xff\xff", 4, "picture of 65535 x 65535 exceeds the limit"},
    {"no columns", -1, 6, "\x00\x00", 2, "has nothing to show"},
    {"no rows", -1, 8, "\x00\x00", 2, "has nothing to show"},
};

static GByteArray* make_broken(const gchar* sample, gsize size, const BrokenCase* broken) {
    GByteArray* bytes = g_byte_array_new();
    g_byte_array_append(bytes, (const guint8*)sample,
                        broken->keep < 0 ? size : (gsize)broken->keep);
    if (broken->at >= 0) memcpy(bytes->data + broken->at, broken->patch, broken->patch_size);
    return bytes;
}

static gboolean failed_with(GdkPixbuf* pixbuf, const GError* error, const char* message) {
    return pixbuf == NULL && error != NULL && error->domain == GDK_PIXBUF_ERROR &&
           (message == NULL || strstr(error->message, message) != NULL);
}

static void check_failure(GdkPixbuf* pixbuf, GError* error, const char* message, const char* how,
                          const char* name) {
    gchar* what = g_strdup_printf("%s: expected an error with \"%s\", got \"%s\"", how, message,
                                  error != NULL ? error->message : "none");
    check(failed_with(pixbuf, error, message), what, name);
    g_free(what);
    if (pixbuf != NULL) g_object_unref(pixbuf);
    if (error != NULL) g_error_free(error);
}

/* The whole-file load, through a file on disk. */
static GdkPixbuf* load_file(const GByteArray* bytes, GError** error) {
    gchar* path = NULL;
    gint descriptor = g_file_open_tmp("broken-XXXXXX.qob", &path, NULL);
    if (descriptor < 0) return NULL;
    g_close(descriptor, NULL);
    GdkPixbuf* pixbuf = NULL;
    if (g_file_set_contents(path, (const gchar*)bytes->data, bytes->len, NULL))
        pixbuf = gdk_pixbuf_new_from_file(path, error);
    g_unlink(path);
    g_free(path);
    return pixbuf;
}

static int check_broken(const char* sample_path) {
    gchar* sample = NULL;
    gsize size = 0;
    if (!g_file_get_contents(sample_path, &sample, &size, NULL) || size <= 20000) {
        check(FALSE, "needs a sample of more than 20000 bytes", sample_path);
        return report();
    }
    for (size_t i = 0; i < G_N_ELEMENTS(broken_cases); i++) {
        const BrokenCase* broken = &broken_cases[i];
        GByteArray* bytes = make_broken(sample, size, broken);
        static const gsize chunks[] = {1, 4096};
        for (size_t c = 0; c < G_N_ELEMENTS(chunks); c++) {
            GError* error = NULL;
            GdkPixbuf* pixbuf = load_in_chunks(bytes->data, bytes->len, chunks[c], &error);
            check_failure(pixbuf, error, broken->message, "in chunks", broken->name);
        }
        /* Without the signature the file is not recognised as QOB at all. */
        if (bytes->len >= 3 && memcmp(bytes->data, "QOB", 3) == 0) {
            GError* error = NULL;
            GdkPixbuf* pixbuf = load_file(bytes, &error);
            check_failure(pixbuf, error, broken->message, "whole file", broken->name);
        }
        g_byte_array_unref(bytes);
    }

    /* Truncation anywhere short of the last bytes, which the payload's end rule may not
     * need. */
    for (gsize keep = 0; keep + 16 < size; keep += 97) {
        GError* error = NULL;
        GdkPixbuf* pixbuf = load_in_chunks((const guchar*)sample, keep, 4096, &error);
        gchar* name = g_strdup_printf("cut after %zu bytes", (size_t)keep);
        check_failure(pixbuf, error, keep < 14 ? "header ends" : "payload ends", "in chunks", name);
        g_free(name);
    }

    /* A changed payload byte decodes to other pixels or fails; it never crashes. */
    GRand* random = g_rand_new_with_seed(18);
    for (int i = 0; i < 64; i++) {
        gchar* changed = g_memdup2(sample, size);
        changed[g_rand_int_range(random, 24, (gint32)size)] ^=
            (gchar)g_rand_int_range(random, 1, 256);
        GError* error = NULL;
        GdkPixbuf* pixbuf = load_in_chunks((const guchar*)changed, size, 4096, &error);
        check(pixbuf != NULL || failed_with(pixbuf, error, ""), "neither a picture nor an error",
              "changed byte");
        g_clear_object(&pixbuf);
        g_clear_error(&error);
        g_free(changed);
    }
    g_rand_free(random);
    g_free(sample);
    return report();
}

static int check_mime(const char* sample) {
    gchar* data = NULL;
    gsize size = 0;
    g_file_get_contents(sample, &data, &size, NULL);
    struct {
        const char* name;
        const guchar* data;
        gsize size;
    } cases[] = {
        {"photo.qob", NULL, 0},                /* by name */
        {NULL, (const guchar*)data, size},     /* by content */
        {"photo.bin", (const guchar*)data, 64} /* content wins over an unknown extension */
    };
    for (size_t i = 0; i < G_N_ELEMENTS(cases); i++) {
        gchar* type = g_content_type_guess(cases[i].name, cases[i].data, cases[i].size, NULL);
        gchar* mime = g_content_type_get_mime_type(type);
        check(g_strcmp0(mime, "image/x-qob") == 0, mime != NULL ? mime : "no type",
              cases[i].name != NULL ? cases[i].name : "content");
        g_free(mime);
        g_free(type);
    }
    g_free(data);
    return report();
}

static int check_longer_side(const char* path, int size) {
    GError* error = NULL;
    GdkPixbuf* pixbuf = gdk_pixbuf_new_from_file(path, &error);
    check(pixbuf != NULL, error != NULL ? error->message : "", path);
    if (pixbuf != NULL) {
        const int width = gdk_pixbuf_get_width(pixbuf);
        const int height = gdk_pixbuf_get_height(pixbuf);
        check(MAX(width, height) == size && MIN(width, height) > 0, "wrong size", path);
        g_object_unref(pixbuf);
    }
    g_clear_error(&error);
    return report();
}

int main(int argc, char** argv) {
    if (argc >= 3 && strcmp(argv[1], "samples") == 0) return check_samples(argc - 2, argv + 2);
    if (argc == 3 && strcmp(argv[1], "broken") == 0) return check_broken(argv[2]);
    if (argc == 3 && strcmp(argv[1], "mime") == 0) return check_mime(argv[2]);
    if (argc == 4 && strcmp(argv[1], "longer-side") == 0)
        return check_longer_side(argv[2], atoi(argv[3]));
    fprintf(stderr, "usage: pixbuf_check samples|broken|mime|longer-side ...\n");
    return 2;
}
