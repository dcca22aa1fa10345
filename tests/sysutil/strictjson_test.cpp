// Strict reading of JSON from pages, back ends and stored records.

#include "sysutil/strictjson.h"

#include <QJsonArray>
#include <QJsonObject>
#include <gtest/gtest.h>

using sysutil::hasUniqueKeys;
using sysutil::parseJson;

TEST(StrictJson, WhatJsonStringifyWritesIsTaken)
{
    const char* const texts[] = {
        R"({"f":"getPrinterInfo","a":["Büro \"3\"",1,true,null,{"x":[{"x":1},{"x":2}]}]})",
        R"({"a":{"a":{"a":[]}},"b":"a","c":["a","a"]})",
        R"([{"k":1},{"k":2}])",
        R"({"\u00e9":1,"e\u0301":2,"\ud83d\ude00":3,"😁":4})",
        R"({})",
    };
    for (const char* text : texts) {
        EXPECT_TRUE(hasUniqueKeys(text)) << text;
        QJsonParseError error{};
        EXPECT_FALSE(parseJson(text, &error).isNull()) << text;
        EXPECT_EQ(error.error, QJsonParseError::NoError) << text;
    }
}

TEST(StrictJson, AKeyNamedTwiceIsRefusedHoweverItIsSpelt)
{
    const char* const texts[] = {
        R"({"f":"a","f":"b"})",
        R"({"f":"x","a":[1],"a":[2]})",
        R"({"a":{"k":1,"k":{}}})",
        R"([1,{"k":1,"j":2,"k":3}])",
        R"({"a":1,"\u0061":2})",
        R"({"\/":1,"/":2})",
        R"({"\ud83d\ude00":1,"😀":2})",
        R"({"é":1,"\u00E9":2})",
    };
    for (const char* text : texts) {
        EXPECT_FALSE(hasUniqueKeys(text)) << text;
        QJsonParseError error{};
        EXPECT_TRUE(parseJson(text, &error).isNull()) << text;
        EXPECT_EQ(error.error, QJsonParseError::IllegalValue) << text;
    }
}

TEST(StrictJson, KeysThatCannotBeComparedAndBrokenTextAreRefused)
{
    const QByteArray texts[] = {
        R"({"\ud800":1})",                // lone high surrogate
        R"({"\udc00x":1})",               // lone low surrogate
        QByteArray("{\"a\xff\":1}"),      // not UTF-8
        QByteArray("{\"\xc0\xaf\":1}"),   // overlong
        R"({"a":[1,2})",                  // brackets that do not pair
        R"({"a":"unfinished)",
        R"({"a\q":1})",
        R"({"a\u12":1})",
    };
    for (const QByteArray& text : texts) {
        EXPECT_FALSE(hasUniqueKeys(text)) << text.toStdString();
        EXPECT_TRUE(parseJson(text).isNull()) << text.toStdString();
    }
    // Inside values the parser decides, as before.
    EXPECT_TRUE(hasUniqueKeys(R"({"a":"\ud800"})"));
    EXPECT_TRUE(hasUniqueKeys(QByteArray("{\"a\":\"\xff\"}")));
}

TEST(StrictJson, NestingStopsAtTheParsersOwnLimit)
{
    const int limit = sysutil::kMaxJsonDepth;
    EXPECT_TRUE(hasUniqueKeys(QByteArray(limit, '[') + QByteArray(limit, ']')));
    EXPECT_FALSE(hasUniqueKeys(QByteArray(limit + 1, '[') + QByteArray(limit + 1, ']')));
    EXPECT_FALSE(hasUniqueKeys(QByteArray(100000, '[')));
}
