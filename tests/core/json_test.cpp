#include "core/json.h"

#include <gtest/gtest.h>

#include "support/thrown.h"

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

TEST(JsonEncoder, EscapesReplacesInvalidUTF8AndWritesShortestNumbers) {
    const std::pair<Json, std::string> cases[] = {
        {"q\"\\\n\t\x01 · é", "\"q\\\"\\\\\\n\\t\\u0001 · é\""},
        {std::string("a\xFF" "b\xC3"), "\"a\xEF\xBF\xBD" "b\xEF\xBF\xBD\""},  // replaced, so it stays readable
        {Json::array({75.5, 0.1, 20.0, 1e21, -3, 18446744073709551615ULL}), "[75.5,0.1,20,1e+21,-3,18446744073709551615]"},
    };
    for (const auto& [value, text] : cases) EXPECT_EQ(encodeCompactJSON(value), text);
    for (double value : {0.1 + 0.2, 1.0 / 3.0, 123456.789e-12}) EXPECT_EQ(parseJSON(encodeCompactJSON(value)).get<double>(), value);
    EXPECT_THROW(encodeJSON(Json(std::nan(""))), EncodingError);
    EXPECT_THROW(encodeJSON(Json(INFINITY)), EncodingError);
}

TEST(JsonDecoder, RefusesMalformedAndOverlyDeepInputAndIntegersThatAreNotWholeOrInRange) {
    for (const std::string& text : {std::string(), std::string("{\"a\": }"), std::string("{} trailing"), std::string("\"\xFF\""),
                                    std::string(100000, '[') + std::string(100000, ']')})
        EXPECT_THROW(parseJSON(text), DecodingError) << text.substr(0, 20);
    EXPECT_NO_THROW(parseJSON(std::string(200, '[') + std::string(200, ']')));

    int i = 0;
    uint32_t u = 0;
    std::vector<int> list;
    EXPECT_TRUE(decodeJSONValue(parseJSON("1920.0"), i) && i == 1920);
    EXPECT_TRUE(decodeJSONValue(parseJSON("4294967295"), u));
    EXPECT_TRUE(decodeJSONValue(parseJSON("[1,2]"), list));
    for (const char* text : {"1920.5", "3000000000", "true"}) EXPECT_FALSE(decodeJSONValue(parseJSON(text), i)) << text;
    for (const char* text : {"4294967296", "-1"}) EXPECT_FALSE(decodeJSONValue(parseJSON(text), u)) << text;
    EXPECT_FALSE(decodeJSONValue(parseJSON("[1,\"2\"]"), list));
}

TEST(JsonObjectReader, RequiredOptionalNullAndWrongTypes) {
    const auto score = [](const char* text) { return JsonObjectReader(parseJSON(text), "Sample").optional<double>("score"); };
    const auto name = [](const char* text) { return JsonObjectReader(parseJSON(text), "Sample").required<std::string>("name"); };
    EXPECT_EQ(score(R"({})"), std::nullopt);
    EXPECT_EQ(score(R"({"score":null})"), std::nullopt);
    EXPECT_EQ(score(R"({"score":2})"), 2.0);
    EXPECT_THROW(score(R"({"score":"2"})"), DecodingError);
    EXPECT_THROW(name(R"({"name":null})"), DecodingError);
    EXPECT_THROW(name(R"([1])"), DecodingError);
    EXPECT_NE(std::string(testing::thrown<DecodingError>([&] { name("{}"); }).value().what()).find("\"name\""),
              std::string::npos);
    Json written = Json::object();
    putJSON(written, "score", std::optional<double>());
    EXPECT_EQ(encodeCompactJSON(written), "{}");
}

}  // namespace
}  // namespace quillmer
