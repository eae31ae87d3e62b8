#include "app/review_renderer_scheme.h"

#include <gtest/gtest.h>

#include "core/uuid.h"
#include "support/temporary_folder.h"

namespace quillmer {
namespace {

class ReviewRendererSchemeTest : public ::testing::Test {
protected:
    void SetUp() override {
        testing::writeTestFile(folder / "renderer/index.html", "<html></html>");
        testing::writeTestFile(folder / "renderer/assets/app.js", "console.log(1)");
        testing::writeTestFile(folder / "secret.txt", "outside");
        testing::writeTestFile(folder / "export/frames/before at.png", std::string(1000, 'p'));
        std::filesystem::create_directory_symlink(folder / "renderer/..", folder / "export/escape");
        scheme.registerEvidenceDirectory("B1", folder / "export");
    }

    SchemeResponse ok(const std::string& url, std::optional<std::string_view> range = std::nullopt) {
        auto result = scheme.respond(url, range);
        EXPECT_TRUE(std::holds_alternative<SchemeResponse>(result)) << url;
        return std::holds_alternative<SchemeResponse>(result) ? std::get<SchemeResponse>(result) : SchemeResponse{};
    }

    testing::TemporaryFolder folder;
    ReviewRendererScheme scheme{folder / "renderer"};
};

TEST_F(ReviewRendererSchemeTest, RefusesEscapesTheBaseItselfAndUnknownHosts) {
    for (const char* url : {"quillmer-review://app/", "quillmer-review://app", "quillmer-review://app/../secret.txt",
                            "quillmer-review://app/assets/../../secret.txt", "quillmer-review://app/%2E%2E/secret.txt",
                            "quillmer-review://app/%2e%2e%2fsecret.txt", "quillmer-review://app/missing.html",
                            "quillmer-review://app/assets", "quillmer-review://app/%ZZ", "quillmer-review://app/a%00b",
                            "quillmer-review://evidence/B1/../secret.txt", "quillmer-review://evidence/B1/escape/secret.txt",
                            "quillmer-review://evidence/B1", "quillmer-review://evidence/B2/frames/before%20at.png",
                            "quillmer-review://media/B1/screen.mp4", "quillmer-review://other/index.html",
                            "https://app/index.html", "quillmer-review:/"}) {
        const auto result = scheme.respond(url, std::nullopt);
        ASSERT_TRUE(std::holds_alternative<SchemeFailure>(result)) << url;
        EXPECT_EQ(std::get<SchemeFailure>(result), SchemeFailure::fileDoesNotExist) << url;
    }
    // Without a renderer folder there are no app files at all.
    EXPECT_TRUE(std::holds_alternative<SchemeFailure>(
        ReviewRendererScheme(std::nullopt).respond("quillmer-review://app/index.html", std::nullopt)));
}

TEST_F(ReviewRendererSchemeTest, ServesRendererFilesWithTypesAndEvidenceByEncodedPathAndRanges) {
    const auto page = ok("quillmer-review://app/index.html");
    EXPECT_EQ(page.status, 200);
    EXPECT_EQ(page.header("Content-Type"), "text/html");
    EXPECT_EQ(page.header("Content-Length"), "13");
    EXPECT_EQ(readFileRange(page.file, page.range), "<html></html>");
    EXPECT_EQ(ok("quillmer-review://app/assets/app.js?v=2#x").header("Content-Type"), "text/javascript");

    const std::string url = ReviewRendererScheme::evidenceURL("B1", "frames/before at.png");
    EXPECT_EQ(url, "quillmer-review://evidence/B1/frames/before%20at.png");
    const auto partial = ok(url, "bytes=100-");
    EXPECT_EQ(partial.status, 206);
    EXPECT_EQ(partial.header("Content-Length"), "900");
    EXPECT_EQ(partial.header("Content-Range"), "bytes 100-999/1000");
    EXPECT_EQ(readFileRange(partial.file, partial.range).size(), 900u);
    const auto beyond = ok(url, "bytes=2000-");  // not a range: the whole file
    EXPECT_EQ(beyond.status, 200);
    EXPECT_EQ(beyond.header("Content-Length"), "1000");
    EXPECT_EQ(beyond.header("Content-Range"), std::nullopt);
}

TEST_F(ReviewRendererSchemeTest, MediaComesFromTheSessionNamedByTheExport) {
    const Uuid session = Uuid::random();
    testing::writeTestFile(folder / "Sessions" / session.toString() / "screen.mp4", "mp4");
    testing::writeTestFile(folder / "export/evidence.json", "{\"session\":{\"id\":\"" + session.toString() + "\"}}");
    const auto url = scheme.mediaURL("B1", folder / "export", folder / "Sessions");
    ASSERT_EQ(url, "quillmer-review://media/B1/screen.mp4");
    EXPECT_EQ(ok("quillmer-review://media/B1/anything/else").header("Content-Type"), "video/mp4");

    testing::writeTestFile(folder / "export/evidence.json", "{\"session\":{\"id\":\"../../etc\"}}");
    EXPECT_EQ(scheme.mediaURL("B3", folder / "export", folder / "Sessions"), std::nullopt);
    testing::writeTestFile(folder / "export/evidence.json", "not json");
    EXPECT_EQ(scheme.mediaURL("B4", folder / "export", folder / "Sessions"), std::nullopt);
}

}  // namespace
}  // namespace quillmer
