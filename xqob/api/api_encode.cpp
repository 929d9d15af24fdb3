// The public writing side: a picture in memory to the bytes of a QOB file.
#include <xqob/xqob.hpp>

#include "xqob/encoder/encode_picture.h"

namespace xqob {

Error encode(const Image& image, const EncodeOptions& options, std::vector<uint8_t>* qob) {
    const uint64_t expected = uint64_t(image.width < 0 ? 0 : image.width) *
                              uint64_t(image.height < 0 ? 0 : image.height) *
                              uint64_t(image.channels < 0 ? 0 : image.channels);
    if ((image.channels != 1 && image.channels != 3) || image.pixels.size() != expected) {
        return Error{ErrorCode::invalidArgument,
                     "image needs 1 or 3 channels and width * height * channels bytes"};
    }
    SourceImage source;
    source.pixels = image.pixels.data();
    source.width = image.width;
    source.height = image.height;
    source.channels = image.channels;
    EncoderOptions encoderOptions;
    encoderOptions.quality = options.quality;
    if (options.chromaQuality >= 0) encoderOptions.chromaQuality = options.chromaQuality;
    encoderOptions.gray = options.gray;
    encoderOptions.fullChroma = options.fullChroma;
    if (options.optionalBlock) encoderOptions.headerBlock = std::array<uint8_t, 10>{};
    EncodedPicture encoded;
    std::string message;
    if (!encodePicture(source, encoderOptions, &encoded, false, &message)) {
        return Error{message.find("memory") != std::string::npos ? ErrorCode::outOfMemory
                                                                 : ErrorCode::invalidArgument,
                     message};
    }
    *qob = std::move(encoded.file);
    return Error{};
}

}  // namespace xqob
