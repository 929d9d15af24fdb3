// Reading: the header is peeked (size and format without decoding, any device), the QImage
// is allocated at its final size, and the library decodes through a read callback straight
// into the QImage's rows at its bytesPerLine. Writing: the QImage's rows go to the encoder
// at their own stride, converted only when Qt's layout is not one the encoder takes.
#include "qob_handler.h"

#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QVariant>
#include <QtEndian>
#include <algorithm>

Q_LOGGING_CATEGORY(lcQob, "xqob.imageformats.qob")

namespace {

// Colour pictures become Format_RGB32, which Qt paints without a conversion: its 0xffRRGGBB
// words are the library's B, G, R, A bytes on a little-endian machine.
#if Q_BYTE_ORDER == Q_LITTLE_ENDIAN
constexpr QImage::Format kColourFormat = QImage::Format_RGB32;
constexpr int32_t kColourLayout = XQOB_FORMAT_BGRA;
#else
constexpr QImage::Format kColourFormat = QImage::Format_RGB888;
constexpr int32_t kColourLayout = XQOB_FORMAT_RGB;
#endif

// The longest header: the 14 fixed bytes and the optional 10-byte block.
constexpr qint64 kLongestHeader = 24;
// How long a sequential device (a pipe, a socket) may keep us waiting for its next bytes.
constexpr int kReadyReadWaitMs = 30000;

// Asks device for more bytes when a sequential one has none yet; false at its end.
bool waitForMore(QIODevice* device) {
    return device->isSequential() && device->waitForReadyRead(kReadyReadWaitMs);
}

size_t readDevice(void* opaque, void* buffer, size_t size) {
    auto* device = static_cast<QIODevice*>(opaque);
    auto* out = static_cast<char*>(buffer);
    size_t total = 0;
    while (total < size) {
        const qint64 got = device->read(out + total, qint64(size - total));
        // Pipes and sockets (QProcess, QAbstractSocket) answer -1 once they are over.
        if (got < 0 && device->isSequential()) break;
        if (got < 0) return total > 0 ? total : size_t(-1);
        if (got == 0 && !waitForMore(device)) break;
        total += size_t(got);
    }
    return total;
}

QImage::Format pictureFormat(const xqob_info& info) {
    return info.gray ? QImage::Format_Grayscale8 : kColourFormat;
}

// Gray QImages, and palettes whose colours are all gray, are stored as gray pictures.
bool storesGray(const QImage& image) {
    switch (image.format()) {
        case QImage::Format_Grayscale8:
        case QImage::Format_Grayscale16:
            return true;
        case QImage::Format_Mono:
        case QImage::Format_MonoLSB:
        case QImage::Format_Indexed8:
            return image.isGrayscale();
        default:
            return false;
    }
}

// QOB has no alpha: pixels are blended over white, rounded to nearest as `qob encode` does,
// into gray or RGB rows. Returns whether any pixel was not opaque.
bool compositeOverWhite(const QImage& source, bool gray, QImage* flat) {
    const QImage argb = source.convertToFormat(QImage::Format_ARGB32);
    *flat = QImage(argb.size(), gray ? QImage::Format_Grayscale8 : QImage::Format_RGB888);
    if (flat->isNull()) return false;
    const int channels = gray ? 1 : 3;
    bool translucent = false;
    for (int y = 0; y < argb.height(); ++y) {
        const auto* in = reinterpret_cast<const QRgb*>(argb.constScanLine(y));
        uchar* out = flat->scanLine(y);
        for (int x = 0; x < argb.width(); ++x) {
            const uint alpha = uint(qAlpha(in[x]));
            translucent |= alpha != 255;
            const uint samples[3] = {uint(qRed(in[x])), uint(qGreen(in[x])), uint(qBlue(in[x]))};
            for (int c = 0; c < channels; ++c) {
                out[x * channels + c] =
                    uchar((samples[c] * alpha + 255 * (255 - alpha) + 127) / 255);
            }
        }
    }
    return translucent;
}

}  // namespace

QobHandler::QobHandler() {
    info_.struct_size = sizeof info_;
    failure_.struct_size = sizeof failure_;
}

bool QobHandler::canRead(QIODevice* device) {
    return device != nullptr && device->peek(3) == "QOB";
}

bool QobHandler::canRead() const {
    if (!canRead(device())) return false;
    setFormat("qob");
    return true;
}

bool QobHandler::peekHeader() const {
    if (headerPeeked_) return headerValid_;
    headerPeeked_ = true;
    if (device() == nullptr) {
        qstrncpy(failure_.message, "no device to read from", sizeof failure_.message);
        return false;
    }
    // A sequential device may hand out its first bytes in pieces.
    QByteArray head = device()->peek(kLongestHeader);
    while (head.size() < kLongestHeader) {
        const int had = head.size();
        head = device()->peek(kLongestHeader);
        if (head.size() == had && !waitForMore(device())) break;
    }
    headerValid_ =
        xqob_info_memory(head.constData(), size_t(head.size()), &info_, &failure_) == XQOB_OK;
    return headerValid_;
}

bool QobHandler::fail(const char* message) const {
    const auto* file = qobject_cast<const QFile*>(device());
    if (file != nullptr && !file->fileName().isEmpty()) {
        qCWarning(lcQob, "%s: %s", qUtf8Printable(file->fileName()), message);
    } else {
        qCWarning(lcQob, "%s", message);
    }
    return false;
}

