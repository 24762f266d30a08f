#include "corrector/ItemTransfer.h"

#include "common/Language.h"

namespace tarn::corrector {

QString noAnswerText(int languageIndex) {
    return uaRu(languageIndex, "немає відповіді від коректора!", "нет ответа от корректора!!!");
}

void ItemTransfer::read(quint8 code, int count) {
    write_ = false;
    password_ = false;
    refusal_.clear();
    engine_.start(link::Request::read(link::opRead, code, static_cast<quint8>(count)), *this);
}

bool ItemTransfer::write(quint8 code, const QByteArray& data, bool password) {
    write_ = true;
    password_ = password;
    refusal_.clear();
    return engine_.start(link::Request::write(link::opWrite, code, data), *this);
}

link::BlockVerdict ItemTransfer::onBlock(const link::Reply& reply) {
    if (write_) {
        if (writeAccepted) writeAccepted();
    } else if (readReply) {
        readReply(reply.payload);
    }
    return link::BlockVerdict::Finish;
}

link::RefusalVerdict ItemTransfer::onRefused(quint8 status) {
    refusal_ = engine_.reportRefusal(status, password_);
    return link::RefusalVerdict::End;
}

link::SilenceVerdict ItemTransfer::onSilence(const QByteArray& received, int sendsLeft) {
    const auto status = received.isEmpty() ? quint8{0} : static_cast<quint8>(received.at(0));
    // A refusal that came in pieces or with a bad check byte still says why.
    if (link::isRefusal(status)) {
        refusal_ = engine_.reportRefusal(status, password_);
        return link::SilenceVerdict::End;
    }
    if (password_) {
        notifier_.message(MessageKind::Warning, noAnswerText(engine_.language()));
        return link::SilenceVerdict::End;
    }
    return sendsLeft > 0 ? link::SilenceVerdict::Resend : link::SilenceVerdict::GiveUp;
}

void ItemTransfer::onFailed(const link::Failure& failure) {
    link::Failure told = failure;
    told.message = refusal_;
    if (failed) failed(told);
}

} // namespace tarn::corrector
