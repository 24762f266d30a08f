#pragma once
// What travels through the exchange engine: a request, and the transfer that owns it. The engine knows
// frames, validation, retries and time-outs; a transfer knows what its replies mean and decides, for each
// valid block, whether the engine goes on, reads the block again or stops. A new kind of traffic is a new
// Transfer class, never a change to the engine.
#include "common/Error.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>
#include <functional>

namespace tarn::link {

class ExchangeEngine;

// One request on the wire. The further blocks of a multi-block transfer follow at address + 1, + 2, …
// (modulo 256), each with a full retry budget.
struct Request {
    quint8 op = 0;
    quint8 address = 0;
    quint8 count = 0;     // bytes wanted by a read; 0 means 256
    QByteArray writeData; // the data of a write; the same data go to every block
    bool isWrite = false;
    quint16 blocksLeft = 0; // further blocks after this one
    int retries = 0;        // sends allowed, the first included; 0: the engine's retry count

    static Request read(quint8 op, quint8 address, quint8 count, quint16 blocksLeft = 0) {
        Request r;
        r.op = op;
        r.address = address;
        r.count = count;
        r.blocksLeft = blocksLeft;
        return r;
    }
    static Request write(quint8 op, quint8 address, const QByteArray& data, quint16 blocksLeft = 0) {
        Request r;
        r.op = op;
        r.address = address;
        r.writeData = data;
        r.isWrite = true;
        r.blocksLeft = blocksLeft;
        return r;
    }
    Request withRetries(int sends) const {
        Request r = *this;
        r.retries = sends;
        return r;
    }
};

// A complete reply with status 0 and a good check byte.
struct Reply {
    quint8 op = 0;
    quint8 block = 0;       // the address byte the reply answers
    quint16 blocksLeft = 0; // blocks still to come after this one
    QByteArray payload;     // the bytes between the status byte and the check byte
};

enum class BlockVerdict {
    Continue, // the next block when one is left, else the transfer is complete
    Again,    // the same block once more, with a full retry budget
    Finish,   // complete now: the blocks still left are not read (the empty end of an archive)
};

enum class RefusalVerdict {
    RetryAfterTimeOut, // the refusal counts as a bad reply: the reply timer runs out and the request repeats
    End,               // the transfer has reported it and ends now
};

enum class SilenceVerdict {
    Resend, // the request goes out again with the sends that are left
    GiveUp, // no link: the no-link indication, the port re-opened when the settings say so
    End,    // the transfer has said what there is to say; it ends without the no-link indication
};

enum class FailureKind { NoReply, Refused, LinkBroken };

struct Failure {
    FailureKind kind = FailureKind::NoReply;
    quint8 status = 0;   // the refusing status byte, when one came
    QByteArray received; // what had arrived when the transfer ended
    QString message;     // the refusal as the user was told it, when a transfer reported one

    // The same failure as the database and the files tell theirs, so that a caller deciding on "the
    // corrector said no" against "nothing came back" against "nothing could be sent" needs no mapping
    // of its own.
    Error error() const {
        switch (kind) {
        case FailureKind::Refused:
            return {ErrorKind::Refused, message};
        case FailureKind::LinkBroken:
            return {ErrorKind::NoLink, message};
        case FailureKind::NoReply:
            break;
        }
        return {ErrorKind::NoReply, message};
    }
};

class Transfer {
public:
    Transfer() = default;
    Transfer(const Transfer&) = delete;
    Transfer& operator=(const Transfer&) = delete;
    // A transfer that goes away while its request is out takes the request with it.
    virtual ~Transfer();

    // A valid block. The transfer may start its next request itself from here (ExchangeEngine::start);
    // the engine then lets the old one go, whatever the verdict.
    virtual BlockVerdict onBlock(const Reply& /*reply*/) { return BlockVerdict::Continue; }
    // A complete reply whose status byte refuses the request.
    virtual RefusalVerdict onRefused(quint8 /*status*/) { return RefusalVerdict::RetryAfterTimeOut; }
    // The reply timer ran out; sendsLeft sends remain. received: what had arrived (maybe nothing).
    virtual SilenceVerdict onSilence(const QByteArray& /*received*/, int sendsLeft) {
        return sendsLeft > 0 ? SilenceVerdict::Resend : SilenceVerdict::GiveUp;
    }
    // The corrector's alarm notice is the answer this request waits for (the alarm check): it completes
    // the transfer and no warning box is shown.
    virtual bool answeredByAlarmNotice() const { return false; }
    // The transfer has ended with all its blocks.
    virtual void onComplete() {}
    // The transfer has ended without them.
    virtual void onFailed(const Failure& /*failure*/) {}

private:
    friend class ExchangeEngine;
    ExchangeEngine* engine_ = nullptr; // set while one of its requests is out
};

// A transfer made of callbacks, for the simple cases (a block read, one write, a command-line exchange).
class CallbackTransfer final : public Transfer {
public:
    std::function<BlockVerdict(const Reply&)> block;
    std::function<RefusalVerdict(quint8)> refused;
    std::function<void()> complete;
    std::function<void(const Failure&)> failed;
    bool alarmNoticeAnswers = false;

    BlockVerdict onBlock(const Reply& reply) override {
        return block ? block(reply) : BlockVerdict::Continue;
    }
    RefusalVerdict onRefused(quint8 status) override {
        return refused ? refused(status) : RefusalVerdict::RetryAfterTimeOut;
    }
    bool answeredByAlarmNotice() const override { return alarmNoticeAnswers; }
    void onComplete() override {
        if (complete) complete();
    }
    void onFailed(const Failure& failure) override {
        if (failed) failed(failure);
    }
};

// Raw byte streams (modem text, a terminal, the transfer unit): while a receiver holds the line, every
// chunk that arrives goes to it alone and no frame is looked for.
class RawReceiver {
public:
    virtual ~RawReceiver();
    virtual void onRawBytes(const QByteArray& chunk) = 0;

private:
    friend class ExchangeEngine;
    ExchangeEngine* engine_ = nullptr; // set while it holds the line
};

// The hold of a raw receiver on the line; the line returns to frames when it goes.
class LineClaim {
public:
    LineClaim() = default;
    LineClaim(LineClaim&& other) noexcept;
    LineClaim& operator=(LineClaim&& other) noexcept;
    LineClaim(const LineClaim&) = delete;
    LineClaim& operator=(const LineClaim&) = delete;
    ~LineClaim() { release(); }
    void release();
    bool held() const { return engine_ != nullptr; }

private:
    friend class ExchangeEngine;
    LineClaim(ExchangeEngine& engine, RawReceiver& receiver, quint64 generation)
        : engine_(&engine), receiver_(&receiver), generation_(generation) {}
    ExchangeEngine* engine_ = nullptr;
    RawReceiver* receiver_ = nullptr;
    // Which claim this is: an older claim of the same receiver let go later must not free a newer one.
    quint64 generation_ = 0;
};

} // namespace tarn::link
