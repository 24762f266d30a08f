#pragma once
// A user's operation holds the line for its whole length: every request of a read, a programming run, a
// call from the dial to the hang-up. Between two of its requests the exchange engine is idle, so the
// engine alone cannot say that the line is taken; a polling group that falls due asks this hold and waits
// until the operation has ended, however it ended. The application context owns the one hold; each
// operation keeps a Token while it runs, and a token gone (released, moved over, destroyed) lets go.
#include <QString>
#include <QStringList>
#include <map>
#include <utility>

namespace tarn::link {

class LineHold {
public:
    class Token {
    public:
        Token() = default;
        Token(Token&& other) noexcept { *this = std::move(other); }
        Token& operator=(Token&& other) noexcept {
            if (this != &other) {
                release();
                hold_ = std::exchange(other.hold_, nullptr);
                id_ = std::exchange(other.id_, 0);
            }
            return *this;
        }
        Token(const Token&) = delete;
        Token& operator=(const Token&) = delete;
        ~Token() { release(); }

        bool held() const { return hold_ != nullptr; }
        void release() {
            if (hold_) hold_->holders_.erase(id_);
            hold_ = nullptr;
            id_ = 0;
        }

    private:
        friend class LineHold;
        Token(LineHold* hold, int id) : hold_(hold), id_(id) {}
        LineHold* hold_ = nullptr;
        int id_ = 0;
    };

    LineHold() = default;
    LineHold(const LineHold&) = delete;
    LineHold& operator=(const LineHold&) = delete;

    // The operation (named for the log) holds the line until the token lets go. Tokens must not outlive
    // the hold.
    [[nodiscard]] Token take(const QString& operation) {
        holders_.emplace(++lastId_, operation);
        return Token(this, lastId_);
    }
    bool held() const { return !holders_.empty(); }
    QStringList holders() const {
        QStringList names;
        for (const auto& [id, name] : holders_)
            names.append(name);
        return names;
    }

private:
    std::map<int, QString> holders_;
    int lastId_ = 0;
};

} // namespace tarn::link
