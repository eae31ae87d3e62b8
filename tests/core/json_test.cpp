#include "core/json.h"

#include <gtest/gtest.h>

namespace quillmer {
namespace {

TEST(JsonEncoder, WritesSortedPrettyOutputWithEscapedSlashes) {
    Json object = {{"zeta", 1}, {"alpha", "a/b"}, {"Mid", Json::array({true, nullptr})}, {"empty", Json::object()}};
    EXPECT_EQ(encodeJSON(object),
              "{\n"
              "  \"Mid\" : [\n"
              "    true,\n"
              "    null\n"
              "  ],\n"
              "  \"alpha\" : \"a\\/b\",\n"
              "  \"empty\" : {},\n"
              "  \"zeta\" : 1\n"
              "}");
    EXPECT_EQ(encodeCompactJSON(object), R"({"Mid":[true,null],"alpha":"a\/b","empty":{},"zeta":1})");
}

TEST(JsonEncoder, EscapesControlCharactersAndKeepsUnicode) {
    EXPECT_EQ(encodeCompactJSON("q\"\\\n\t\x01 · é"), "\"q\\\"\\\\\\n\\t\\u0001 · é\"");
}

TEST(JsonEncoder, ReplacesInvalidUTF8SoOutputStaysReadable) {
    const std::string encoded = encodeCompactJSON(std::string("a\xFF" "b\xC3"));
    EXPECT_EQ(encoded, "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\"");
    EXPECT_NO_THROW(parseJSON(encoded));
}

TEST(JsonEncoder, WritesNumbersInShortestRoundTripForm) {
    EXPECT_EQ(encodeCompactJSON(Json::array({75.5, 0.1, 20.0, 1e21, -3, 18446744073709551615ULL})),
              "[75.5,0.1,20,1e+21,-3,18446744073709551615]");
    for (double value : {0.1 + 0.2, 1.0 / 3.0, 123456.789e-12}) {
        EXPECT_EQ(parseJSON(encodeCompactJSON(value)).get<double>(), value);
    }
    EXPECT_THROW(encodeJSON(Json(std::nan(""))), EncodingError);
    EXPECT_THROW(encodeJSON(Json(INFINITY)), EncodingError);
}

TEST(JsonDecoder, RefusesMalformedAndOverlyDeepInput) {
    EXPECT_THROW(parseJSON(""), DecodingError);
    EXPECT_THROW(parseJSON("{\"a\": }"), DecodingError);
    EXPECT_THROW(parseJSON("{} trailing"), DecodingError);
    EXPECT_THROW(parseJSON("\"\xFF\""), DecodingError);
    EXPECT_THROW(parseJSON(std::string(100000, '[') + std::string(100000, ']')), DecodingError);
    EXPECT_NO_THROW(parseJSON(std::string(200, '[') + std::string(200, ']')));
}

struct Sample {
    std::string name;
    std::optional<double> score;
    static Sample fromJSON(const Json& json) {
        JsonObjectReader reader(json, "Sample");
        return {reader.required<std::string>("name"), reader.optional<double>("score")};
    }
    Json toJSON() const {
        Json json = Json::object();
        putJSON(json, "name", name);
        putJSON(json, "score", score);
        return json;
    }
};

TEST(JsonObjectReader, RequiredOptionalAndWrongTypes) {
    const auto decode = [](const char* text) { return Sample::fromJSON(parseJSON(text)); };
    EXPECT_EQ(decode(R"({"name":"a"})").score, std::nullopt);
    EXPECT_EQ(decode(R"({"name":"a","score":null})").score, std::nullopt);
    EXPECT_EQ(decode(R"({"name":"a","score":2})").score, 2.0);
    EXPECT_THROW(decode(R"({"score":2})"), DecodingError);
    EXPECT_THROW(decode(R"({"name":null})"), DecodingError);
    EXPECT_THROW(decode(R"({"name":"a","score":"2"})"), DecodingError);
    EXPECT_THROW(decode(R"([1])"), DecodingError);
    try {
        decode("{}");
        FAIL();
    } catch (const DecodingError& error) {
        EXPECT_NE(std::string(error.what()).find("\"name\""), std::string::npos);
    }
    EXPECT_EQ(encodeCompactJSON(Sample{"x", std::nullopt}.toJSON()), R"({"name":"x"})");
}

TEST(JsonValues, IntegersMustBeWholeAndInRange) {
    int i = 0;
    uint32_t u = 0;
    EXPECT_TRUE(decodeJSONValue(parseJSON("1920.0"), i));
    EXPECT_EQ(i, 1920);
    EXPECT_FALSE(decodeJSONValue(parseJSON("1920.5"), i));
    EXPECT_FALSE(decodeJSONValue(parseJSON("3000000000"), i));
    EXPECT_TRUE(decodeJSONValue(parseJSON("4294967295"), u));
    EXPECT_FALSE(decodeJSONValue(parseJSON("4294967296"), u));
    EXPECT_FALSE(decodeJSONValue(parseJSON("-1"), u));
    EXPECT_FALSE(decodeJSONValue(parseJSON("true"), i));
    std::vector<int> list;
    EXPECT_TRUE(decodeJSONValue(parseJSON("[1,2]"), list));
    EXPECT_FALSE(decodeJSONValue(parseJSON("[1,\"2\"]"), list));
}

}  // namespace
}  // namespace quillmer
