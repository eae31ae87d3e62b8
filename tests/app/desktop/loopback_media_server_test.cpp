#include "app/desktop/loopback_media_server.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>

#include "app/review_renderer_scheme.h"
#include "support/http_test_client.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

const std::string kBundle = "6C0E3F0A-1B7D-4C44-9E57-0D1F6A3C2B11";

testing::HttpAnswer request(uint16_t port, const std::string& method, const std::string& path,
                            const std::string& headers = "", bool keepBody = true) {
    return testing::serveWhile([=] { return testing::httpRequest(port, method, path, headers, keepBody); });
}

// The path part of the server's URL for a scheme URL.
std::string pathOf(const std::string& url) { return url.substr(url.find('/', std::string("http://").size())); }

class LoopbackMediaServerTest : public ::testing::Test {
protected:
    LoopbackMediaServerTest() : scheme(std::nullopt) {
        testing::writeTestFile(folder / "screen.mp4", testing::alphabetBytes(1000));
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

// Bound to 127.0.0.1 alone: another address of this computer (here 127.0.0.2) finds nothing listening,
// as it would if the server listened on every interface.
TEST_F(LoopbackMediaServerTest, ListensOnTheLoopbackAddressOnly) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in other{AF_INET, htons(server.port()), {}, {}};
    ::inet_pton(AF_INET, "127.0.0.2", &other.sin_addr);
    EXPECT_NE(::connect(fd, reinterpret_cast<sockaddr*>(&other), sizeof other), 0);
    ::close(fd);
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
    std::filesystem::resize_file(folder / "screen.mp4", kSize);
    testing::HttpAnswer answer;
    EXPECT_LT(testing::peakMemoryGrowthKiB([&] { answer = request(server.port(), "GET", mediaPath(), "", false); }),
              64 << 10) << "kilobytes: the body must not be held in memory";
    EXPECT_EQ(answer.status, 200);
    EXPECT_EQ(answer.headers.at("content-length"), std::to_string(kSize));
    EXPECT_EQ(answer.bodyBytes, kSize);
}

}  // namespace
}  // namespace quillmer
