#include "support/JsonSchema.h"

#include <QJsonArray>
#include <QRegularExpression>
#include <QSet>

#include <cmath>

namespace tarn::test {

namespace {

const QSet<QString> kKnownKeywords = {QStringLiteral("$schema"),
                                      QStringLiteral("$id"),
                                      QStringLiteral("$defs"),
                                      QStringLiteral("$ref"),
                                      QStringLiteral("$comment"),
                                      QStringLiteral("title"),
                                      QStringLiteral("description"),
                                      QStringLiteral("type"),
                                      QStringLiteral("properties"),
                                      QStringLiteral("required"),
                                      QStringLiteral("additionalProperties"),
                                      QStringLiteral("items"),
                                      QStringLiteral("minItems"),
                                      QStringLiteral("enum"),
                                      QStringLiteral("const"),
                                      QStringLiteral("minimum"),
                                      QStringLiteral("maximum"),
                                      QStringLiteral("pattern"),
                                      QStringLiteral("oneOf"),
                                      QStringLiteral("anyOf")};

class Validator {
public:
    explicit Validator(const QJsonObject& root) : root_(root) {}

    void check(const QJsonValue& value, const QJsonObject& schema, const QString& path) {
        for (auto it = schema.begin(); it != schema.end(); ++it)
            if (!kKnownKeywords.contains(it.key()))
                fail(path, QStringLiteral("the schema uses \"%1\", which is not checked").arg(it.key()));
        if (schema.contains(QStringLiteral("$ref"))) {
            const QJsonObject target = resolve(schema.value(QStringLiteral("$ref")).toString(), path);
            if (!target.isEmpty()) check(value, target, path);
        }
        if (schema.contains(QStringLiteral("type")) &&
            !typeFits(value, schema.value(QStringLiteral("type")))) {
            fail(path, QStringLiteral("%1 where the schema wants %2")
                           .arg(typeName(value), typeText(schema.value(QStringLiteral("type")))));
            return; // the other keywords would only repeat the mismatch
        }
        if (schema.contains(QStringLiteral("const")) && value != schema.value(QStringLiteral("const")))
            fail(path, QStringLiteral("not the constant the schema names"));
        if (schema.contains(QStringLiteral("enum")) &&
            !schema.value(QStringLiteral("enum")).toArray().contains(value))
            fail(path, QStringLiteral("%1 is none of the values the schema lists").arg(shortText(value)));
        if (value.isDouble()) checkNumber(value.toDouble(), schema, path);
        if (value.isString() && schema.contains(QStringLiteral("pattern"))) {
            const QRegularExpression re(schema.value(QStringLiteral("pattern")).toString());
            if (!re.isValid())
                fail(path, QStringLiteral("the schema's pattern does not compile"));
            else if (!re.match(value.toString()).hasMatch())
                fail(path, QStringLiteral("%1 does not match %2").arg(shortText(value), re.pattern()));
        }
        if (value.isObject()) checkObject(value.toObject(), schema, path);
        if (value.isArray()) checkArray(value.toArray(), schema, path);
        if (schema.contains(QStringLiteral("anyOf")) || schema.contains(QStringLiteral("oneOf"))) {
            const bool exactlyOne = schema.contains(QStringLiteral("oneOf"));
            const QJsonArray choices =
                schema.value(exactlyOne ? QStringLiteral("oneOf") : QStringLiteral("anyOf")).toArray();
            int fitting = 0;
            for (const QJsonValue& choice : choices)
                if (Validator(root_).fits(value, choice.toObject(), path)) ++fitting;
            if (fitting == 0 || (exactlyOne && fitting > 1))
                fail(path, QStringLiteral("fits %1 of the %2 alternatives").arg(fitting).arg(choices.size()));
        }
    }

    bool fits(const QJsonValue& value, const QJsonObject& schema, const QString& path) {
        check(value, schema, path);
        return violations.isEmpty();
    }

    QStringList violations;

private:
    void fail(const QString& path, const QString& what) {
        violations.append(path + QStringLiteral(": ") + what);
    }

    QJsonObject resolve(const QString& ref, const QString& path) {
        static const QString kPrefix = QStringLiteral("#/$defs/");
        const QJsonObject defs = root_.value(QStringLiteral("$defs")).toObject();
        if (!ref.startsWith(kPrefix) || !defs.value(ref.mid(kPrefix.size())).isObject()) {
            fail(path, QStringLiteral("the reference %1 leads nowhere").arg(ref));
            return {};
        }
        return defs.value(ref.mid(kPrefix.size())).toObject();
    }

    static bool oneTypeFits(const QJsonValue& value, const QString& type) {
        if (type == QLatin1String("integer"))
            return value.isDouble() && std::trunc(value.toDouble()) == value.toDouble();
        return type == typeName(value) || (type == QLatin1String("number") && value.isDouble());
    }

    static bool typeFits(const QJsonValue& value, const QJsonValue& type) {
        if (type.isString()) return oneTypeFits(value, type.toString());
        for (const QJsonValue& t : type.toArray())
            if (oneTypeFits(value, t.toString())) return true;
        return false;
    }

    static QString typeName(const QJsonValue& value) {
        switch (value.type()) {
        case QJsonValue::Null:
            return QStringLiteral("null");
        case QJsonValue::Bool:
            return QStringLiteral("boolean");
        case QJsonValue::Double:
            return QStringLiteral("number");
        case QJsonValue::String:
            return QStringLiteral("string");
        case QJsonValue::Array:
            return QStringLiteral("array");
        case QJsonValue::Object:
            return QStringLiteral("object");
        default:
            return QStringLiteral("nothing");
        }
    }

