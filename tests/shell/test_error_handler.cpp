// Errors that reach the event loop: the user is told, in the texts the program has always used, and
// the program goes on.
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
    application().setNotifier(nullptr);
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
