// The schema validator the CLI tests trust, the published schemas themselves, and the choice of a schema
// from a tarn-cli command line.
#include "support/CliJson.h"
#include "support/JsonSchema.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <gtest/gtest.h>

using namespace tarn;

namespace {

QJsonObject objectOf(const char* json) {
    QJsonParseError error;
    const QJsonDocument d = QJsonDocument::fromJson(QByteArray(json), &error);
    EXPECT_TRUE(d.isObject()) << json << ": " << error.errorString().toStdString();
    return d.object();
}

// A schema with every keyword the published ones use.
const char* const kSchema = R"({
  "$schema": "https://json-schema.org/draft/2020-12/schema",
  "title": "a poll's answer",
  "type": "object",
  "properties": {
    "point": {"type": "string", "pattern": "^t[0-9]+$"},
    "count": {"type": "integer", "minimum": 0, "maximum": 10},
    "kind": {"enum": ["hourly", "daily"]},
    "ok": {"const": true},
    "ratio": {"type": "number"},
    "rows": {"type": "array", "minItems": 1, "items": {"$ref": "#/$defs/row"}},
    "stored": {"type": "object", "additionalProperties": {"type": "integer"}},
    "due": {"oneOf": [{"type": "null"}, {"type": "integer", "minimum": 1}]},
    "note": {"anyOf": [{"type": "string"}, {"type": "boolean"}]}
  },
  "required": ["point", "count", "rows"],
  "additionalProperties": false,
  "$defs": {
    "row": {"type": "object", "properties": {"text": {"type": "string"}}, "required": ["text"],
            "additionalProperties": false}
  }
})";

const char* const kFitting =
    R"({"point": "t12", "count": 3, "kind": "daily", "ok": true, "ratio": 0.5, "rows": [{"text": "a"}],
        "stored": {"hourly": 24}, "due": null, "note": false})";

} // namespace

TEST(JsonSchema, AcceptsWhatFitsAndNamesThePlaceOfEachFault) {
    const QJsonObject schema = objectOf(kSchema);
    EXPECT_EQ(test::schemaViolations(objectOf(kFitting), schema), QStringList());
    EXPECT_EQ(test::schemaViolations(objectOf(R"({"point": "t1", "count": 0, "rows": [{"text": ""}],
                                                   "due": 4, "note": "x"})"),
                                     schema),
              QStringList());

    struct Case {
        const char* what;
        const char* document;
        const char* expected; // the start of the one violation reported
    };
    const Case cases[] = {
        {"a required key missing", R"({"point": "t1", "rows": [{"text": "a"}]})",
         "/: the required key \"count\""},
        {"a number as text", R"({"point": "t1", "count": "3", "rows": [{"text": "a"}]})",
         "/count: string where"},
        {"a fraction for an integer", R"({"point": "t1", "count": 2.5, "rows": [{"text": "a"}]})",
         "/count: number where the schema wants integer"},
        {"an extra key where closed", R"({"point": "t1", "count": 3, "rows": [{"text": "a"}], "more": 1})",
         "/: the key \"more\" is not in the schema"},
        {"an enum miss", R"({"point": "t1", "count": 3, "kind": "weekly", "rows": [{"text": "a"}]})",
         "/kind: \"weekly\" is none of"},
        {"a const miss", R"({"point": "t1", "count": 3, "ok": false, "rows": [{"text": "a"}]})",
         "/ok: not the constant"},
        {"a pattern miss", R"({"point": "x1", "count": 3, "rows": [{"text": "a"}]})",
         "/point: \"x1\" does not match"},
        {"below the minimum", R"({"point": "t1", "count": -1, "rows": [{"text": "a"}]})",
         "/count: -1 is below"},
        {"above the maximum", R"({"point": "t1", "count": 11, "rows": [{"text": "a"}]})",
         "/count: 11 is above"},
        {"too few items", R"({"point": "t1", "count": 3, "rows": []})", "/rows: 0 items"},
        {"an item through a reference",
         R"({"point": "t1", "count": 3, "rows": [{"text": "a"}, {"text": 7}]})",
         "/rows/1/text: number where"},
        {"an extra key in a referenced object",
         R"({"point": "t1", "count": 3, "rows": [{"text": "a", "x": 1}]})", "/rows/0: the key \"x\""},
        {"a map's value of the wrong type", R"({"point": "t1", "count": 3, "rows": [{"text": "a"}],
                                               "stored": {"daily": "2"}})",
         "/stored/daily: string where"},
        {"no alternative of oneOf", R"({"point": "t1", "count": 3, "rows": [{"text": "a"}], "due": 0})",
         "/due: fits 0 of the 2"},
        {"no alternative of anyOf", R"({"point": "t1", "count": 3, "rows": [{"text": "a"}], "note": 5})",
         "/note: fits 0 of the 2"},
        {"an array for the object", R"({"point": "t1", "count": 3, "rows": [["a"]]})",
         "/rows/0: array where"},
    };
    for (const Case& c : cases) {
        const QStringList v = test::schemaViolations(objectOf(c.document), schema);
        ASSERT_EQ(v.size(), 1) << c.what << ": " << v.join(QStringLiteral("; ")).toStdString();
        EXPECT_TRUE(v.first().startsWith(QString::fromUtf8(c.expected)))
            << c.what << ": " << v.first().toStdString();
    }
    // oneOf wants exactly one: a value both alternatives take is refused.
    const QJsonObject both = objectOf(R"({"oneOf": [{"type": "integer"}, {"type": "number"}]})");
    EXPECT_EQ(test::schemaViolations(QJsonValue(3), both).size(), 1);
    EXPECT_EQ(test::schemaViolations(QJsonValue(3.5), both), QStringList());
    // A type list takes any of its types.
    const QJsonObject either = objectOf(R"({"type": ["integer", "null"]})");
    EXPECT_EQ(test::schemaViolations(QJsonValue(), either), QStringList());
    EXPECT_EQ(test::schemaViolations(QJsonValue(QStringLiteral("1")), either).size(), 1);
}

