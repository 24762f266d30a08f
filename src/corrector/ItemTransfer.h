#pragma once
// One programmable item read or written (opRead / opWrite at the item's code). A refusal is reported as
// soon as it is in and ends the transfer; a password is never sent twice, because a corrector that did
// not answer may still have counted the attempt.
#include "common/Notifier.h"
#include "link/ExchangeEngine.h"
#include "link/Transfer.h"

#include <functional>

namespace tarn::corrector {

class ItemTransfer final : public link::Transfer {
public:
    ItemTransfer(link::ExchangeEngine& engine, Notifier& notifier) : engine_(engine), notifier_(notifier) {}

    std::function<void(const QByteArray& payload)> readReply;
    std::function<void()> writeAccepted;
    // Refused, silent or no link: the access level falls to none.
    std::function<void(const link::Failure&)> failed;

    // 6 bytes of a numeric item, 64 of a text item.
    void read(quint8 code, int count);
    // False (nothing sent) when the data cannot go in one frame.
    bool write(quint8 code, const QByteArray& data, bool password);
    bool password() const { return password_; }

    link::BlockVerdict onBlock(const link::Reply& reply) override;
    link::RefusalVerdict onRefused(quint8 status) override;
    link::SilenceVerdict onSilence(const QByteArray& received, int sendsLeft) override;
    void onFailed(const link::Failure& failure) override;

private:
    link::ExchangeEngine& engine_;
    Notifier& notifier_;
    bool write_ = false;
    bool password_ = false;
    QString refusal_; // what the user was told of a refusal
};

// "немає відповіді від коректора!" / "нет ответа от корректора!!!".
QString noAnswerText(int languageIndex);

} // namespace tarn::corrector