    static QString typeText(const QJsonValue& type) {
        if (type.isString()) return type.toString();
        QStringList names;
        for (const QJsonValue& t : type.toArray())
            names.append(t.toString());
        return names.join(QStringLiteral(" or "));
    }

    static QString shortText(const QJsonValue& value) {
        if (value.isString()) return QLatin1Char('"') + value.toString().left(60) + QLatin1Char('"');
        if (value.isDouble()) return QString::number(value.toDouble());
        if (value.isBool()) return value.toBool() ? QStringLiteral("true") : QStringLiteral("false");
        return typeName(value);
    }

    void checkNumber(double n, const QJsonObject& schema, const QString& path) {
        if (schema.contains(QStringLiteral("minimum")) &&
            n < schema.value(QStringLiteral("minimum")).toDouble())
            fail(path, QStringLiteral("%1 is below the minimum").arg(n));
        if (schema.contains(QStringLiteral("maximum")) &&
            n > schema.value(QStringLiteral("maximum")).toDouble())
            fail(path, QStringLiteral("%1 is above the maximum").arg(n));
    }

    void checkObject(const QJsonObject& object, const QJsonObject& schema, const QString& path) {
        const QString base = path == QLatin1String("/") ? QString() : path;
        for (const QJsonValue& key : schema.value(QStringLiteral("required")).toArray())
            if (!object.contains(key.toString()))
                fail(path, QStringLiteral("the required key \"%1\" is missing").arg(key.toString()));
        const QJsonObject properties = schema.value(QStringLiteral("properties")).toObject();
        const QJsonValue additional = schema.value(QStringLiteral("additionalProperties"));
        for (auto it = object.begin(); it != object.end(); ++it) {
            const QString at = base + QLatin1Char('/') + it.key();
            if (properties.contains(it.key()))
                check(it.value(), properties.value(it.key()).toObject(), at);
            else if (additional.isBool() && !additional.toBool())
                fail(path,
                     QStringLiteral("the key \"%1\" is not in the schema, which is closed").arg(it.key()));
            else if (additional.isObject())
                check(it.value(), additional.toObject(), at);
        }
    }

    void checkArray(const QJsonArray& array, const QJsonObject& schema, const QString& path) {
        const QString base = path == QLatin1String("/") ? QString() : path;
        if (schema.contains(QStringLiteral("minItems")) &&
            array.size() < schema.value(QStringLiteral("minItems")).toInt())
            fail(path, QStringLiteral("%1 items, fewer than the schema wants").arg(array.size()));
        if (!schema.value(QStringLiteral("items")).isObject()) return;
        const QJsonObject items = schema.value(QStringLiteral("items")).toObject();
        for (qsizetype i = 0; i < array.size(); ++i)
            check(array.at(i), items, base + QLatin1Char('/') + QString::number(i));
    }

    QJsonObject root_;
};

// The subschemas a schema holds, wherever a keyword takes one, some or a map of them.
void walkSchema(const QJsonObject& root, const QJsonObject& schema, const QString& path,
                QStringList& faults) {
    for (auto it = schema.begin(); it != schema.end(); ++it)
        if (!kKnownKeywords.contains(it.key()))
            faults.append(path + QStringLiteral(": \"%1\" is not checked").arg(it.key()));
    if (const QString ref = schema.value(QStringLiteral("$ref")).toString(); !ref.isEmpty()) {
        const QString name = ref.mid(QStringLiteral("#/$defs/").size());
        if (!ref.startsWith(QLatin1String("#/$defs/")) ||
            !root.value(QStringLiteral("$defs")).toObject().value(name).isObject())
            faults.append(path + QStringLiteral(": the reference %1 leads nowhere").arg(ref));
    }
    if (schema.contains(QStringLiteral("pattern")) &&
        !QRegularExpression(schema.value(QStringLiteral("pattern")).toString()).isValid())
        faults.append(path + QStringLiteral(": the pattern does not compile"));
    for (const char* map : {"properties", "$defs"}) {
        const QJsonObject children = schema.value(QLatin1String(map)).toObject();
        for (auto it = children.begin(); it != children.end(); ++it)
            walkSchema(root, it.value().toObject(), path + QLatin1Char('/') + it.key(), faults);
    }
    for (const char* one : {"items", "additionalProperties"})
        if (schema.value(QLatin1String(one)).isObject())
            walkSchema(root, schema.value(QLatin1String(one)).toObject(),
                       path + QLatin1Char('/') + QLatin1String(one), faults);
    for (const char* list : {"oneOf", "anyOf"}) {
        const QJsonArray choices = schema.value(QLatin1String(list)).toArray();
        for (qsizetype i = 0; i < choices.size(); ++i)
            walkSchema(root, choices.at(i).toObject(),
                       path + QStringLiteral("/%1/%2").arg(QLatin1String(list)).arg(i), faults);
    }
}

} // namespace

QStringList schemaFaults(const QJsonObject& schema) {
    QStringList faults;
    walkSchema(schema, schema, QString(), faults);
    return faults;
}

QStringList schemaViolations(const QJsonValue& value, const QJsonObject& schema) {
    Validator validator(schema);
    validator.check(value, schema, QStringLiteral("/"));
    return validator.violations;
}

} // namespace tarn::test