TEST(JsonSchema, RefusesASchemaThatPromisesWhatItCannotCheck) {
    EXPECT_EQ(test::schemaFaults(objectOf(kSchema)), QStringList());
    // A keyword outside the subset would pass anything silently: the schema is at fault, and so is the
    // validation of any value against it.
    const QJsonObject unknown = objectOf(R"({"type": "object", "properties": {"a": {"type": "string",
                                            "maxLength": 3}}})");
    EXPECT_EQ(test::schemaFaults(unknown).size(), 1);
    EXPECT_EQ(test::schemaViolations(objectOf(R"({"a": "abcdef"})"), unknown).size(), 1);
    const QJsonObject dangling = objectOf(R"({"items": {"$ref": "#/$defs/missing"}})");
    EXPECT_EQ(test::schemaFaults(dangling).size(), 1);
    EXPECT_EQ(test::schemaViolations(QJsonArray{1}, dangling).size(), 1);
    EXPECT_EQ(test::schemaFaults(objectOf(R"({"oneOf": [{"pattern": "(["}]})")).size(), 1);
}

TEST(JsonSchema, EveryPublishedSchemaIsCheckedWhole) {
    const QDir dir(QStringLiteral(TARN_SOURCE_DIR "/docs/json"));
    const QStringList files = dir.entryList({QStringLiteral("*.schema.json")}, QDir::Files);
    ASSERT_GT(files.size(), 40);
    for (const QString& name : files) {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << name.toStdString();
        QJsonParseError error;
        const QJsonDocument d = QJsonDocument::fromJson(f.readAll(), &error);
        ASSERT_TRUE(d.isObject()) << name.toStdString() << ": " << error.errorString().toStdString();
        const QJsonObject schema = d.object();
        EXPECT_EQ(schema.value(QStringLiteral("$schema")).toString(),
                  QStringLiteral("https://json-schema.org/draft/2020-12/schema"))
            << name.toStdString();
        EXPECT_FALSE(schema.value(QStringLiteral("title")).toString().isEmpty()) << name.toStdString();
        EXPECT_EQ(test::schemaFaults(schema), QStringList()) << name.toStdString();
    }
}

TEST(CliJson, TheSchemaFollowsTheCommandAndItsVerb) {
    const auto fileOf = [](const QStringList& args) {
        return QFileInfo(test::cliSchemaPath(args)).fileName();
    };
    const QString h = QStringLiteral("--home");
    EXPECT_EQ(fileOf({h, QStringLiteral("/x"), QStringLiteral("--json"), QStringLiteral("points"),
                      QStringLiteral("show"), QStringLiteral("t1")}),
              QStringLiteral("points-show.schema.json"));
    // A global option's value is no command; a command option's value is no verb.
    EXPECT_EQ(fileOf({QStringLiteral("--port"), QStringLiteral("list"), QStringLiteral("group"),
                      QStringLiteral("--archive"), QStringLiteral("hourly"), QStringLiteral("summary"),
                      QStringLiteral("G"), QStringLiteral("--json")}),
              QStringLiteral("group-summary.schema.json"));
    EXPECT_EQ(fileOf({QStringLiteral("rows"), QStringLiteral("--point"), QStringLiteral("t1"),
                      QStringLiteral("--json")}),
              QStringLiteral("rows.schema.json"));
    EXPECT_EQ(fileOf({QStringLiteral("settings"), QStringLiteral("--json")}),
              QStringLiteral("settings-show.schema.json"));
    EXPECT_EQ(fileOf({QStringLiteral("console"), QStringLiteral("settings"), QStringLiteral("set"),
                      QStringLiteral("waitMinutes=5")}),
              QStringLiteral("console-settings.schema.json"));
    EXPECT_EQ(test::cliSchemaPath({h, QStringLiteral("/x")}), QString());
}

TEST(CliJson, AnAnswerIsParsedAndCheckedOnlyWithJson) {
    const QStringList identify{QStringLiteral("identify"), QStringLiteral("--json")};
    // Without --json the output is text; with it but nothing printed, the command failed before its answer.
    EXPECT_EQ(test::cliJsonFaults({QStringLiteral("identify")}, "T Tarn-sim\n"), QStringList());
    EXPECT_EQ(test::cliJsonFaults(identify, "\n"), QStringList());
    EXPECT_EQ(test::cliJsonFaults(identify, "T Tarn-sim\n").size(), 1);
    EXPECT_FALSE(test::cliJsonFaults(identify, R"({"identification": "T"})").isEmpty());
    EXPECT_EQ(test::cliJsonFaults({QStringLiteral("nosuch"), QStringLiteral("--json")}, "{}").size(), 1);
    EXPECT_TRUE(test::cliJsonFaults({QStringLiteral("nosuch"), QStringLiteral("--json")}, "{}")
                    .first()
                    .startsWith(QStringLiteral("no schema")));
    // Streamed events: each line an object of its own, each checked.
    const QStringList viewer{QStringLiteral("sync"), QStringLiteral("viewer"), QStringLiteral("--json")};
    EXPECT_EQ(
        test::cliJsonFaults(viewer, "{\"event\":\"interrupted\"}\n{\"event\":\"error\",\"text\":\"x\"}\n"),
        QStringList());
    EXPECT_EQ(test::cliJsonFaults(viewer, "{\"event\":\"interrupted\"}\n{\"event\":\"lost\"}\n").size(), 1);
}
