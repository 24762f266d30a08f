#pragma once
// The one way every CSV file of the program quotes its fields, so that a spreadsheet reads back the
// columns it was given: a name such as "ГРП-1, нитка 1" or ТОВ "Газ" stays one field.
#include <QChar>
#include <QString>
#include <QStringList>

namespace tarn {

// The field as it is, or, when it holds the delimiter, a double quote, CR or LF, in double quotes with
// every double quote inside doubled (RFC 4180).
QString csvField(const QString& text, QChar delimiter);
// The same field added to the end of line, without a string of its own.
void appendCsvField(QString& line, QStringView text, QChar delimiter);
// Whether csvField quotes text: it holds the delimiter, a double quote, CR or LF.
bool csvFieldNeedsQuotes(QStringView text, QChar delimiter);

// The fields, each quoted as needed and each followed by the delimiter: the form of every CSV line the
// program writes (a spreadsheet reads the last, empty field as nothing).
QString csvLine(const QStringList& fields, QChar delimiter);

// A delimiter a CSV file can use: one that is no double quote, CR, LF or other control character, else ",".
QChar usableCsvDelimiter(QChar wanted);

} // namespace tarn
