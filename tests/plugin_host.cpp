// The host harness drives the exports end to end, as the viewer would.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "tests/support/qob_files.h"
#include "xqob/decoder/decode_picture.h"

namespace xqob {
namespace {

int runHost(const std::string& arguments) {
    const std::string command = std::string(XQOB_HOST_PATH) + " " + arguments + " 2>/dev/null";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(HostHarness, WritesTheDecodedRowsAsPnm) {
    for (bool gray : {true, false}) {
        test::HeaderFields fields;
        fields.gray = gray;
        fields.width = 19;
        fields.height = 5;
        std::vector<uint8_t> payload(300);
        for (size_t i = 0; i < payload.size(); ++i) payload[i] = uint8_t(i * 91 + 7);
        const std::vector<uint8_t> bytes = test::qobFile(fields, payload);
        const std::string in = test::writeTempFile("host.qob", bytes);
        const std::string out = in + ".pnm";

        ASSERT_EQ(runHost(std::string(XQOB_PLUGIN_PATH) + " " + in + " " + out), 0);
        const size_t channels = gray ? 1 : 3;
        std::vector<uint8_t> expected(19 * 5 * channels);
        DecodeRequest request;
        request.data = bytes.data();
        request.size = bytes.size();
        ASSERT_EQ(decodePicture(request, expected.data()), 0);
        const std::string prefix = std::string(gray ? "P5" : "P6") + "\n19 5\n255\n";
        expected.insert(expected.begin(), prefix.begin(), prefix.end());
        EXPECT_EQ(test::readFileBytes(out), expected) << (gray ? "gray" : "colour");
    }
}

TEST(HostHarness, ExitStatus) {
    const std::string bad = test::writeTempFile("host-bad.qob", {'Q', 'O', 'X'});
    const std::string out = bad + ".pnm";
    EXPECT_EQ(runHost(std::string(XQOB_PLUGIN_PATH) + " " + bad + " " + out), 1);
    EXPECT_EQ(runHost(std::string(XQOB_PLUGIN_PATH) + " /nonexistent.qob " + out), 1);
    EXPECT_EQ(runHost(std::string(XQOB_PLUGIN_PATH) + " " + bad), 2);
    EXPECT_EQ(runHost("/nonexistent/libxqob.so " + bad + " " + out), 2);
}

}  // namespace
}  // namespace xqob
