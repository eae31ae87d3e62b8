#include "app/desktop/loopback_media_server.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <future>
#include <iostream>
#include <sstream>

#include "app/review_renderer_scheme.h"
#include "support/http_test_client.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

const std::string kBundle = "6C0E3F0A-1B7D-4C44-9E57-0D1F6A3C2B11";

testing::HttpAnswer request(uint16_t port, const std::string& method, const std::string& path,
                            const std::string& headers = "") {
    return testing::serveWhile([=] { return testing::httpRequest(port, method, path, headers); });
}

// The path part of the server's URL for a scheme URL.
std::string pathOf(const std::string& url) { return url.substr(url.find('/', std::string("http://").size())); }

uint64_t residentBytes() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

class LoopbackMediaServerTest : public ::testing::Test {
protected:
    LoopbackMediaServerTest() : scheme(std::nullopt) {
        std::string bytes(1000, '\0');
        for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>('a' + i % 26);
        testing::writeTestFile(folder / "screen.mp4", bytes);
        scheme.registerMedia(kBundle, folder / "screen.mp4");
    }

    std::string mediaPath() const { return pathOf(server.pageURL("quillmer-review://media/" + kBundle + "/screen.mp4")); }

    testing::TemporaryFolder folder;
    ReviewRendererScheme scheme;
    LoopbackMediaServer server{scheme};
};

TEST_F(LoopbackMediaServerTest, MapsOnlyMediaURLsOntoTheLoopbackAddressAndRefusesRequestsWithoutTheToken) {
    const std::string url = server.pageURL("quillmer-review://media/" + kBundle + "/screen.mp4");
    const std::string prefix = "http://127.0.0.1:" + std::to_string(server.port()) + "/media/";
    ASSERT_EQ(url.rfind(prefix, 0), 0u) << url;
    const std::string token = url.substr(prefix.size(), url.find('/', prefix.size()) - prefix.size());
    EXPECT_EQ(token.size(), 64u);
    EXPECT_EQ(url.substr(prefix.size() + token.size()), "/" + kBundle + "/screen.mp4");
    EXPECT_EQ(server.pageURL("quillmer-review://evidence/x/frames/a.png"), "quillmer-review://evidence/x/frames/a.png");

    LoopbackMediaServer other(scheme);
    EXPECT_NE(other.pageURL("quillmer-review://media/a"), server.pageURL("quillmer-review://media/a"))
        << "each server has its own port and token";

    std::string wrongToken = token;
    wrongToken[0] = wrongToken[0] == 'a' ? 'b' : 'a';
    for (const std::string& path : {"/media/" + kBundle + "/screen.mp4", "/media/" + wrongToken + "/" + kBundle + "/screen.mp4",
                                    "/media/" + token.substr(0, 63) + "/" + kBundle + "/screen.mp4",
                                    "/" + kBundle + "/screen.mp4", std::string("/"), "/media/" + token}) {
        const auto answer = request(server.port(), "GET", path);
        EXPECT_EQ(answer.status, 404) << path;
        EXPECT_EQ(answer.bodyBytes, 0u) << path;
    }
    EXPECT_EQ(request(server.port(), "GET", mediaPath()).status, 200);
}

TEST_F(LoopbackMediaServerTest, ListensOnTheLoopbackInterfaceOnly) {
    // The kernel's socket table: the listening socket's local address is 127.0.0.1 (0100007F).
    std::ifstream table("/proc/net/tcp");
    std::string line;
    char portText[8];
    std::snprintf(portText, sizeof portText, "%04X", server.port());
    std::vector<std::string> listeners;
    while (std::getline(table, line)) {
        std::istringstream fields(line);
        std::string slot, local, remote, state;
        fields >> slot >> local >> remote >> state;
        if (state == "0A" && local.substr(local.find(':') + 1) == portText) listeners.push_back(local);
    }
    EXPECT_EQ(listeners, std::vector<std::string>{std::string("0100007F:") + portText});
}

TEST_F(LoopbackMediaServerTest, ResolvesLikeTheSchemeAndAnswersByteRanges) {
    const std::string base = mediaPath().substr(0, 7 + 64 + 1);
    EXPECT_EQ(request(server.port(), "GET", base + "unknown-bundle/screen.mp4").status, 404);
    // Only the first component after the host names the video.
    EXPECT_EQ(request(server.port(), "GET", base + kBundle + "/anything-else").status, 200);
    EXPECT_EQ(request(server.port(), "POST", mediaPath()).status, 405);

    const auto head = request(server.port(), "HEAD", mediaPath());
    EXPECT_EQ(head.status, 200);
    EXPECT_EQ(head.headers.at("content-length"), "1000");
    EXPECT_EQ(head.bodyBytes, 0u);
    const auto tail = request(server.port(), "GET", mediaPath(), "Range: bytes=100-\r\n");
    EXPECT_EQ(tail.status, 206);
    EXPECT_EQ(tail.headers.at("content-range"), "bytes 100-999/1000");
    EXPECT_EQ(tail.headers.at("content-length"), "900");
    EXPECT_EQ(tail.headers.at("accept-ranges"), "bytes");
    EXPECT_EQ(tail.headers.at("content-type"), "video/mp4");
    ASSERT_EQ(tail.body.size(), 900u);
    EXPECT_EQ(tail.body.substr(0, 4), "wxyz");  // which range a header names is tested with the scheme
}

TEST_F(LoopbackMediaServerTest, StreamsAWholeLargeFileWithFlatMemory) {
    // 2 GiB of holes: cheap on disk, and far more than the memory a whole-file read could hide.
    constexpr uint64_t kSize = 2ull << 30;
    const auto big = folder / "big.mp4";
    {
        const int descriptor = ::open(big.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
        ASSERT_GE(descriptor, 0);
        ASSERT_EQ(::ftruncate(descriptor, static_cast<off_t>(kSize)), 0);
        ASSERT_EQ(::pwrite(descriptor, "END!", 4, static_cast<off_t>(kSize - 4)), 4);
        ::close(descriptor);
    }
    scheme.registerMedia("big", big);
    const std::string path = pathOf(server.pageURL("quillmer-review://media/big/screen.mp4"));

    const uint64_t before = residentBytes();
    uint64_t peak = before;
    const uint16_t port = server.port();
    const auto result = testing::serveWhile([=] { return testing::httpRequest(port, "GET", path, "", false); },
                                            [&] { peak = std::max(peak, residentBytes()); });
    EXPECT_EQ(result.status, 200);
    EXPECT_EQ(result.headers.at("content-length"), std::to_string(kSize));
    EXPECT_EQ(result.bodyBytes, kSize);

    const double growthMiB = static_cast<double>(peak - before) / (1024.0 * 1024.0);
    std::cout << "resident memory grew by " << growthMiB << " MiB while streaming " << (kSize >> 20) << " MiB\n";
    RecordProperty("rss_growth_kib", std::to_string((peak - before) / 1024));
    EXPECT_LT(peak - before, 64ull << 20) << "the body must not be held in memory";
}

}  // namespace
}  // namespace quillmer
