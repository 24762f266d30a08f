#pragma once
// A modem in command mode: {"role": "modem", "info": "…", "echo": true, "verbose": true, "silent": ["ATI0"],
// "dial": "NO CARRIER", "delayMs": 5}. It echoes what it receives while echo is on, takes command lines
// ended by a carriage return and answers with verbose ("\r\nOK\r\n") or numeric ("0\r") result codes.
// "echo" and "verbose" are its factory profile, which AT&F and ATZ restore; ATE and ATV change them.
// Command lines listed in "silent" get their echo but no answer.
#include "Role.h"

#include <QStringList>

namespace tarn::sim {

class ModemRole final : public Role {
public:
    struct Profile {
        bool echo = true;
        bool verbose = true;
        bool quiet = false;
    };
    ModemRole(QString info, Profile factory, QStringList silent, QString dialResult, int delayMs);
    static std::unique_ptr<Role> fromJson(const QJsonObject& config, QString& error);

    void receive(const QByteArray& bytes, Line& line) override;
    QString describe() const override;

    const Profile& profile() const { return current_; }

private:
    void command(const QByteArray& commandLine, Line& line);
    void result(const char* word, Line& line);

    QString info_;
    Profile factory_;
    Profile current_;
    QStringList silent_;
    QString dialResult_;
    int delayMs_;
    QByteArray pending_;
};

} // namespace tarn::sim
