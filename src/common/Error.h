#pragma once
// One value for why something failed, shared by the database, the link and the files: a kind the caller
// decides on, and a detail for the user or the log. "The file is not there", "another program holds it"
// and "it is damaged" call for different answers (create it, wait, rebuild it), so they are kinds of
// their own and never folded into one "failed".
#include <QString>
#include <utility>

namespace tarn {

enum class ErrorKind {
    None,
    NotFound, // the file (or the thing asked for) is not there
    Locked,   // another connection or program holds it for now
    Damaged,  // it is there but cannot be trusted: not of its format, or its own check fails
    Refused,  // the other side said no (a corrector's status byte)
    NoReply,  // the other side said nothing in time
    NoLink,   // nothing could be sent
    Io,       // the system failed to read or write it
    Invalid,  // what was given is not acceptable (too large, of the wrong shape)
};

struct Error {
    ErrorKind kind = ErrorKind::None;
    QString detail;

    Error() = default;
    Error(ErrorKind k, QString d = {}) : kind(k), detail(std::move(d)) {}

    // No conversion to bool: "true" would read as success to some callers and as failure to others.
    bool ok() const { return kind == ErrorKind::None; }
    bool failed() const { return kind != ErrorKind::None; }
    bool is(ErrorKind k) const { return kind == k; }
};

// The kind in plain words, for logs and the command line ("not found", "locked", "damaged").
QString errorKindName(ErrorKind kind);

} // namespace tarn
