#pragma once
// A validator for the part of JSON Schema (draft 2020-12) that docs/json uses: type, properties, required,
// additionalProperties, items, minItems, enum, const, minimum, maximum, pattern, $ref into $defs, oneOf and
// anyOf. Anything else in a schema is refused rather than ignored, so a schema cannot promise more than
// this validator checks.
#include <QJsonObject>
#include <QJsonValue>
#include <QStringList>

namespace tarn::test {

// Every place where value breaks schema, each as "PATH: what is wrong" (PATH "/" for the whole value, then
// "/key" and "/3" downwards); empty when it fits.
QStringList schemaViolations(const QJsonValue& value, const QJsonObject& schema);

// What is wrong with a schema itself, whatever value it is given: a keyword this validator does not
// check, a reference that leads nowhere, a pattern that does not compile.
QStringList schemaFaults(const QJsonObject& schema);

} // namespace tarn::test
