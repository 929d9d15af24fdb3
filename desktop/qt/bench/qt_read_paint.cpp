// Times, interleaved and as medians: reading a QOB file through QImageReader (the plug-in)
// against the library decoding the same file to memory, and painting the two colour layouts
// the plug-in could hand out (Format_RGB32, Format_RGB888) onto a QImage and a QPixmap of the
// screen's format.
//
//   QT_PLUGIN_PATH=build/qt6/plugins build/bin/qt6_read_paint FILE.qob [RUNS]
//
// (under xvfb-run for the screen format of X11, or with QT_QPA_PLATFORM=offscreen).
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QImageReader>
#include <QPainter>
#include <QPixmap>
#include <algorithm>
#include <cstdio>
#include <ctime>
#include <functional>
#include <vector>

#include "xqob/xqob.h"

namespace {

struct Timing {
    Timing(const char* name, std::function<void()> run) : name(name), run(std::move(run)) {}
    const char* name;
    std::function<void()> run;
    std::vector<double> ms;
    std::vector<double> cpuMs;  // of every thread of the process: steadier on a busy machine
};

double processCpuMs() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

// What `qob decode` does before writing: the file to memory, with as many threads as help.
void decodeFile(const char* path, int32_t format) {
    xqob_decode_options options;
    xqob_init_decode_options(&options, sizeof options);
    options.threads = 0;
    xqob_image image{};
    image.struct_size = sizeof image;
    image.format = format;
    xqob_decode_file(path, &options, &image, nullptr);
    xqob_free(image.pixels);
}

}  // namespace

int main(int argc, char** argv) {
    QGuiApplication application(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE.qob [RUNS]\n", argv[0]);
        return 2;
    }
    const QString path = QString::fromLocal8Bit(argv[1]);
    const int runs = argc > 2 ? std::max(1, std::atoi(argv[2])) : 9;

    const QImage rgb32 = QImageReader(path).read();
    if (rgb32.isNull()) return 1;
    const QImage rgb888 = rgb32.convertToFormat(QImage::Format_RGB888);
    const QImage::Format screen = QPixmap(1, 1).toImage().format();
    QImage canvas(rgb32.size(), screen);
    std::printf("%s: %dx%d, screen format %d, %d runs\n", argv[1], rgb32.width(), rgb32.height(),
                int(screen), runs);

    std::vector<Timing> timings{
        {"QImageReader read (plug-in, RGB32)", [&] { QImageReader(path).read(); }},
        {"QImageReader read at a tenth of the size",
         [&] {
             QImageReader reader(path);
             reader.setScaledSize(rgb32.size() / 10);
             reader.read();
         }},
        {"xqob_decode_file to memory (RGB)", [&] { decodeFile(argv[1], XQOB_FORMAT_RGB); }},
        {"xqob_decode_file to memory (BGRA)", [&] { decodeFile(argv[1], XQOB_FORMAT_BGRA); }},
        {"drawImage RGB32 onto screen-format QImage",
         [&] { QPainter(&canvas).drawImage(0, 0, rgb32); }},
        {"drawImage RGB888 onto screen-format QImage",
         [&] { QPainter(&canvas).drawImage(0, 0, rgb888); }},
        {"QPixmap::fromImage(RGB32)", [&] { QPixmap::fromImage(rgb32); }},
        {"QPixmap::fromImage(RGB888)", [&] { QPixmap::fromImage(rgb888); }},
    };
    for (int run = 0; run < runs; ++run) {
        for (Timing& timing : timings) {
            QElapsedTimer timer;
            const double cpuBefore = processCpuMs();
            timer.start();
            timing.run();
            timing.ms.push_back(double(timer.nsecsElapsed()) / 1e6);
            timing.cpuMs.push_back(processCpuMs() - cpuBefore);
        }
    }
    std::printf("%-45s %10s %10s\n", "median of each", "wall ms", "CPU ms");
    for (const Timing& timing : timings) {
        std::printf("%-45s %10.2f %10.2f\n", timing.name, median(timing.ms), median(timing.cpuMs));
    }
    return 0;
}
