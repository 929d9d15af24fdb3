// The file header: accepted and rejected bytes, both lengths, and truncation.
#include <gtest/gtest.h>

#include "tests/support/qob_files.h"
#include "xqob/format/header.h"

namespace xqob {
namespace {

struct HeaderResult {
    int32_t result;
    PictureHeader header;
    DecodeFailure failure;
    int64_t consumed;
};

HeaderResult parse(const std::vector<uint8_t>& bytes) {
    ByteSource source = memorySource(bytes.data(), bytes.size());
    HeaderResult out{};
    out.result = readPictureHeader(&source, &out.header, &out.failure);
    out.consumed = source.consumed;
    return out;
}

std::vector<uint8_t> withPayload(std::vector<uint8_t> bytes) {
    bytes.push_back(0x12);
    bytes.push_back(0x34);
    return bytes;
}

TEST(PictureHeader, WorkedExampleIsAccepted) {
    const HeaderResult r =
        parse(withPayload({'Q', 'O', 'B', 25, 30, 0, 1, 64, 0, 240, 9, 9, 9, 9}));
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.header.gray, 0);
    EXPECT_EQ(r.header.qualityIndex, 25);
    EXPECT_EQ(r.header.lumaQuantiser, 36);
    EXPECT_EQ(r.header.fullChroma, 0);
    EXPECT_EQ(r.header.chromaQuantiser, 30);
    EXPECT_EQ(r.header.width, 320);
    EXPECT_EQ(r.header.height, 240);
    EXPECT_EQ(r.consumed, 14);
}

struct ByteCase {
    const char* name;
    int offset;  // the byte to replace in a valid 14-byte header
    int value;
    bool accepted;
    FailureReason reason;
};

TEST(PictureHeader, SingleByteChecks) {
    const ByteCase cases[] = {
        {"third magic byte A", 2, 'A', false, FailureReason::badSignature},
        {"first magic byte", 0, 'q', false, FailureReason::badSignature},
        {"gray, quality 100", 3, 228, true, FailureReason::none},
        {"quality 101", 3, 101, false, FailureReason::qualityOutOfRange},
        {"gray quality 127", 3, 255, false, FailureReason::qualityOutOfRange},
        {"chroma 80", 4, 80, true, FailureReason::none},
        {"chroma 81", 4, 81, false, FailureReason::chromaOutOfRange},
        {"full chroma 80", 4, 208, true, FailureReason::none},
        {"flags 2", 5, 2, true, FailureReason::none},
        {"flags 4", 5, 4, false, FailureReason::unknownFlags},
        {"flags 0x80", 5, 0x80, false, FailureReason::unknownFlags},
    };
    for (const ByteCase& c : cases) {
        std::vector<uint8_t> bytes = withPayload(test::headerBytes({}));
        bytes[size_t(c.offset)] = uint8_t(c.value);
        const HeaderResult r = parse(bytes);
        EXPECT_EQ(r.result, c.accepted ? 0 : 1) << c.name;
        EXPECT_EQ(r.failure.reason, c.reason) << c.name;
    }
}

TEST(PictureHeader, ThirdMagicByteRejectedAfterThreeBytes) {
    const HeaderResult r = parse(withPayload({'Q', 'O', 'A', 25, 30, 0, 0, 1, 0, 1, 0, 0, 0, 0}));
    EXPECT_EQ(r.result, 1);
    EXPECT_EQ(r.consumed, 3);
}

TEST(PictureHeader, FieldValues) {
    std::vector<uint8_t> bytes = withPayload(test::headerBytes({}));
    bytes[3] = 228;
    bytes[4] = 208;
    bytes[6] = 1, bytes[7] = 0, bytes[8] = 0, bytes[9] = 1;
    const HeaderResult r = parse(bytes);
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.header.gray, 1);
    EXPECT_EQ(r.header.qualityIndex, 100);
    EXPECT_EQ(r.header.lumaQuantiser, 97);
    EXPECT_EQ(r.header.fullChroma, 1);
    EXPECT_EQ(r.header.chromaQuantiser, 80);
    EXPECT_EQ(r.header.width, 256);
    EXPECT_EQ(r.header.height, 1);
}

TEST(PictureHeader, OptionalBlockMovesThePayloadTo24) {
    test::HeaderFields fields;
    fields.flags = 3;
    fields.width = 300;
    fields.height = 7;
    const HeaderResult r = parse(withPayload(test::headerBytes(fields)));
    ASSERT_EQ(r.result, 0);
    EXPECT_EQ(r.consumed, 24);
    EXPECT_EQ(r.header.width, 300);
    EXPECT_EQ(r.header.height, 7);
}

TEST(PictureHeader, QualityTableEnds) {
    EXPECT_EQ(qualityTable[0], 16);
    EXPECT_EQ(qualityTable[40], 48);
    EXPECT_EQ(qualityTable[97], 93);
    EXPECT_EQ(qualityTable[100], 97);
    for (int i = 1; i <= 100; ++i) EXPECT_GE(qualityTable[i], qualityTable[i - 1]) << i;
}

TEST(PictureHeader, TruncationAtEveryOffsetIsRejected) {
    for (int flags : {0, 1}) {
        test::HeaderFields fields;
        fields.flags = flags;
        const std::vector<uint8_t> full = test::headerBytes(fields);
        for (size_t length = 0; length < full.size(); ++length) {
            const std::vector<uint8_t> cut(full.begin(), full.begin() + long(length));
            const HeaderResult r = parse(cut);
            EXPECT_EQ(r.result, 1) << "flags " << flags << " length " << length;
            EXPECT_EQ(r.failure.reason, FailureReason::headerTruncated) << length;
        }
        // The whole header without payload passes here; the payload check comes later.
        EXPECT_EQ(parse(full).result, 0);
    }
}

TEST(PictureHeader, FailureMessagesNameTheProblem) {
    EXPECT_EQ(describeFailure({FailureReason::badSignature, 0}),
              "not a QOB file (signature is not \"QOB\")");
    EXPECT_EQ(describeFailure({FailureReason::qualityOutOfRange, 101}),
              "quality index 101 out of range 0..100");
    EXPECT_EQ(describeFailure({FailureReason::unknownFlags, 4}), "unknown header flags 0x04");
    EXPECT_EQ(describeFailure({FailureReason::payloadExhausted, 3}), "payload ends after 3 bytes");
    EXPECT_EQ(describeFailure({FailureReason::tooLarge, 70000, 70000, 268435456}),
              "picture of 70000 x 70000 exceeds the limit of 268435456 pixels");
    EXPECT_EQ(describeFailure({FailureReason::cannotOpen, ENOENT}),
              "cannot open: No such file or directory");
}

}  // namespace
}  // namespace xqob
