// Errors that reach the event loop: the user is told, in the texts the program has always used, and
// the program goes on; only a damaged database ends it.
#include "shell/ErrorReport.h"
#include "shell/windows/TarnApplication.h"
#include "support/TestSupport.h"

#include <QTimer>
#include <QWidget>
#include <gtest/gtest.h>

using namespace tarn;
using namespace tarn::shell;

namespace {
TarnApplication& application() {
    return *static_cast<TarnApplication*>(QCoreApplication::instance());
}
} // namespace

TEST(ErrorHandler, AnErrorInTheEventLoopIsShownAndTheWindowStaysUp) {
    test::RecordingNotifier notifier;
    application().setNotifier(&notifier);
    QWidget window;
    window.show();
    QTimer::singleShot(0, &window, [] { throw std::runtime_error("проба обробника"); });
    ASSERT_TRUE(test::waitUntil([&] { return !notifier.messages.isEmpty(); }));
    EXPECT_EQ(notifier.messages[0].first, MessageKind::Error);
    EXPECT_EQ(notifier.messages[0].second, QStringLiteral("Ошибка!: проба обробника"));
    EXPECT_TRUE(window.isVisible());
    // The loop goes on.
    bool later = false;
    QTimer::singleShot(0, &window, [&] { later = true; });
    EXPECT_TRUE(test::waitUntil([&] { return later; }));

    // A damaged database: its message, then the orderly end.
    int endRequests = 0;
    QObject::connect(&application(), &TarnApplication::endRequested, &window, [&] { ++endRequests; });
    QTimer::singleShot(0, &window,
                       [] { throw DatabaseError::fromSqlite(26, QStringLiteral("file is not a database")); });
    ASSERT_TRUE(test::waitUntil([&] { return endRequests == 1; }));
    EXPECT_EQ(notifier.texts().last(),
              QStringLiteral("Ошибка BDE - \"file is not a database\" код ошибки 26 : $001A"));
    application().setNotifier(nullptr);
}

TEST(ErrorHandler, DatabaseErrorsByTheirKind) {
    EXPECT_EQ(describeError(DatabaseError::fromSqlite(2067, QStringLiteral("UNIQUE constraint failed"))).text,
              QStringLiteral("Ошибка Key violation!"));
    EXPECT_EQ(describeError(DatabaseError::fromSqlite(1555, QString())).text,
              QStringLiteral("Ошибка Key violation!"));
    EXPECT_EQ(describeError(DatabaseError::fromSqlite(5, QStringLiteral("database is locked"))).text,
              QStringLiteral("Запись блокирована другим пользователем"));
    EXPECT_EQ(describeError(DatabaseError::fromSqlite(6, QString())).text,
              QStringLiteral("Таблица блокирована кем-то еще"));
    // Another constraint is not a repeated key.
    const ErrorReport notNull = describeError(DatabaseError::fromSqlite(1299, QStringLiteral("NOT NULL")));
    EXPECT_EQ(notNull.text, QStringLiteral("Ошибка BDE - \"NOT NULL\" код ошибки 1299 : $0513"));
    EXPECT_FALSE(notNull.endsProgram);
    EXPECT_TRUE(describeError(DatabaseError::fromSqlite(11, QStringLiteral("malformed"))).endsProgram);
    // Through the std::exception path the kind is kept.
    const std::exception& plain = DatabaseError::fromSqlite(6, QString());
    EXPECT_EQ(describeError(plain).text, QStringLiteral("Таблица блокирована кем-то еще"));
    EXPECT_EQ(describeError(std::runtime_error("x")).text, QStringLiteral("Ошибка!: x"));
}

TEST(ErrorHandler, WhateverIsThrownBecomesAReport) {
    QStringList texts;
    auto report = [&](const ErrorReport& r) { texts.append(r.text); };
    EXPECT_TRUE(deliverGuarded([] { return true; }, report));
    EXPECT_FALSE(deliverGuarded([]() -> bool { throw 42; }, report));
    EXPECT_FALSE(deliverGuarded([]() -> bool { throw std::logic_error("порожньо"); }, report));
    EXPECT_EQ(texts, (QStringList{QStringLiteral("Ошибка!: неизвестная ошибка"),
                                  QStringLiteral("Ошибка!: порожньо")}));
}
