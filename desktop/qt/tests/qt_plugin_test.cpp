// The Qt plug-in as programs use it: QImageReader and QImageWriter, the plug-in found on
// QT_PLUGIN_PATH, the pixels compared with the qob tool's.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QImageReader>
#include <QImageWriter>
#include <QProcess>
#include <QTemporaryDir>
#include <cstring>
#include <random>
#include <vector>

#include "xqob/xqob.h"

namespace {

const QString kSamples = QStringLiteral(XQOB_SAMPLES_DIR);
const QString kTool = QStringLiteral(QOB_TOOL_PATH);

struct Sample {
    const char* name;
    QImage::Format format;
};
const Sample kSampleList[] = {
    {"camera-gray.qob", QImage::Format_Grayscale8},
    {"chelsea-q50.qob", QImage::Format_RGB32},
    {"chelsea-q75.qob", QImage::Format_RGB32},
    {"coffee-full-chroma.qob", QImage::Format_RGB32},
};

QByteArray fileBytes(const QString& path) {
    QFile file(path);
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << qPrintable(path);
    return file.readAll();
}

QByteArray runTool(const QStringList& arguments) {
    QProcess tool;
    tool.start(kTool, arguments);
    EXPECT_TRUE(tool.waitForFinished(60000));
    EXPECT_EQ(tool.exitCode(), 0) << tool.readAllStandardError().constData();
    return tool.readAllStandardOutput();
}

// What `qob decode` makes of a file (PNM through standard output), in the given format.
QImage toolPicture(const QString& path, QImage::Format format) {
    QImage image;
    EXPECT_TRUE(image.loadFromData(
        runTool({QStringLiteral("decode"), path, QStringLiteral("-o"), QStringLiteral("-")}),
        "PPM"));
    return image.convertToFormat(format);
}

// The messages of the plug-in's logging category, collected while it lives.
class PluginMessages {
public:
    PluginMessages() { previous_ = qInstallMessageHandler(&collect); }
    ~PluginMessages() {
        qInstallMessageHandler(previous_);
        collected().clear();
    }
    static QStringList& collected() {
        static QStringList messages;
        return messages;
    }

private:
    static void collect(QtMsgType, const QMessageLogContext& context, const QString& message) {
        if (context.category != nullptr &&
            std::strcmp(context.category, "xqob.imageformats.qob") == 0) {
            collected().append(message);
        }
    }
    QtMessageHandler previous_;
};

QImage readBytes(const QByteArray& bytes) {
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "qob");
    return reader.read();
}

// Checks that bytes fail to read with exactly one message, which contains expected.
void expectOneFailure(const QByteArray& bytes, const char* expected, const std::string& what) {
    PluginMessages messages;
    EXPECT_TRUE(readBytes(bytes).isNull()) << what;
    ASSERT_EQ(PluginMessages::collected().size(), 1) << what;
    EXPECT_TRUE(PluginMessages::collected()[0].contains(QString::fromUtf8(expected)))
        << what << ": " << qPrintable(PluginMessages::collected()[0]);
}

// A sequential device (like a pipe) that hands out its bytes a few at a time and counts them.
class TrickleDevice : public QIODevice {
public:
    explicit TrickleDevice(QByteArray bytes) : bytes_(std::move(bytes)) {}
    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override {
        return bytes_.size() - given_ + QIODevice::bytesAvailable();
    }
    qint64 given() const { return given_; }

protected:
    qint64 readData(char* data, qint64 size) override {
        const qint64 count = std::min<qint64>({size, 7, bytes_.size() - given_});
        std::memcpy(data, bytes_.constData() + given_, size_t(count));
        given_ += count;
        return count;
    }
    qint64 writeData(const char*, qint64) override { return -1; }

private:
    QByteArray bytes_;
    qint64 given_ = 0;
};

// A file that fails to read past its first kept bytes.
class FailingFile : public QBuffer {
public:
    FailingFile(const QByteArray& bytes, qint64 kept) : kept_(kept) { setData(bytes); }

protected:
    qint64 readData(char* data, qint64 size) override {
        if (pos() >= kept_) {
            setErrorString(QStringLiteral("input/output error"));
            return -1;
        }
        return QBuffer::readData(data, std::min(size, kept_ - pos()));
    }

private:
    qint64 kept_;
};