bool QobHandler::read(QImage* image) {
    if (!peekHeader()) return fail(failure_.message);
    const QSize size(info_.width, info_.height);
    char message[160];
    if (size.isEmpty()) {
        qsnprintf(message, sizeof message, "QOB picture of %d x %d pixels has nothing to show",
                  size.width(), size.height());
        return fail(message);
    }
    const quint64 pixels = quint64(size.width()) * quint64(size.height());
    if (pixels > XQOB_DEFAULT_MAX_PIXELS) {
        qsnprintf(message, sizeof message, "picture of %d x %d exceeds the limit of %llu pixels",
                  size.width(), size.height(), (unsigned long long)XQOB_DEFAULT_MAX_PIXELS);
        return fail(message);
    }
    const QImage::Format format = pictureFormat(info_);
#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
    // QImageReader's allocation limit, counted as Qt counts it: 32-bit aligned rows, in MiB.
    const int bits = QImage::toPixelFormat(format).bitsPerPixel();
    const quint64 rowBytes = ((quint64(size.width()) * quint64(bits) + 31) >> 5) << 2;
    const quint64 mebibytes = (rowBytes * quint64(size.height())) >> 20;
    const int limit = QImageReader::allocationLimit();
    if (limit > 0 && mebibytes > quint64(limit)) {
        qsnprintf(message, sizeof message,
                  "picture of %d x %d needs %llu MiB, above QImageReader's allocation limit of "
                  "%d MiB",
                  size.width(), size.height(), (unsigned long long)mebibytes, limit);
        return fail(message);
    }
#endif
    QImage picture(size, format);
    if (picture.isNull()) {
        qsnprintf(message, sizeof message, "not enough memory for a picture of %d x %d",
                  size.width(), size.height());
        return fail(message);
    }

    xqob_decode_options options;
    xqob_init_decode_options(&options, sizeof options);
    options.max_pixels = XQOB_DEFAULT_MAX_PIXELS;
    options.threads = 0;  // a second thread for large pictures, where it pays
    xqob_image target{};
    target.struct_size = sizeof target;
    target.format = info_.gray ? XQOB_FORMAT_GRAY : kColourLayout;
    target.pixels = picture.bits();
    target.stride = size_t(picture.bytesPerLine());
    target.buffer_size = size_t(picture.sizeInBytes());
    xqob_error error{};
    error.struct_size = sizeof error;
    const int32_t status = xqob_decode_callback(readDevice, device(), &options, &target, &error);
    if (status == XQOB_ERROR_READ_FAILED) {
        const QByteArray reason = device()->errorString().toUtf8();
        qsnprintf(message, sizeof message, "cannot read the picture: %s", reason.constData());
        return fail(message);
    }
    if (status != XQOB_OK) return fail(error.message);

    if (scaledSize_.isValid() && !scaledSize_.isEmpty() && scaledSize_ != size) {
        picture = picture.scaled(scaledSize_, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                      .convertToFormat(format);
    }
    *image = picture;
    return true;
}

bool QobHandler::write(const QImage& image) {
    if (image.isNull()) return fail("no picture to write");
    const bool gray = storesGray(image);
    QImage rows;
    int32_t layout = gray ? XQOB_FORMAT_GRAY : XQOB_FORMAT_RGB;
    if (image.hasAlphaChannel()) {
        if (compositeOverWhite(image, gray, &rows)) {
            qCInfo(lcQob, "transparent pixels composited over white: QOB has no alpha");
        }
    } else if (gray) {
        rows = image.convertToFormat(QImage::Format_Grayscale8);
    } else if (image.format() == kColourFormat) {
        rows = image;
        layout = kColourLayout;
    } else {
        rows = image.convertToFormat(QImage::Format_RGB888);
    }
    if (rows.isNull()) return fail("not enough memory to convert the picture");

    xqob_encode_options options;
    xqob_init_encode_options(&options, sizeof options);
    if (quality_ >= 0) options.quality = std::min(quality_, 100);
    xqob_image source{};
    source.struct_size = sizeof source;
    source.format = layout;
    source.width = rows.width();
    source.height = rows.height();
    source.stride = size_t(rows.bytesPerLine());
    source.pixels = const_cast<uint8_t*>(rows.constBits());  // only read by the encoder
    uint8_t* bytes = nullptr;
    size_t byteCount = 0;
    xqob_error error{};
    error.struct_size = sizeof error;
    if (xqob_encode(&source, &options, &bytes, &byteCount, &error) != XQOB_OK) {
        return fail(error.message);
    }
    const qint64 written = device()->write(reinterpret_cast<const char*>(bytes), qint64(byteCount));
    xqob_free(bytes);
    if (written != qint64(byteCount)) {
        const QByteArray reason = device()->errorString().toUtf8();
        char message[200];
        qsnprintf(message, sizeof message, "cannot write the QOB file: %s", reason.constData());
        return fail(message);
    }
    return true;
}

QVariant QobHandler::option(ImageOption option) const {
    switch (option) {
        case Size:
            return peekHeader() ? QVariant(QSize(info_.width, info_.height)) : QVariant();
        case ImageFormat:
            return peekHeader() ? QVariant(pictureFormat(info_)) : QVariant();
        case ScaledSize:
            return scaledSize_;
        case Quality:
            return quality_;
        default:
            return {};
    }
}

void QobHandler::setOption(ImageOption option, const QVariant& value) {
    if (option == ScaledSize) scaledSize_ = value.toSize();
    if (option == Quality) quality_ = value.toInt();
}

bool QobHandler::supportsOption(ImageOption option) const {
    return option == Size || option == ImageFormat || option == ScaledSize || option == Quality;
}