// A colour gradient encoded here: small ones so that every truncation can be tried, large
// ones that cost little to decode.
QByteArray encodedGradient(int width, int height) {
    std::vector<uint8_t> pixels(size_t(width) * size_t(height) * 3);
    for (size_t i = 0; i < pixels.size(); ++i) {
        const size_t x = i / 3 % size_t(width), y = i / 3 / size_t(width);
        pixels[i] = uint8_t(x * 6 + y * (i % 3 + 1) * 9);
    }
    xqob_image image{};
    image.struct_size = sizeof image;
    image.format = XQOB_FORMAT_RGB;
    image.width = width;
    image.height = height;
    image.pixels = pixels.data();
    uint8_t* bytes = nullptr;
    size_t size = 0;
    EXPECT_EQ(xqob_encode(&image, nullptr, &bytes, &size, nullptr), XQOB_OK);
    QByteArray file(reinterpret_cast<const char*>(bytes), int(size));
    xqob_free(bytes);
    return file;
}

// What the library makes of bytes, as RGB32; a null image when it fails.
QImage libraryPicture(const QByteArray& bytes) {
    xqob_info info{};
    info.struct_size = sizeof info;
    if (xqob_info_memory(bytes.constData(), size_t(bytes.size()), &info, nullptr) != XQOB_OK) {
        return {};
    }
    QImage image(info.width, info.height, QImage::Format_RGB32);
    xqob_image target{};
    target.struct_size = sizeof target;
    target.format = XQOB_FORMAT_BGRA;
    target.pixels = image.bits();
    target.stride = size_t(image.bytesPerLine());
    target.buffer_size = size_t(image.sizeInBytes());
    const bool ok = xqob_decode_memory(bytes.constData(), size_t(bytes.size()), nullptr, &target,
                                       nullptr) == XQOB_OK;
    return ok ? image : QImage();
}

TEST(QtPlugin, ListsTheFormatAndTheMimeType) {
    EXPECT_TRUE(QImageReader::supportedImageFormats().contains("qob"));
    EXPECT_TRUE(QImageReader::supportedMimeTypes().contains("image/x-qob"));
    EXPECT_TRUE(QImageWriter::supportedImageFormats().contains("qob"));
}

TEST(QtPlugin, SamplesGiveThePixelsOfQobDecode) {
    for (const Sample& sample : kSampleList) {
        const QString path = kSamples + QLatin1Char('/') + QLatin1String(sample.name);
        QImageReader reader(path);
        const QImage image = reader.read();
        ASSERT_FALSE(image.isNull()) << sample.name << ": " << qPrintable(reader.errorString());
        EXPECT_EQ(image.format(), sample.format) << sample.name;
        EXPECT_TRUE(image == toolPicture(path, sample.format)) << sample.name;
        // Found by its content alone too, without a name or a format.
        QBuffer buffer;
        buffer.setData(fileBytes(path));
        buffer.open(QIODevice::ReadOnly);
        QImageReader byContent(&buffer);
        EXPECT_EQ(byContent.format(), "qob") << sample.name;
        EXPECT_TRUE(byContent.read() == image) << sample.name;
    }
}

TEST(QtPlugin, SizeAndFormatComeFromTheHeaderAlone) {
    for (const Sample& sample : kSampleList) {
        const QString path = kSamples + QLatin1Char('/') + QLatin1String(sample.name);
        xqob_info info{};
        info.struct_size = sizeof info;
        ASSERT_EQ(xqob_info_file(qPrintable(path), &info, nullptr), XQOB_OK);
        // The header and a few payload bytes: enough for the size, far too few to decode.
        QBuffer buffer;
        buffer.setData(fileBytes(path).left(40));
        buffer.open(QIODevice::ReadOnly);
        QImageReader reader(&buffer, "qob");
        EXPECT_EQ(reader.size(), QSize(info.width, info.height)) << sample.name;
        EXPECT_EQ(reader.imageFormat(), sample.format) << sample.name;
        EXPECT_EQ(buffer.pos(), 0) << sample.name;
        PluginMessages messages;
        EXPECT_TRUE(reader.read().isNull()) << sample.name;
    }
}

TEST(QtPlugin, SequentialDeviceIsReadOnce) {
    const QString path = kSamples + QStringLiteral("/chelsea-q75.qob");
    const QByteArray bytes = fileBytes(path);
    TrickleDevice device(bytes);
    device.open(QIODevice::ReadOnly);
    QImageReader reader(&device, "qob");
    EXPECT_EQ(reader.size(), QSize(451, 300));
    const QImage image = reader.read();
    EXPECT_TRUE(image == toolPicture(path, QImage::Format_RGB32));
    EXPECT_EQ(device.given(), bytes.size());

    // A pipe whose bytes arrive later than the reader asks for them.
    QProcess pipe;
    pipe.start(QStringLiteral("sh"),
               {QStringLiteral("-c"), QStringLiteral("sleep 0.2; cat \"$0\""), path});
    QImageReader fromPipe(&pipe, "qob");
    EXPECT_TRUE(fromPipe.read() == image);
    pipe.waitForFinished();
}

TEST(QtPlugin, ScaledSize) {
    const QString path = kSamples + QStringLiteral("/camera-gray.qob");
    QImageReader reader(path);
    const QSize full = reader.size();
    const QSize small(full.width() / 4, full.height() / 3);
    reader.setScaledSize(small);
    const QImage image = reader.read();
    ASSERT_EQ(image.size(), small);
    EXPECT_EQ(image.format(), QImage::Format_Grayscale8);
    const QImage expected = toolPicture(path, QImage::Format_Grayscale8)
                                .scaled(small, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                                .convertToFormat(QImage::Format_Grayscale8);
    EXPECT_TRUE(image == expected);
}

struct Damage {
    const char* name;
    int keep;  // bytes kept, -1 for all
    int at;    // where patch goes, -1 for nowhere
    const char* patch;
    int patchSize;
    const char* message;
};
const Damage kDamages[] = {
    {"empty", 0, -1, "", 0, "header ends after 0 bytes"},
    {"not QOB", -1, 2, "X", 1, "not a QOB file"},
    {"quality 101", -1, 3, "\x65", 1, "quality index 101 out of range 0..100"},
    {"header cut", 10, -1, "", 0, "header ends after 10 bytes"},
    {"no payload", 14, -1, "", 0, "payload ends after 0 bytes"},
    {"payload cut", 2000, -1, "", 0, "payload ends after 1986 bytes"},
    {"too large", -1, 6, "\xff\xff\xff\xff", 4, "65535 x 65535 exceeds the limit"},
    {"no columns", -1, 6, "\x00\x00", 2, "has nothing to show"},
};

TEST(QtPlugin, DamagedFilesFailWithOneMessage) {
    const QByteArray sample = fileBytes(kSamples + QStringLiteral("/chelsea-q75.qob"));
    for (const Damage& damage : kDamages) {
        QByteArray bytes = damage.keep < 0 ? sample : sample.left(damage.keep);
        if (damage.at >= 0)
            bytes.replace(damage.at, damage.patchSize, damage.patch, damage.patchSize);
        expectOneFailure(bytes, damage.message, damage.name);
    }
    // A cut in the last bytes of a payload may still decode: then as the library decodes it.
    const QByteArray small = encodedGradient(40, 24);
    for (int keep = 0; keep < small.size(); ++keep) {
        PluginMessages messages;
        const QImage image = readBytes(small.left(keep));
        const std::string what = "small cut to " + std::to_string(keep);
        if (image.isNull()) {
            ASSERT_EQ(PluginMessages::collected().size(), 1) << what;
            EXPECT_TRUE(PluginMessages::collected()[0].contains(QStringLiteral("ends after")))
                << what << ": " << qPrintable(PluginMessages::collected()[0]);
        } else {
            EXPECT_GT(keep, small.size() - 8) << what;
            EXPECT_TRUE(image == libraryPicture(small.left(keep))) << what;
        }
    }
    {
        FailingFile failing(sample, 5000);
        failing.open(QIODevice::ReadOnly);
        PluginMessages messages;
        EXPECT_TRUE(QImageReader(&failing, "qob").read().isNull());
        EXPECT_EQ(PluginMessages::collected(),
                  QStringList(QStringLiteral("cannot read the picture: input/output error")));
    }
    for (int keep = 14; keep < sample.size(); keep += 997) {
        expectOneFailure(sample.left(keep), "payload ends", "cut to " + std::to_string(keep));
    }
}

TEST(QtPlugin, ChangedBytesNeverCrash) {
    const QByteArray sample = fileBytes(kSamples + QStringLiteral("/chelsea-q50.qob"));
    std::mt19937 random(24);
    for (int round = 0; round < 150; ++round) {
        QByteArray bytes = sample;
        for (int change = 0; change < 1 + round % 4; ++change) {
            bytes[int(random() % uint32_t(bytes.size()))] = char(random());
        }
        PluginMessages messages;
        const QImage image = readBytes(bytes);
        EXPECT_EQ(PluginMessages::collected().size(), image.isNull() ? 1 : 0) << round;
        EXPECT_TRUE(image == libraryPicture(bytes)) << round;
    }
}

#if QT_VERSION >= QT_VERSION_CHECK(6, 0, 0)
TEST(QtPlugin, AllocationLimitIsHonoured) {
    const int previous = QImageReader::allocationLimit();
    QImageReader::setAllocationLimit(1);  // MiB; the picture needs 2.4 as RGB32
    expectOneFailure(encodedGradient(1024, 600), "allocation limit of 1 MiB", "limit");
    QImageReader::setAllocationLimit(previous);
}
#endif

// Pictures written through QImageWriter, and the same pictures as PNG through `qob encode`.
struct Written {
    const char* name;
    int quality;  // -1: the default
    QImage::Format format;
    bool translucent;
    bool gray;
};
const Written kWritten[] = {
    {"colour, default quality", -1, QImage::Format_RGB32, false, false},
    {"colour RGB888, quality 90", 90, QImage::Format_RGB888, false, false},
    {"gray, quality 40", 40, QImage::Format_Grayscale8, false, true},
    {"translucent colour", 75, QImage::Format_ARGB32, true, false},
    {"gray palette", 60, QImage::Format_Indexed8, false, true},
};

// A palette picture of 256 grays, indexed by the gray level.
QImage grayPalette(const QImage& gray) {
    QImage indexed(gray.size(), QImage::Format_Indexed8);
    QVector<QRgb> colours;
    for (int level = 0; level < 256; ++level) colours.append(qRgb(level, level, level));
    indexed.setColorTable(colours);
    for (int y = 0; y < gray.height(); ++y) {
        std::memcpy(indexed.scanLine(y), gray.constScanLine(y), size_t(gray.width()));
    }
    return indexed;
}

TEST(QtPlugin, WriterMatchesQobEncode) {
    QTemporaryDir folder;
    const QString png = folder.filePath(QStringLiteral("in.png"));
    const QString qob = folder.filePath(QStringLiteral("out.qob"));
    const QImage photo =
        toolPicture(kSamples + QStringLiteral("/chelsea-q50.qob"), QImage::Format_ARGB32);
    for (const Written& written : kWritten) {
        QImage image = photo;
        if (written.translucent) {
            for (int y = 0; y < image.height(); ++y) {
                auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
                for (int x = 0; x < image.width(); ++x) {
                    line[x] = (line[x] & 0xffffffu) | uint((x + y) % 256) << 24;
                }
            }
        }
        image = image.convertToFormat(written.gray ? QImage::Format_Grayscale8 : written.format);
        if (written.format == QImage::Format_Indexed8) image = grayPalette(image);
        ASSERT_TRUE(image.save(png, "PNG"));
        QStringList arguments{QStringLiteral("encode"), png, QStringLiteral("-o"), qob};
        if (written.quality >= 0)
            arguments << QStringLiteral("-q") << QString::number(written.quality);
        runTool(arguments);

        PluginMessages messages;
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QImageWriter writer(&buffer, "qob");
        writer.setQuality(written.quality);
        ASSERT_TRUE(writer.write(image)) << written.name << qPrintable(writer.errorString());
        EXPECT_TRUE(buffer.data() == fileBytes(qob)) << written.name;
        EXPECT_EQ(PluginMessages::collected().size(), written.translucent ? 1 : 0) << written.name;

        xqob_info info{};
        info.struct_size = sizeof info;
        ASSERT_EQ(
            xqob_info_memory(buffer.data().constData(), size_t(buffer.size()), &info, nullptr),
            XQOB_OK);
        EXPECT_EQ(info.gray, written.gray ? 1 : 0) << written.name;
        EXPECT_EQ(info.quality, written.quality < 0 ? 75 : written.quality) << written.name;
        const QImage back = readBytes(buffer.data());
        EXPECT_TRUE(back == toolPicture(qob, back.format())) << written.name;
    }
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
